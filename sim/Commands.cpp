// The commands the simulated printer understands, one row each.
#include "sim/SimInternal.h"

namespace torva::sim {

namespace {

Bytes SettingReply(uint16_t value) {
  return {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
}

void ReadSetting(FrameContext& c, int bank) {
  int address = c.frame[2];
  c.replies.push_back({SettingReply(c.printer.memory[bank - 1][address]), address, bank});
}

void WriteSetting(FrameContext& c, int bank) {
  uint16_t value = static_cast<uint16_t>(c.frame[6] | (c.frame[7] << 8));
  c.printer.memory[bank - 1][c.frame[8]] = value;
  c.printer.fitStatus();
}

}  // namespace

std::vector<CommandRow> BuildCommandTable() {
  std::vector<CommandRow> t;
  // Settings memory. A read answers the 16-bit value, low byte first.
  t.push_back({"ReadSetting", {0x1B, 0x6A}, 3, [](FrameContext& c) { ReadSetting(c, 1); }});
  t.push_back({"ReadSetting2", {0x1B, 0x6B}, 3, [](FrameContext& c) { ReadSetting(c, 2); }});
  t.push_back(
      {"WriteSetting", {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08}, 9, [](FrameContext& c) { WriteSetting(c, 1); }});
  t.push_back({"WriteSetting2", {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x0A}, 9, [](FrameContext& c) {
                 WriteSetting(c, 2);
               }});
  // Serial data bits until switched again or powered off; other values are ignored.
  t.push_back({"TempDataBits", {0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01}, 8, [](FrameContext& c) {
                 uint8_t n = c.frame[7];
                 if (n == 7 || n == 8) c.printer.dataBits = n;
               }});
  // Status.
  t.push_back({"TransmitStatus", {0x1D, 0x72, 0x01}, 3, [](FrameContext& c) {
                 c.replies.push_back({{c.printer.transmitStatus}, -1});
               }});
  // n not 0 switches automatic status on and sends one record at once (again
  // on every such command); the record then follows every change. 00: off.
  // Sessions without in-band status (USB) fetch the record another way.
  t.push_back({"AutoStatusBack", {0x1D, 0x61}, 3, [](FrameContext& c) {
                 c.printer.setAutoStatus(c.session, c.frame[2] != 0, c.replies);
               }});
  // The custom status stream: n not 0 on, 00 off; no reply to the command.
  t.push_back({"CustomStatusBack", {0x1D, 0xE0}, 3, [](FrameContext& c) {
                 c.printer.setCustomStatus(c.session, c.frame[2] != 0);
               }});
  // One-shot commands: logged, no reply.
  t.push_back({"FeedLine", {0x0A}, 1, {}});
  t.push_back({"ResetPrinter", {0x10, 0x04, 0x0A}, 3, {}});
  t.push_back({"ClearError", {0x10, 0x04, 0x0B}, 3, {}});
  t.push_back({"CutPaper", {0x1D, 0x56, 0x42, 0x10}, 4, {}});
  t.push_back({"BundlerPresent", {0x1B, 0x63, 0x5B}, 3, {}});
  t.push_back({"BundlerRetract", {0x1B, 0x63, 0x5C}, 3, {}});
  t.push_back({"InitializePrinter", {0x1B, 0x40}, 2, {}});
  AddConsoleRows(t);
  AddInformationRows(t);
  AddCalibrationRows(t);
  return t;
}

}  // namespace torva::sim
