// What the port-setting dialog does without its widgets: the model list and
// its codes, the USB printer name buffer, the address text, closing every
// open port, and opening the chosen port with its optional connection test.
//
// On success the opening routines store the chosen parameters in the port
// records, set PortDisplay and PortType and leave the port closed (Ethernet
// alone stays connected). On failure every handle they opened is closed again
// and the records keep their old parameters; the caller sets PortType to
// PortNone and reports the failure.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "link/PortSession.h"


namespace portset {

// ---- model list -----------------------------------------------------------

constexpr int kModelRowCount = 19;
constexpr int kVDK512Row = 6;
constexpr int kVDK773Row = 10;

// Text of a row as the list stores it (with its trailing blanks); empty
// outside 0..18.
std::string ModelRowText(int row);
// Model code written to PrinterName for a row; -1 outside 0..18.
int ModelCodeForRow(int row);
// Row that shows a model code; -1 for a code outside 0..18.
int ModelRowForCode(int code);
// The row's model uses the nibble-mode parallel list (VD-K512); trailing
// blanks do not count.
bool RowUsesNibbleLPT(int row);

// ---- USB printer names -------------------------------------------------------

constexpr int kUsbNameBufferSize = 256;
using UsbNameBuffer = std::array<char, kUsbNameBufferSize>;

// Clears the buffer, lets the USB printer library fill it and turns every "@"
// among its bytes into a zero byte. Returns the count the library reported.
int EnumerateUsbPrinters(UsbNameBuffer& buffer);
// The first `count` names of the zero-separated buffer. The walk ends at the
// buffer's end or at the first empty name, whatever count the library gave.
std::vector<std::string> UsbPrinterNames(const UsbNameBuffer& buffer, int count);
// 1-based position of the first name equal to `name`; 0 when none is.
int FindPinterIDByPrinterName(const UsbNameBuffer& buffer, const std::string& name);

// ---- address text -------------------------------------------------------------

// The address of the Ethernet choice: the search result with "auto" chosen,
// the four boxes joined by "." with "set" chosen (a box longer than 255
// characters gives an empty text), empty with neither.
std::string IpAddressText(bool setIp, bool autoIp, const std::array<std::string, 4>& boxes,
                          const std::string& found);
// The parts of a search result "a@b@": trimmed text split at "@", without the
// empty part after a final "@".
std::vector<std::string> SplitAddressList(const std::string& text);
// The USB device index an entry "QFUSB-n" names (its last character); -1.
int UsbEntryIndex(const std::string& entry);

// ---- opening the chosen port ------------------------------------------------------

struct SerialChoice {
  std::string name;
  int baudrate = 0;
  int databits = 0;
  int stopbits = 0;
  std::string handshake;
  std::string parity;
};

struct PortRequest {
  int kind = -1;       // PortKind of the chosen radio; PortNone for none
  int modelRow = -1;   // row of the model list
  bool test = false;   // "Communication Test" ticked
  SerialChoice serial;
  std::string lptName;  // plain or nibble list, whichever is visible
  int lptIndex = -1;
  std::vector<std::string> usbEntries;  // the USB list as shown
  int usbSelected = -1;
  std::vector<int> usbIds;              // internal ID of each USB device entry
  const UsbNameBuffer* usbNames = nullptr;  // for the VD-K773's position
  std::string ipAddress;
};

enum class OpenOutcome {
  Opened,         // configured; PortType names the kind
  Failed,         // show the kind's status-line text
  TwoUsbDevices,  // more than one USB device: the caller shows its message
  NoBranch,       // no radio, or the spooler radio: nothing was opened
};

// Opens the requested kind (PrinterName already holds the model's code).
// Touches no widget: the dialog runs it on a thread of its own while its
// window keeps painting.
OpenOutcome OpenRequestedPort(const PortRequest& request);

// The VD-K773 framing probe on the custom-mode connection, widget-free so its
// reply handling can be checked alone.
struct K773Probe {
  int classMode = 0;
  int statusBytes = 0;
  int custom = 0;
};
// Size of the probe's reply buffer; the second query reads statusBytes + 3.
constexpr int kK773ProbeBufferSize = 256;
constexpr int kK773MaxStatusBytes = kK773ProbeBufferSize - 3;
// Sends the two queries (and the line feed with the test) on an open custom
// connection; false on any short write or reply, or a reply it cannot place.
bool RunK773Probe(bool test, K773Probe& out);

// Status-line text of a failed kind.
struct Texts {
  const char* english;
  const char* chinese;
};
Texts FailureText(int kind);
// "Port:" or "端口:" by the current Language.
const char* PortLabel();

}  // namespace portset
