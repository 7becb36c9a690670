#include "link/DriverUnit.h"

#include <cups/cups.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace {

struct Queue {
  std::string name;
  std::string server;  // the CUPS server the handle was opened on
  http_t* http = nullptr;
  int job = 0;  // the job whose document is open, 0 when none
};

std::mutex g_mutex;  // guards the table and every call on an entry
std::map<int, std::unique_ptr<Queue>> g_table;
int g_nextHandle = 1;

http_t* Connect(const std::string& server) {
  return httpConnect2(server.c_str(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
}

Queue* Find(int handle) {
  const auto it = g_table.find(handle);
  return it == g_table.end() ? nullptr : it->second.get();
}

// Cancels the job whose document is open. The connection is in the middle of
// that document's request, so the cancel goes over a fresh one, which then
// replaces it.
void CancelOpenJob(Queue& q) {
  if (q.job == 0) return;
  if (q.http) httpClose(q.http);
  q.http = Connect(q.server);
  if (q.http) cupsCancelJob2(q.http, q.name.c_str(), q.job, 0);
  q.job = 0;
}

void CloseEntry(int handle) {
  const auto it = g_table.find(handle);
  if (it == g_table.end()) return;
  Queue& q = *it->second;
  CancelOpenJob(q);
  if (q.http) httpClose(q.http);
  g_table.erase(it);
}

bool StartDocument(Queue& q) {
  if (q.job != 0 || !q.http) return false;
  const int job = cupsCreateJob(q.http, q.name.c_str(), kDriverDocumentName, 0, nullptr);
  if (job <= 0) return false;
  q.job = job;
  return cupsStartDocument(q.http, q.name.c_str(), job, kDriverDocumentName, CUPS_FORMAT_RAW, 1) ==
         HTTP_STATUS_CONTINUE;
}

// Ends the open document once; a document the spooler refuses to end is
// cancelled rather than left behind.
bool EndDocument(Queue& q) {
  if (q.job == 0 || !q.http) return false;
  const ipp_status_t status = cupsFinishDocument(q.http, q.name.c_str());
  if (status >= IPP_STATUS_REDIRECTION_OTHER_SITE) {
    CancelOpenJob(q);
    return false;
  }
  q.job = 0;
  return true;
}

int WriteBlock(Queue& q, const uint8_t* data, int length) {
  if (q.job == 0 || length < 0 || (length > 0 && !data)) return -1;
  // A zero-length write would end the chunked request early: nothing to send.
  if (length > 0 && cupsWriteRequestData(q.http, reinterpret_cast<const char*>(data),
                                         static_cast<size_t>(length)) != HTTP_STATUS_CONTINUE) {
    CancelOpenJob(q);
    return -1;
  }
  return length;
}

}  // namespace

std::vector<std::string> EnumPrinterQueues() {
  std::vector<std::string> names;
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  std::set<std::string> seen;
  for (int i = 0; i < count; ++i) {
    if (dests[i].name && seen.insert(dests[i].name).second) names.emplace_back(dests[i].name);
  }
  cupsFreeDests(count, dests);
  return names;
}

int OpenPrinterDriver(const std::string& queueName) {
  if (queueName.empty()) return -1;
  auto q = std::make_unique<Queue>();
  q->name = queueName;
  q->server = cupsServer();
  q->http = Connect(q->server);
  if (!q->http) return -1;
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(q->http, &dests);
  const bool known = cupsGetDest(queueName.c_str(), nullptr, count, dests) != nullptr;
  cupsFreeDests(count, dests);
  if (!known) {
    httpClose(q->http);
    return -1;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  const int handle = g_nextHandle++;
  g_table.emplace(handle, std::move(q));
  return handle;
}

bool ClosePrinterDriver(int handle) {
  if (handle == -1) return true;
  std::lock_guard<std::mutex> lock(g_mutex);
  CloseEntry(handle);
  return true;
}

int WritePrinterDriver(int handle, const uint8_t* data, int length) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Queue* q = Find(handle);
  if (!q || length < 0 || (length > 0 && !data)) return -1;
  // CUPS refuses a document without data ("No file in print request") and
  // aborts a job without one; an empty command sends the printer nothing
  // either way, so it makes no job.
  if (length == 0) return 0;
  if (!StartDocument(*q)) {
    CloseEntry(handle);
    return -1;
  }
  if (WriteBlock(*q, data, length) < 0) return -1;
  if (!EndDocument(*q)) {
    CloseEntry(handle);
    return -1;
  }
  return length;
}

bool StartDocAndPage(int handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Queue* q = Find(handle);
  if (!q) return false;
  if (!StartDocument(*q)) {
    CloseEntry(handle);
    return false;
  }
  return true;
}

bool EndPageAndDoc(int handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Queue* q = Find(handle);
  if (!q) return false;
  if (!EndDocument(*q)) {
    CloseEntry(handle);
    return false;
  }
  return true;
}

int FirmwareDownload(int handle, const uint8_t* data, int length) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Queue* q = Find(handle);
  if (!q) return -1;
  return WriteBlock(*q, data, length);
}
