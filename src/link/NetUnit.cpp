#include "link/NetUnit.h"

#include <cstring>
#include <vector>

#include "link/Clock.h"
#include "link/NetLib.h"
#include "link/PortState.h"

namespace {
constexpr int kReplySize = 2048;  // the reply buffer; one byte stays zero
constexpr int kEthernetNameMax = 63;
constexpr int kQuerySendSec = 3;
constexpr int kQueryReceiveSec = 5;
}  // namespace

bool OpenNetPort() {
  if (PNET.TestPrinterName && !PrinterIsIP(PNET.IPAddress, PNET.PrinterName)) return false;
  const int handle = NetLib::OpenPort(PNET.IPAddress.c_str(), NetLib::DataPort(), PNET.connecttime);
  PNET.handle = handle;
  PNET.status = handle >= 0;
  return handle >= 0;
}

bool WriteNetPort(const uint8_t* data, int length) {
  const int result = NetLib::WritePort(PNET.handle, data, length, PNET.writetime);
  if (length > 0) torva::PrinterDelay(length / 6);
  return result >= 0 && result == length;
}

bool ReadNetPort(uint8_t* buffer, int length) {
  const int result = NetLib::ReadPort(PNET.handle, buffer, length, PNET.readtime);
  if (result < 0 || result != length) return false;
  torva::PrinterDelay(10);
  return true;
}

void CloseNetPort() {
  const int handle = PNET.handle.exchange(-1);
  if (handle > 0) NetLib::ClosePort(handle);
  PNET.status = false;
}

bool PrinterIsIP(const std::string& address, const std::string& expectedName) {
  const int sock = NetLib::CreatSocket(2, 0);
  if (sock < 0) return false;
  static const uint8_t query[2] = {'B', 'G'};
  const int port = NetLib::NamePort();
  if (NetLib::SendComm(sock, address.c_str(), port, query, 2, kQuerySendSec) != 2) {
    NetLib::CloseSocket(sock);
    return false;
  }
  std::vector<char> reply(kReplySize, '\0');
  const int got = NetLib::RecievComm(sock, address.c_str(), port, reinterpret_cast<uint8_t*>(reply.data()),
                                     kReplySize - 1, kQueryReceiveSec);
  NetLib::CloseSocket(sock);
  if (got < 0) return false;

  std::string name;
  const bool parsed = std::strncmp(reply.data(), "ID:", 3) == 0 ? GetWIFIPrinterName(reply.data(), name)
                                                                : GetEthernetPrinterName(reply.data(), name);
  return parsed && name == expectedName;
}

bool GetEthernetPrinterName(const char* reply, std::string& name) {
  name.append(reply, ::strnlen(reply, kEthernetNameMax));
  return true;
}

bool GetWIFIPrinterName(const char* reply, std::string& name) {
  static const char kField[] = "DEVICENAME";
  constexpr size_t kFieldLen = sizeof kField - 1;
  const size_t length = std::strlen(reply);
  if (length < kFieldLen + 1) return false;
  for (size_t p = 0; p + kFieldLen + 1 <= length; ++p) {
    if (std::memcmp(reply + p, kField, kFieldLen) != 0) continue;
    const char* begin = reply + p + kFieldLen + 1;  // one separator skipped
    const char* end = std::strchr(begin, ';');
    name.append(begin, end ? static_cast<size_t>(end - begin) : std::strlen(begin));
    return true;
  }
  return false;
}
