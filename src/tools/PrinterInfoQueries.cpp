#include "tools/PrinterInfoQueries.h"

#include <algorithm>
#include <array>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortState.h"
#include "link/SerialIo.h"

namespace torva::tools {

namespace {

// The extended version's seven characters from position 16 (counting from 1).
constexpr size_t kExtendedVersionAt = 15;
constexpr size_t kExtendedVersionLength = 7;
constexpr size_t kReplyBufferSize = 256;

std::vector<uint8_t> ReadSetting(uint8_t address) { return {0x1B, 0x6A, address}; }

std::string Decimal(std::span<const uint8_t> reply) { return std::to_string(reply.empty() ? 0 : reply[0]); }

bool ReadReply(int kind, int handle, uint8_t* buffer, int length) {
  switch (kind) {
    case PortCOM:
      return POSReadPort1(kind, handle, buffer, length, kInfoSerialReadMs);
    case PortUSBPrinter:
      torva::PrinterDelay(kInfoUsbPrinterPauseMs);
      return POSReadPort1(kind, handle, buffer, length, 0);
    case PortNibbleLPT:
      // A nibble read that brings nothing is tried once more.
      return POSReadPort1(kind, handle, buffer, length, 0) || POSReadPort1(kind, handle, buffer, length, 0);
    default:
      return POSReadPort1(kind, handle, buffer, length, 0);
  }
}

}  // namespace

std::vector<InfoQuery> InfoQueries(bool k773Custom) {
  std::vector<InfoQuery> q;
  if (k773Custom)
    q.push_back({InfoField::ExtendedVersion, {0x1D, 0x99, 0x5C, 0x31, 0xE7, 0x08, 0x35}, 25});
  else
    q.push_back({InfoField::Version, {0x1D, 0x49, 0x44}, 10});
  q.push_back({InfoField::Resolution, ReadSetting(0xD0), 10});
  q.push_back({InfoField::PrintSpeed, ReadSetting(0x06), 10});
  q.push_back({InfoField::DarkScale, ReadSetting(0x02), 10});
  q.push_back({InfoField::BundlerMode, ReadSetting(0x4A), 10});
  q.push_back({InfoField::BundlerWaitTime, ReadSetting(0x3C), 10});
  q.push_back({InfoField::PrinterName, {0x1D, 0x49, 0x99}, 20});
  return q;
}

namespace {
// The reply's bytes up to its first zero, one character a byte.
std::string RawText(std::span<const uint8_t> reply) {
  const auto end = std::find(reply.begin(), reply.end(), uint8_t{0});
  return std::string(reply.begin(), end);
}

// Bytes taken as Latin-1, written as UTF-8 (what LinePair holds): a byte the
// printer sends above 7F shows as a character, never as broken text.
std::string Latin1ToUtf8(const std::string& raw) {
  std::string out;
  for (const char ch : raw) {
    const auto b = static_cast<uint8_t>(ch);
    if (b < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}
}  // namespace

std::string ReplyText(std::span<const uint8_t> reply) { return Latin1ToUtf8(RawText(reply)); }

LinePair InfoText(InfoField field, std::span<const uint8_t> reply) {
  const uint8_t first = reply.empty() ? 0 : reply[0];
  auto same = [](const std::string& s) { return LinePair{s, s}; };
  switch (field) {
    case InfoField::Version:
    case InfoField::PrinterName:
      return same(ReplyText(reply));
    case InfoField::ExtendedVersion: {
      const std::string text = RawText(reply);
      return same(text.size() > kExtendedVersionAt
                      ? Latin1ToUtf8(text.substr(kExtendedVersionAt, kExtendedVersionLength))
                      : std::string());
    }
    case InfoField::Resolution:
      return same(first == 1 ? "300 X 300 DPI" : "203 X 203 DPI");
    case InfoField::PrintSpeed:
      return same(Decimal(reply) + " mm/s");
    case InfoField::DarkScale:
      return same(Decimal(reply));
    case InfoField::BundlerMode:
      switch (first) {
        case 0: return {"Retract", "回收模式"};
        case 1: return {"Paper Forward", "吐纸模式"};
        case 2: return {"Waiting", "等待模式"};
        case 3: return {"No Waiting", "抛纸模式"};
        default: return {"Other", "其他模式"};
      }
    case InfoField::BundlerWaitTime:
      return same(Decimal(reply) + "s");
  }
  return {};
}

InfoRun RunInfoQueries(const std::function<void(InfoField, const LinePair&)>& show) {
  InfoRun run;
  run.portType = PortType.load();
  torva::link::PortSession session(kInfoPortPlan);
  const torva::link::PortOpen port = session.Open();
  if (!port.opened()) {
    run.failure = InfoRun::Failure::Open;
    return run;
  }
  const int kind = port.kind;
  const std::vector<InfoQuery> queries = InfoQueries(IsK773CustomMode());
  std::array<uint8_t, kReplyBufferSize> reply{};
  for (size_t i = 0; i < queries.size(); ++i) {
    const InfoQuery& q = queries[i];
    reply.fill(0);
    // A late answer to an earlier question must not be read as this one's.
    if (kind == PortCOM) serialio::PurgeInput(port.handle);
    if (!POSWritePort(kind, port.handle, q.command.data(), static_cast<int>(q.command.size()))) {
      run.failure = InfoRun::Failure::Write;
      run.failedQuery = static_cast<int>(i);
      return run;
    }
    torva::PrinterDelay(kInfoReplyPauseMs);
    if (!ReadReply(kind, port.handle, reply.data(), q.replyMax)) {
      run.failure = InfoRun::Failure::Read;
      run.failedQuery = static_cast<int>(i);
      return run;
    }
    if (show) show(q.field, InfoText(q.field, std::span<const uint8_t>(reply.data(), static_cast<size_t>(q.replyMax))));
  }
  return run;
}

}  // namespace torva::tools
