// Spooler transport (PortDriver) on CUPS: a command goes to a printer queue as
// one RAW document, so the queue passes the bytes to the printer unchanged; a
// long download is one document written in blocks.
//
// Handles are small numbers of our own (> 0), each naming an entry that holds
// the queue name, its own connection to the CUPS server (the server of the
// thread that opened it, cupsServer()) and the job it has open. Handles are
// never reused, so closing a handle a second time, or one that a failure has
// already closed, does nothing. The calls are thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Document name of every job.
inline constexpr const char* kDriverDocumentName = "VD-N512 Print Document";

// Names of the queues the spooler offers (cupsGetDests2), in its order.
std::vector<std::string> EnumPrinterQueues();

// A handle for the named queue, or -1 when the spooler does not know it or
// cannot be reached.
int OpenPrinterDriver(const std::string& queueName);

// Closes the handle unless it is -1 or already closed; a document still open
// on it (a download broken off) is cancelled, not printed. Always true.
bool ClosePrinterDriver(int handle);

// Sends the bytes as one complete RAW document and returns `length`, or -1.
// When the document cannot be started or ended the handle is closed (do not
// use it again). When the bytes cannot be written the job is cancelled and
// the handle stays open. A zero-length write answers 0 and makes no job:
// CUPS takes no empty document, and the printer would receive nothing anyway.
int WritePrinterDriver(int handle, const uint8_t* data, int length);

// Opens a RAW document for a block-wise download; false, with the handle
// closed, when it cannot (also when a document is already open on it).
bool StartDocAndPage(int handle);

// Ends the document opened by StartDocAndPage, exactly once; false, with the
// handle closed, when there is none or the spooler refuses it.
bool EndPageAndDoc(int handle);

// Writes one block into the open document: `length`, or -1 when no document
// is open or the write fails; a failed write cancels the job (the handle
// stays open for ClosePrinterDriver).
int FirmwareDownload(int handle, const uint8_t* data, int length);
