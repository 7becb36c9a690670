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
const ConditionBit kVD[] = {
    {"bPaperNearEnd", 1, 0x01, "PapernearendImage", E, O},
    {"bPrinterHeadUp", 1, 0x02, "PrinterHeadupImage", E, O},
    {"bPaperEnd", 1, 0x04, "PaperendImage", E, O},
    {"bTPHTooHot", 1, 0x08, "TPHtoohotImage", E, O},
    {"bCutterError", 1, 0x10, "CuttererrorImage", E, O},
    {"bVoltageAbnormity", 1, 0x80, "VoltageabnormityImage", E, O},
    {"bBundlerHeadUP", 2, 0x80, "BundlerHeadupImage", E, O},
    {"bPrinterPaperJam", 2, 0x02, "BundlerFullImage", E, O},
    {"bBundlerPaperJam", 2, 0x04, "BundlerPaperJamImage", E, O},
};
const ConditionBit kVDBundlerFull = {"bBundlerFull", 4, 0x01, "BundlerFullImage", E, O};

// The series layout in the generic dialog. The feed image comes right after
// the head-up image, the printing image after paper end; paper blocking
// (model code 9) is decoded by hand after them.
const ConditionBit kRW[] = {
    {"bPrinterHeadUp", 1, 0x20, "PrinterHeadupImage", E, O, false, true},
    {"bFeeding", 1, 0x40, "BundlerPaperHoldingImage", O, I, true, false},
    {"bPrinterPaperJam", 2, 0x08, "CuttererrorImage", E, O, false, true},  // the cutter error
    {"bTPHTooHot", 2, 0x40, "TPHtoohotImage", E, O, false, true},
    {"bPaperNearEnd", 3, 0x03, "PapernearendImage", E, O, false, false},
    {"bPaperEnd", 3, 0x0C, "PaperendImage", E, O, false, true},
    {"bPrinting", 3, 0x40, "PrinterPrintingImage", O, I, true, false},
};

const ConditionBit kK305G2VD[] = {
    {"bPaperNearEnd", 1, 0x01, "imgPapernearendImage", E, O},
    {"bPrinterHeadUp", 1, 0x02, "imgPrinterHeadupImage", E, O},
    {"bPaperEnd", 1, 0x04, "imgPaperendImage", E, O},
    {"bTPHTooHot", 1, 0x08, "imgTPHtoohotImage", E, O},
    {"bRecyclePaperJam", 1, 0x80, "imgRecyclePaperJam", E, O},
    {"bRollPaperSlack", 2, 0x80, "imgRollPaperSlackImage", E, O},
    {"bPrinterPaperJam", 2, 0x02, "imgBundlerPaperJamImage", E, O},
};

const ConditionBit kK305G2RW[] = {
    {"bPaperBlock", 1, 0x01, "imgBundlerPaperJamImage", E, O},
    {"bRollPaperSlack", 1, 0x02, "imgRollpaperslackImage", E, O},
    {"bRecyclePaperJam", 1, 0x04, "imgRecyclepaperjamImage", E, O},
    {"bPrinterHeadUp", 1, 0x20, "imgPrinterHeadupImage", E, O},
    {"bFeeding", 1, 0x40, "imgFeedingImage", O, I},
    {"bTPHTooHot", 2, 0x40, "imgTPHtoohotImage", E, O},
    {"bPaperNearEnd", 3, 0x03, "imgPapernearendImage", E, O},
    {"bPaperEnd", 3, 0x0C, "imgPaperendImage", E, O},
    {"bPrinting", 3, 0x40, "imgPrinterIdleImage", O, I},
};

// Working states, in the order their images are written.
const WorkingState kVDStates[] = {
    {"Idle", 0, "PrinterIdleImage"},
    {"cutting", 2, "PrinterCuttingImage"},
    {"Printing", 1, "PrinterPrintingImage"},
    {"BundlerHoldPaper", 3, "BundlerPaperHoldingImage"},
    {"BundlerPresentPaper", 4, "BundlerPaperPresentImage"},
    {"BundlerWait", 5, "BundlerWaitStatusImage"},
    {"BundlerRetractPaper", 6, "BundlerPaperRetractImage"},
    {"AutoFeeding", 7, "AutoFeedingImage"},
};
const WorkingState kK305G2VDStates[] = {
    {"Idle", 0, "imgPrinterIdleImage"},
    {"Printing", 1, "imgPrinterPrintingImage"},
    {"AutoFeeding", 7, "imgAutoFeedingImage"},
};

constexpr const char* kBlockingImage = "BundlerPaperJamImage";

// One memo line: the English and Chinese text with the condition set and clear.
struct MemoText {
  const char* enSet;
  const char* enClear;
  const char* cnSet;
  const char* cnClear;
};

void AddLine(DecodeResult& out, MemoLanguage lang, bool set, const MemoText& t) {
  const char* s = nullptr;
  if (lang == MemoLanguage::English) s = set ? t.enSet : t.enClear;
  if (lang == MemoLanguage::Chinese) s = set ? t.cnSet : t.cnClear;
  if (s) out.memo.emplace_back(s);
}

}  // namespace

std::vector<ConditionBit> ConditionTable(Layout layout, int modelCode) {
  std::vector<ConditionBit> t;
  switch (layout) {
    case Layout::VD:
      t.assign(std::begin(kVD), std::end(kVD));
      if (modelCode == 0) t.push_back(kVDBundlerFull);
      break;
    case Layout::RW: t.assign(std::begin(kRW), std::end(kRW)); break;
    case Layout::K305G2VD: t.assign(std::begin(kK305G2VD), std::end(kK305G2VD)); break;
    case Layout::K305G2RW: t.assign(std::begin(kK305G2RW), std::end(kK305G2RW)); break;
  }
  return t;
}

std::vector<WorkingState> WorkingStateTable(Layout layout) {
  switch (layout) {
    case Layout::VD: return {std::begin(kVDStates), std::end(kVDStates)};
    case Layout::K305G2VD: return {std::begin(kK305G2VDStates), std::end(kK305G2VDStates)};
    case Layout::RW:
    case Layout::K305G2RW: return {};
  }
  return {};
}

StatusDecoder::StatusDecoder(Layout layout, int modelCode)
    : layout_(layout), model_(modelCode),
      conditions_(ConditionTable(layout, modelCode)), states_(WorkingStateTable(layout)) {
  reset();
}

void StatusDecoder::reset() {
  flags_.assign(conditions_.size(), false);
  shown_.clear();
  for (const auto& img : images()) shown_.emplace_back(img, Glyph::None);
  lastBytes_ = {};
  recover_ = false;
  pollPaper_ = false;
}

void StatusDecoder::viewWasReset() {
  for (auto& s : shown_) s.second = Glyph::Init;
}

std::vector<LabelWrite> StatusDecoder::clearLabels() {
  std::vector<LabelWrite> out;
  for (int i = 0; i < 4; ++i) {
    if (lastBytes_[i] != 0) {
      lastBytes_[i] = 0;
      out.push_back({i, HexLabelText(0)});
    }
  }
  return out;
}

std::vector<std::string> StatusDecoder::images() const {
  std::vector<std::string> out;
  auto add = [&](const char* n) {
    if (std::find(out.begin(), out.end(), n) == out.end()) out.emplace_back(n);
  };
  for (const auto& c : conditions_) add(c.image);
  for (const auto& s : states_) add(s.image);
  if (layout_ == Layout::RW && model_ == 9) add(kBlockingImage);
  return out;
}

bool StatusDecoder::flag(const std::string& name) const {
  for (size_t i = 0; i < conditions_.size(); ++i)
    if (name == conditions_[i].flag) return flags_[i];
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

bool StatusDecoder::present(const ConditionBit& c, std::span<const uint8_t> r) const {
  return (r[c.byte - 1] & c.mask) == c.mask;
}

DecodeResult StatusDecoder::decode(std::span<const uint8_t> r, MemoLanguage lang) {
  DecodeResult out;
  if (r.size() != recordLength()) return out;

  // Hex labels: only the bytes that changed since the last write.
  for (int i = 0; i < 4; ++i) {
    if (r[i] != lastBytes_[i]) {
      lastBytes_[i] = r[i];
      out.labels.push_back({i, HexLabelText(r[i])});
    }
  }

  // Condition flags first, so an image shared by two conditions is judged
  // on both; then the images in the table's order.
  for (size_t i = 0; i < conditions_.size(); ++i) {
    const auto& c = conditions_[i];
    const bool now = present(c, r);
    if (now && (!flags_[i] || c.restoreEveryRecord)) out.restore = true;
    flags_[i] = now;
    if (now && c.latchesRecover) recover_ = true;
  }
  for (size_t i = 0; i < conditions_.size(); ++i) {
    const auto& c = conditions_[i];
    bool anySet = false;
    for (size_t j = 0; j < conditions_.size(); ++j)
      if (flags_[j] && std::string_view(conditions_[j].image) == c.image) anySet = true;
    setImage(c.image, anySet ? c.setGlyph : c.clearGlyph, out);
  }

  // Paper blocking of the RW-K305E: the bit counts only when no recoverable
  // error was seen since the last record that consumed the latch.
  if (layout_ == Layout::RW && model_ == 9) {
    if (r[1] & 0x20) {
      if (!recover_) {
        setImage(kBlockingImage, Glyph::Error, out);
        out.restore = true;
        pollPaper_ = true;
      } else {
        setImage(kBlockingImage, Glyph::OK, out);
        recover_ = false;
        pollPaper_ = false;
      }
    } else {
      setImage(kBlockingImage, Glyph::OK, out);
      pollPaper_ = false;
    }
  }

  // Working states: the one of the code shows OK (or Error with the error
  // bit), every other one Init; codes without a state leave all at Init.
  const int code = r[2] & 0x1F;
  for (const auto& s : states_) {
    const Glyph g = WorkingStateGlyph(code, s.code);
    setImage(s.image, g, out);
    if (g == Glyph::Error) out.restore = true;  // on every such record while hidden, not only on the change
  }

  switch (layout_) {
    case Layout::VD: memoVD(lang, out); break;
    case Layout::RW: memoRW(lang, out); break;
    case Layout::K305G2VD: memoK305G2VD(lang, out); break;
    case Layout::K305G2RW: memoK305G2RW(lang, out); break;
  }
  return out;
}

void StatusDecoder::memoVD(MemoLanguage lang, DecodeResult& out) const {
  AddLine(out, lang, flag("bCutterError"), {"Cutter is Error", "Cutter is OK", "切刀错误", "切刀正常"});
  AddLine(out, lang, flag("bPrinterHeadUp"),
          {"Printer Head Up", "Printer Head Closed", "打印头抬起", "打印头压下"});
  AddLine(out, lang, flag("bTPHTooHot"), {"TPH is too Hot", "TPH is OK", "打印头过热", "打印头正常"});
  if (model_ == 0)
    AddLine(out, lang, flag("bBundlerHeadUP"),
            {"Bundler Head Up", "Bundler Head Closed", "容纸器上盖开启", "容纸器上盖合闭"});
  AddLine(out, lang, flag("bPaperEnd"), {"Paper Error", "Paper Ok", "没有纸了", "有纸"});
  AddLine(out, lang, flag("bPaperNearEnd"), {"Paper Low", "No Paper Low", "纸将尽", "不缺纸"});
  const bool printerJam = flag("bPrinterPaperJam");
  const bool bundlerJam = flag("bBundlerPaperJam");
  if (printerJam) AddLine(out, lang, true, {"Printer Paper Jam", nullptr, "打印机塞纸", nullptr});
  if (bundlerJam) {
    if (model_ == 0)
      AddLine(out, lang, true, {"Bundler Paper Jam", nullptr, "容纸器塞纸", nullptr});
    else if (model_ == 1 || model_ == 2 || model_ == 16)
      AddLine(out, lang, true, {"Presenter Paper Jam", nullptr, "Presenter塞纸", nullptr});
  }
  if (!printerJam && !bundlerJam) AddLine(out, lang, false, {nullptr, "No Paper Jam", nullptr, "打印机无塞纸"});
}

void StatusDecoder::memoRW(MemoLanguage lang, DecodeResult& out) const {
  AddLine(out, lang, flag("bPrinterHeadUp"),
          {"Printer Head Up", "Printer Head Closed", "打印头抬起", "打印头关闭"});
  AddLine(out, lang, flag("bPaperEnd"), {"Paper Error", "Paper Ok", "打印纸张错误", "打印纸张正常"});
  AddLine(out, lang, flag("bPaperNearEnd"), {"Paper Low", "No Paper Low", "纸将尽", "不缺纸"});
  AddLine(out, lang, flag("bPrinterPaperJam"),
          {"Printer Cutter Error", "Printer Cutter Ok", "打印机切刀错误", "打印机切刀正常"});
  if (model_ == 9)
    AddLine(out, lang, pollPaper_,
            {"Printer  Paper Blocking Error", "Printer No Paper Blocking", "打印机卡纸", "打印机没有卡纸现象"});
}

void StatusDecoder::memoK305G2VD(MemoLanguage lang, DecodeResult& out) const {
  const MemoText roll{"Printer Rolling Paper Slack!", "Printer Rolling Paper OK", "打印机卷纸松弛", "打印机卷纸正常"};
  const MemoText recycle{"Recycling Paper Jam!", "Recycling Paper OK", "回收通道塞纸", "回收纸张正常"};
  const MemoText head{"Printer Head Up", "Printer Head Closed", "打印头抬起", "打印头关闭"};
  const MemoText paper{"Paper Error", "Paper Ok", "打印纸张错误", "打印纸张正常"};
  const MemoText low{"Paper Low", "No Paper Low", "纸将尽", "不缺纸"};
  const MemoText jam{"Printer Paper Jam", "No Paper Jam", "打印机塞纸", "打印机无塞纸"};
  auto line = [&](const char* f, const MemoText& t) { AddLine(out, lang, flag(f), t); };
  if (lang == MemoLanguage::English) {
    line("bRollPaperSlack", roll);
    line("bRecyclePaperJam", recycle);
    line("bPrinterHeadUp", head);
    line("bPaperEnd", paper);
    line("bPaperNearEnd", low);
    line("bPrinterPaperJam", jam);
  } else if (lang == MemoLanguage::Chinese) {
    line("bPrinterHeadUp", head);
    line("bPaperEnd", paper);
    line("bPaperNearEnd", low);
    line("bPrinterPaperJam", jam);
    line("bRollPaperSlack", roll);
    line("bRecyclePaperJam", recycle);
  }
}

void StatusDecoder::memoK305G2RW(MemoLanguage lang, DecodeResult& out) const {
  AddLine(out, lang, flag("bPrinterHeadUp"),
          {"Printer Head Up", "Printer Head Closed", "打印头抬起", "打印头关闭"});
  AddLine(out, lang, flag("bRollPaperSlack"),
          {"Rolling Paper Slack!", "Rolling Paper OK", "回卷纸张松弛!", "回卷纸张正常"});
  AddLine(out, lang, flag("bRecyclePaperJam"),
          {"Recycling Paper Jam!", "Recycling Paper OK", "回收通道塞纸!", "回收通道正常"});
  AddLine(out, lang, flag("bPaperEnd"), {"Paper Error", "Paper Ok", "打印纸张错误", "打印纸张正常"});
  AddLine(out, lang, flag("bPaperNearEnd"), {"Paper Low", "No Paper Low", "纸将尽", "不缺纸"});
  AddLine(out, lang, flag("bPaperBlock"),
          {"Printer  Paper Blocking Error", "Printer No Paper Blocking", "打印机卡纸", "打印机没有卡纸现象"});
}

}  // namespace torva::status
