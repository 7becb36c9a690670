// What the printer answers to the printer-information dialog's identity
// queries, and the bundler wait time it takes.
#include <algorithm>

#include "sim/SimInternal.h"

namespace torva::sim {

namespace {

constexpr size_t kVersionReplyMax = 10;  // text and its 00
constexpr size_t kNameReplyMax = 20;
constexpr size_t kExtendedReplyLength = 25;
constexpr size_t kExtendedVersionAt = 15;  // position 16 counting from 1
constexpr size_t kExtendedVersionLength = 7;
constexpr int kPresenterWaitTimeAddress = 0x3C;
constexpr char kLeadIn[] = "TORVA K773 FW: ";
static_assert(sizeof kLeadIn - 1 == kExtendedVersionAt);

// The text with a 00 after it, cut so that both fit in `max` bytes.
Bytes TextReply(const std::string& text, size_t max) {
  Bytes b(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min(text.size(), max - 1)));
  b.push_back(0x00);
  return b;
}

std::string NameOf(const SimPrinter::Impl& p) { return p.printerName.empty() ? ModelName(p.model) : p.printerName; }

}  // namespace

void AddInformationRows(std::vector<CommandRow>& t) {
  // GS I n: the firmware version (44) and the printer's name (99).
  t.push_back({"FirmwareVersion", {0x1D, 0x49, 0x44}, 3, [](FrameContext& c) {
                 c.replies.push_back({TextReply(c.printer.firmwareVersion, kVersionReplyMax), -1});
               }});
  t.push_back({"PrinterNameQuery", {0x1D, 0x49, 0x99}, 3, [](FrameContext& c) {
                 c.replies.push_back({TextReply(NameOf(c.printer), kNameReplyMax), -1});
               }});
  // The VD-K773's extended version: a fixed lead-in of 15 characters, the
  // version's first seven, zeros to 25 bytes.
  t.push_back({"ExtendedVersion", {0x1D, 0x99, 0x5C, 0x31, 0xE7, 0x08, 0x35}, 7, [](FrameContext& c) {
                 Bytes b(kLeadIn, kLeadIn + kExtendedVersionAt);
                 const std::string& v = c.printer.firmwareVersion;
                 b.insert(b.end(), v.begin(), v.begin() + static_cast<std::ptrdiff_t>(
                                                             std::min(v.size(), kExtendedVersionLength)));
                 b.resize(kExtendedReplyLength, 0x00);
                 c.replies.push_back({std::move(b), -1});
               }});
  // ESC c 9 n: the bundler wait time in seconds; no reply. A line feed
  // usually follows it and is a command of its own.
  t.push_back({"BundlerWaitTime", {0x1B, 0x63, 0x39}, 4, [](FrameContext& c) {
                 c.printer.memory[0][kPresenterWaitTimeAddress] = c.frame[3];
               }});
}

void SimPrinter::setFirmwareVersion(const std::string& version) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->firmwareVersion = version;
}

std::string SimPrinter::firmwareVersion() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->firmwareVersion;
}

}  // namespace torva::sim
