#include "status/StatusRecord6.h"

namespace torva::status {

const uint8_t kCustomStatusOnCommand[3] = {0x1D, 0xE0, 0xFF};
const uint8_t kCustomStatusOffCommand[3] = {0x1D, 0xE0, 0x00};

namespace {

const MemoLine kHead{"bPrinterHeadUp", {"Printer Head Up", "Printer Head Closed", "打印头抬起", "打印头关闭"}};
const MemoLine kPaper{"bPaperEnd", {"Paper Error", "Paper Ok", "打印纸张错误", "打印纸张正常"}};
const MemoLine kLow{"bPaperNearEnd", {"Paper Low", "No Paper Low", "纸将尽", "不缺纸"}};
const MemoLine kWeekEnd{"bWeekEndPaper",
                        {"WeekEndPaper Low", "No WeekEndPaper Low", "周末纸将尽传感器检测无纸", "周末纸将尽传感器检测有纸"}};
const MemoLine kCutter{"bAutoCutterError", {"AutoCut Error", "AutoCut ok", "切刀错误", "切刀正常"}};
const MemoLine kJam{"bBundlerPaperJam", {"Printer Paper Jam", "No Paper Jam", "打印机塞纸", "打印机无塞纸"}};

}  // namespace

RecordLayout Record6Layout() {
  RecordLayout t;
  t.length = kRecord6Length;
  t.conditions = {
      {"bPaperEnd", 3, 0x01, "PaperendImage"},
      {"bPaperNearEnd", 3, 0x04, "PapernearendImage"},
      {"bWeekEndPaper", 3, 0x40, "WeekEndImage"},
      // The cover counts as open only with both bits set.
      {"bPrinterHeadUp", 4, 0x03, "PrinterHeadupImage"},
      {"bTPHTooHot", 5, 0x01, "TPHtoohotImage"},
      {"bVoltageAbnormity", 5, 0x08, "VoltageabnormityImage"},
      {"bBundlerPaperJam", 5, 0x40, "BundlerPaperJamImage"},
      {"bAutoCutterError", 6, 0x01, "CuttererrorImage"},
  };
  // No working state. The two languages list the lines in different orders;
  // there is no line for the head temperature or the voltage.
  t.memoEnglish = {kHead, kPaper, kLow, kWeekEnd, kCutter, kJam};
  t.memoChinese = {kHead, kWeekEnd, kCutter, kPaper, kLow, kJam};
  return t;
}

StatusDecoder MakeRecord6Decoder() { return StatusDecoder(Record6Layout()); }

std::string Record6CheckBoxName(int byte, int bit) {
  if (byte < 1 || byte > 6 || bit < 0 || bit > 7) return {};
  if (byte <= 4) return "Byte" + std::to_string(byte) + std::to_string(7 - bit);
  if (byte == 5 && bit == 2) return "BYte53";
  if (byte == 5 && bit == 1) return "BYte54";
  const int base = byte == 5 ? 48 : 56;
  return "Byte" + std::to_string(base + 7 - bit);
}

std::string Record6LabelName(int byte) {
  switch (byte) {
    case 1: return "Byte0Label";
    case 2: return "Byte1Label";
    case 3: return "Byte2Label";
    case 4: return "Byte3Label";
    case 5: return "Label13";
    case 6: return "Label16";
    default: return {};
  }
}

}  // namespace torva::status
