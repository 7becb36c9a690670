#include "status/StatusDecoder.h"

#include <algorithm>
#include <cstdio>

namespace torva::status {

const char* GlyphName(Glyph g) {
  switch (g) {
    case Glyph::None: return "None";
    case Glyph::Init: return "Init";
    case Glyph::OK: return "OK";
    case Glyph::Error: return "Error";
  }
  return "?";
}

MemoLanguage MemoLanguageOf(const std::string& language) {
  if (language == "English") return MemoLanguage::English;
  if (language == "Chinese") return MemoLanguage::Chinese;
  return MemoLanguage::None;
}

Glyph DecodeResult::written(const std::string& image) const {
  Glyph g = Glyph::None;
  for (const auto& w : images)
    if (w.image == image) g = w.glyph;
  return g;
}

std::string HexLabelText(uint8_t value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02XH", value);
  return buf;
}

namespace {

constexpr Glyph E = Glyph::Error;
constexpr Glyph O = Glyph::OK;
constexpr Glyph I = Glyph::Init;

// The maker's layout in the generic dialog, in the order the images are
// written: byte 1 bits 0, 1, 2, 3, 4, 7; byte 2 bits 7, 1, 2; then, for the
// VD-N512 only, byte 4 bit 0 (sharing the printer-jam image).
const StatusCondition kVD[] = {
    {"bPaperNearEnd", 1, 0x01, "PapernearendImage"},
    {"bPrinterHeadUp", 1, 0x02, "PrinterHeadupImage"},
    {"bPaperEnd", 1, 0x04, "PaperendImage"},
    {"bTPHTooHot", 1, 0x08, "TPHtoohotImage"},
    {"bCutterError", 1, 0x10, "CuttererrorImage"},
    {"bVoltageAbnormity", 1, 0x80, "VoltageabnormityImage"},
    {"bBundlerHeadUP", 2, 0x80, "BundlerHeadupImage"},
    {"bPrinterPaperJam", 2, 0x02, "BundlerFullImage"},
    {"bBundlerPaperJam", 2, 0x04, "BundlerPaperJamImage"},
};
const StatusCondition kVDBundlerFull = {"bBundlerFull", 4, 0x01, "BundlerFullImage"};

// The series layout in the generic dialog. The feed image comes right after
// the head-up image, the printing image after paper end; paper blocking
// (model code 9) is decoded after them.
const StatusCondition kRW[] = {
    {"bPrinterHeadUp", 1, 0x20, "PrinterHeadupImage", E, O, 0, 0, false, true},
    {"bFeeding", 1, 0x40, "BundlerPaperHoldingImage", O, I, 0, 0, true, false},
    {"bPrinterPaperJam", 2, 0x08, "CuttererrorImage", E, O, 0, 0, false, true},  // the cutter error
    {"bTPHTooHot", 2, 0x40, "TPHtoohotImage", E, O, 0, 0, false, true},
    {"bPaperNearEnd", 3, 0x03, "PapernearendImage"},
    {"bPaperEnd", 3, 0x0C, "PaperendImage", E, O, 0, 0, false, true},
    {"bPrinting", 3, 0x40, "PrinterPrintingImage", O, I, 0, 0, true, false},
};

const StatusCondition kK305G2VD[] = {
    {"bPaperNearEnd", 1, 0x01, "imgPapernearendImage"},
    {"bPrinterHeadUp", 1, 0x02, "imgPrinterHeadupImage"},
    {"bPaperEnd", 1, 0x04, "imgPaperendImage"},
    {"bTPHTooHot", 1, 0x08, "imgTPHtoohotImage"},
    {"bRecyclePaperJam", 1, 0x80, "imgRecyclePaperJam"},
    {"bRollPaperSlack", 2, 0x80, "imgRollPaperSlackImage"},
    {"bPrinterPaperJam", 2, 0x02, "imgBundlerPaperJamImage"},
};

const StatusCondition kK305G2RW[] = {
    {"bPaperBlock", 1, 0x01, "imgBundlerPaperJamImage"},
    {"bRollPaperSlack", 1, 0x02, "imgRollpaperslackImage"},
    {"bRecyclePaperJam", 1, 0x04, "imgRecyclepaperjamImage"},
    {"bPrinterHeadUp", 1, 0x20, "imgPrinterHeadupImage"},
    {"bFeeding", 1, 0x40, "imgFeedingImage", O, I},
    {"bTPHTooHot", 2, 0x40, "imgTPHtoohotImage"},
    {"bPaperNearEnd", 3, 0x03, "imgPapernearendImage"},
    {"bPaperEnd", 3, 0x0C, "imgPaperendImage"},
    {"bPrinting", 3, 0x40, "imgPrinterIdleImage", O, I},
};

// Working states, in the order their images are written.
const StatusState kVDStates[] = {
    {0, "PrinterIdleImage"},         {2, "PrinterCuttingImage"},    {1, "PrinterPrintingImage"},
    {3, "BundlerPaperHoldingImage"}, {4, "BundlerPaperPresentImage"}, {5, "BundlerWaitStatusImage"},
    {6, "BundlerPaperRetractImage"}, {7, "AutoFeedingImage"},
};
const StatusState kK305G2VDStates[] = {
    {0, "imgPrinterIdleImage"},
    {1, "imgPrinterPrintingImage"},
    {7, "imgAutoFeedingImage"},
};

// Memo texts shared by several layouts.
const MemoText kHeadClosed{"Printer Head Up", "Printer Head Closed", "打印头抬起", "打印头关闭"};
const MemoText kPaper{"Paper Error", "Paper Ok", "打印纸张错误", "打印纸张正常"};
const MemoText kLow{"Paper Low", "No Paper Low", "纸将尽", "不缺纸"};
const MemoText kBlocking{"Printer  Paper Blocking Error", "Printer No Paper Blocking", "打印机卡纸",
                         "打印机没有卡纸现象"};

std::vector<MemoLine> MemoVD(int model) {
  std::vector<MemoLine> m = {
      {"bCutterError", {"Cutter is Error", "Cutter is OK", "切刀错误", "切刀正常"}},
      {"bPrinterHeadUp", {"Printer Head Up", "Printer Head Closed", "打印头抬起", "打印头压下"}},
      {"bTPHTooHot", {"TPH is too Hot", "TPH is OK", "打印头过热", "打印头正常"}},
  };
  if (model == 0)
    m.push_back({"bBundlerHeadUP", {"Bundler Head Up", "Bundler Head Closed", "容纸器上盖开启", "容纸器上盖合闭"}});
  m.push_back({"bPaperEnd", {"Paper Error", "Paper Ok", "没有纸了", "有纸"}});
  m.push_back({"bPaperNearEnd", kLow});
  m.push_back({"bPrinterPaperJam", {"Printer Paper Jam", nullptr, "打印机塞纸", nullptr}});
  if (model == 0)
    m.push_back({"bBundlerPaperJam", {"Bundler Paper Jam", nullptr, "容纸器塞纸", nullptr}});
  else if (model == 1 || model == 2 || model == 16)
    m.push_back({"bBundlerPaperJam", {"Presenter Paper Jam", nullptr, "Presenter塞纸", nullptr}});
  // "No Paper Jam" only while neither jam is present.
  m.push_back({"bPrinterPaperJam", {nullptr, "No Paper Jam", nullptr, "打印机无塞纸"}, "bBundlerPaperJam"});
  return m;
}

std::vector<MemoLine> MemoRW(int model) {
  std::vector<MemoLine> m = {
      {"bPrinterHeadUp", kHeadClosed},
      {"bPaperEnd", kPaper},
      {"bPaperNearEnd", kLow},
      {"bPrinterPaperJam", {"Printer Cutter Error", "Printer Cutter Ok", "打印机切刀错误", "打印机切刀正常"}},
  };
  if (model == 9) m.push_back({"bPollPaper", kBlocking});
  return m;
}

const MemoLine kRoll{"bRollPaperSlack",
                     {"Printer Rolling Paper Slack!", "Printer Rolling Paper OK", "打印机卷纸松弛", "打印机卷纸正常"}};
const MemoLine kRecycle{"bRecyclePaperJam", {"Recycling Paper Jam!", "Recycling Paper OK", "回收通道塞纸", "回收纸张正常"}};
const MemoLine kK305G2VDHead{"bPrinterHeadUp", kHeadClosed};
const MemoLine kK305G2VDPaper{"bPaperEnd", kPaper};
const MemoLine kK305G2VDLow{"bPaperNearEnd", kLow};
const MemoLine kK305G2VDJam{"bPrinterPaperJam", {"Printer Paper Jam", "No Paper Jam", "打印机塞纸", "打印机无塞纸"}};

const MemoLine kK305G2RWMemo[] = {
    {"bPrinterHeadUp", kHeadClosed},
    {"bRollPaperSlack", {"Rolling Paper Slack!", "Rolling Paper OK", "回卷纸张松弛!", "回卷纸张正常"}},
    {"bRecyclePaperJam", {"Recycling Paper Jam!", "Recycling Paper OK", "回收通道塞纸!", "回收通道正常"}},
    {"bPaperEnd", kPaper},
    {"bPaperNearEnd", kLow},
    {"bPaperBlock", kBlocking},
};

template <class T, size_t N>
std::vector<T> Rows(const T (&a)[N]) {
  return std::vector<T>(std::begin(a), std::end(a));
}

}  // namespace

RecordLayout FourByteLayout(Layout layout, int modelCode) {
  RecordLayout t;
  t.length = 4;
  switch (layout) {
    case Layout::VD:
      t.conditions = Rows(kVD);
      if (modelCode == 0) t.conditions.push_back(kVDBundlerFull);
      t.states = Rows(kVDStates);
      t.memoEnglish = t.memoChinese = MemoVD(modelCode);
      break;
    case Layout::RW:
      t.conditions = Rows(kRW);
      t.memoEnglish = t.memoChinese = MemoRW(modelCode);
      t.hasBlocking = modelCode == 9;
      break;
    case Layout::K305G2VD:
      t.conditions = Rows(kK305G2VD);
      t.states = Rows(kK305G2VDStates);
      // The two languages list the lines in different orders.
      t.memoEnglish = {kRoll, kRecycle, kK305G2VDHead, kK305G2VDPaper, kK305G2VDLow, kK305G2VDJam};
      t.memoChinese = {kK305G2VDHead, kK305G2VDPaper, kK305G2VDLow, kK305G2VDJam, kRoll, kRecycle};
      break;
    case Layout::K305G2RW:
      t.conditions = Rows(kK305G2RW);
      t.memoEnglish = t.memoChinese = Rows(kK305G2RWMemo);
      break;
  }
  return t;
}

StatusDecoder::StatusDecoder(RecordLayout layout) : layout_(std::move(layout)) { reset(); }

void StatusDecoder::reset() {
  flags_.assign(layout_.conditions.size(), false);
  shown_.clear();
  for (const auto& img : images()) shown_.emplace_back(img, Glyph::None);
  lastBytes_.assign(layout_.length, 0);
  recover_ = false;
  pollPaper_ = false;
}

void StatusDecoder::viewWasReset() {
  for (auto& s : shown_) s.second = Glyph::Init;
}

std::vector<LabelWrite> StatusDecoder::clearLabels() {
  std::vector<LabelWrite> out;
  for (size_t i = 0; i < lastBytes_.size(); ++i) {
    if (lastBytes_[i] != 0) {
      lastBytes_[i] = 0;
      out.push_back({static_cast<int>(i), HexLabelText(0)});
    }
  }
  return out;
}

std::vector<std::string> StatusDecoder::images() const {
  std::vector<std::string> out;
  auto add = [&](const char* n) {
    if (std::find(out.begin(), out.end(), n) == out.end()) out.emplace_back(n);
  };
  for (const auto& c : layout_.conditions) add(c.image);
  for (const auto& s : layout_.states) add(s.image);
  if (layout_.hasBlocking) add(layout_.blocking.image);
  return out;
}

bool StatusDecoder::flag(const std::string& name) const {
  for (size_t i = 0; i < layout_.conditions.size(); ++i)
    if (name == layout_.conditions[i].flag) return flags_[i];
  if (name == "bPollPaper") return pollPaper_;
  return false;
}

Glyph StatusDecoder::shown(const std::string& image) const {
  for (const auto& s : shown_)
    if (s.first == image) return s.second;
  return Glyph::None;
}

Glyph WorkingStateGlyph(int stateCode, int k) {
  if (stateCode == (0x10 | k)) return Glyph::Error;
  return stateCode == k ? Glyph::OK : Glyph::Init;
}

void StatusDecoder::setImage(const char* image, Glyph g, DecodeResult& out) {
  for (auto& s : shown_) {
    if (s.first == image) {
      if (s.second != g) {
        s.second = g;
        out.images.push_back({image, g});
      }
      return;
    }
  }
}

DecodeResult StatusDecoder::decode(std::span<const uint8_t> r, MemoLanguage lang) {
  DecodeResult out;
  if (r.size() != layout_.length) return out;

  // Hex labels: only the bytes that changed since the last write.
  for (size_t i = 0; i < r.size(); ++i) {
    if (r[i] != lastBytes_[i]) {
      lastBytes_[i] = r[i];
      out.labels.push_back({static_cast<int>(i), HexLabelText(r[i])});
    }
  }

  auto has = [&](int byte, uint8_t mask) {
    return byte >= 1 && static_cast<size_t>(byte) <= r.size() && mask != 0 && (r[byte - 1] & mask) == mask;
  };
  // Condition flags first, so an image shared by two conditions is judged
  // on both; then the images in the table's order.
  const auto& conditions = layout_.conditions;
  for (size_t i = 0; i < conditions.size(); ++i) {
    const auto& c = conditions[i];
    const bool now = has(c.byte, c.mask) || (c.orByte != 0 && has(c.orByte, c.orMask));
    if (now && (!flags_[i] || c.restoreEveryRecord)) out.restore = true;
    flags_[i] = now;
    if (now && c.latchesRecover) recover_ = true;
  }
  for (const auto& c : conditions) {
    bool anySet = false;
    for (size_t j = 0; j < conditions.size(); ++j)
      if (flags_[j] && std::string_view(conditions[j].image) == c.image) anySet = true;
    setImage(c.image, anySet ? c.setGlyph : c.clearGlyph, out);
  }

  if (layout_.hasBlocking) applyBlocking(r, out);

  // Working states: the one of the code shows OK (or Error with the error
  // bit), every other one Init; codes without a state leave all at Init.
  if (r.size() >= 3) {
    const int code = r[2] & 0x1F;
    for (const auto& s : layout_.states) {
      const Glyph g = WorkingStateGlyph(code, s.code);
      setImage(s.image, g, out);
      if (g == Glyph::Error) out.restore = true;  // on every such record while hidden, not only on the change
    }
  }

  writeMemo(lang, out);
  return out;
}

void StatusDecoder::applyBlocking(std::span<const uint8_t> r, DecodeResult& out) {
  const BlockingRule& b = layout_.blocking;
  const bool bit = b.byte >= 1 && static_cast<size_t>(b.byte) <= r.size() && (r[b.byte - 1] & b.mask) == b.mask;
  if (bit && !recover_) {
    setImage(b.image, Glyph::Error, out);
    out.restore = true;
    pollPaper_ = true;
    return;
  }
  // A latched recoverable error consumes the bit once.
  if (bit) recover_ = false;
  setImage(b.image, Glyph::OK, out);
  pollPaper_ = false;
}

void StatusDecoder::writeMemo(MemoLanguage lang, DecodeResult& out) const {
  if (lang == MemoLanguage::None) return;
  const bool english = lang == MemoLanguage::English;
  for (const MemoLine& line : english ? layout_.memoEnglish : layout_.memoChinese) {
    const bool set = flag(line.flag) || (line.orFlag && flag(line.orFlag));
    const char* text = english ? (set ? line.text.enSet : line.text.enClear) : (set ? line.text.cnSet : line.text.cnClear);
    if (text) out.memo.emplace_back(text);
  }
}

}  // namespace torva::status
