#include "status/StatusRecord8.h"

#include <algorithm>

namespace torva::status {

// ---------------------------------------------------------------- table decoder

RecordTableDecoder::RecordTableDecoder(size_t length, std::vector<RecordCondition> conditions,
                                       std::vector<RecordState> states, MemoWriter memo)
    : length_(length), conditions_(std::move(conditions)), states_(std::move(states)), memo_(std::move(memo)) {
  reset();
}

void RecordTableDecoder::reset() {
  flags_.assign(conditions_.size(), false);
  shown_.clear();
  for (const auto& img : images()) shown_.emplace_back(img, Glyph::None);
  lastBytes_.assign(length_, 0);
}

void RecordTableDecoder::restart() {
  flags_.assign(conditions_.size(), false);
  for (auto& s : shown_) s.second = Glyph::None;
}

std::vector<LabelWrite> RecordTableDecoder::clearLabels() {
  std::vector<LabelWrite> out;
  for (size_t i = 0; i < lastBytes_.size(); ++i) {
    if (lastBytes_[i] != 0) {
      lastBytes_[i] = 0;
      out.push_back({static_cast<int>(i), HexLabelText(0)});
    }
  }
  return out;
}

void RecordTableDecoder::viewWasReset() {
  for (auto& s : shown_) s.second = Glyph::Init;
}

std::vector<std::string> RecordTableDecoder::images() const {
  std::vector<std::string> out;
  auto add = [&](const char* n) {
    if (std::find(out.begin(), out.end(), n) == out.end()) out.emplace_back(n);
  };
  for (const auto& c : conditions_) add(c.image);
  for (const auto& s : states_) add(s.image);
  return out;
}

bool RecordTableDecoder::flag(const std::string& name) const {
  for (size_t i = 0; i < conditions_.size(); ++i)
    if (name == conditions_[i].flag) return flags_[i];
  return false;
}

Glyph RecordTableDecoder::shown(const std::string& image) const {
  for (const auto& s : shown_)
    if (s.first == image) return s.second;
  return Glyph::None;
}

void RecordTableDecoder::setImage(const std::string& image, Glyph g, DecodeResult& out) {
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

DecodeResult RecordTableDecoder::decode(std::span<const uint8_t> r, MemoLanguage lang) {
  DecodeResult out;
  if (r.size() != length_) return out;

  for (size_t i = 0; i < length_; ++i) {
    if (r[i] != lastBytes_[i]) {
      lastBytes_[i] = r[i];
      out.labels.push_back({static_cast<int>(i), HexLabelText(r[i])});
    }
  }

  auto has = [&](int byte, uint8_t mask) {
    return byte >= 1 && static_cast<size_t>(byte) <= length_ && mask != 0 && (r[byte - 1] & mask) == mask;
  };
  for (size_t i = 0; i < conditions_.size(); ++i) {
    const auto& c = conditions_[i];
    const bool now = has(c.byte, c.mask) || (c.orByte != 0 && has(c.orByte, c.orMask));
    if (now && !flags_[i]) out.restore = true;  // newly present
    flags_[i] = now;
    setImage(c.image, now ? Glyph::Error : Glyph::OK, out);
  }

  if (length_ >= 3) {
    const int code = r[2] & 0x1F;
    for (const auto& s : states_) {
      const Glyph g = WorkingStateGlyph(code, s.code);
      setImage(s.image, g, out);
      if (g == Glyph::Error) out.restore = true;  // on every such record while hidden, not only on the change
    }
  }

  if (memo_ && lang != MemoLanguage::None) memo_(*this, lang, out.memo);
  return out;
}

// ---------------------------------------------------------------- eight-byte record

namespace {

struct Line {
  const char* enSet;
  const char* enClear;  // nullptr: no line while clear
  const char* cnSet;
  const char* cnClear;
};

void Add(std::vector<std::string>& memo, MemoLanguage lang, bool set, const Line& t) {
  const char* s = lang == MemoLanguage::English ? (set ? t.enSet : t.enClear) : (set ? t.cnSet : t.cnClear);
  if (s) memo.emplace_back(s);
}

const Line kHead{"Printer Head Up", "Printer Head Closed", "打印头抬起", "打印头关闭"};
const Line kPaper{"Paper Error", "Paper Ok", "打印纸张错误", "打印纸张正常"};
const Line kLow{"Paper Low", "No Paper Low", "纸将尽", "不缺纸"};
const Line kJam{"Printer Paper Jam", "No Paper Jam", "打印机塞纸", "打印机无塞纸"};
const Line kPresenterJam{"Presenter Paper Jam", nullptr, "容纸器塞纸", nullptr};
const Line kCh1Low{"Firest Channel Paper Low", nullptr, "通道1纸将尽", nullptr};
const Line kCh2Low{"Second Channel Paper Low", nullptr, "通道2纸将尽", nullptr};
const Line kCh1Out{"First Channel Paper Out", nullptr, "通道1纸尽", nullptr};
const Line kCh2Out{"Second Channel Paper Out", nullptr, "通道2纸尽", nullptr};

void ChannelLines(const RecordTableDecoder& d, MemoLanguage lang, std::vector<std::string>& memo) {
  Add(memo, lang, d.flag("bChannel1PaperNearEnd"), kCh1Low);
  Add(memo, lang, d.flag("bChannel2PaperNearEnd"), kCh2Low);
  Add(memo, lang, d.flag("bChannel1PaperEnd"), kCh1Out);
  Add(memo, lang, d.flag("bChannel2PaperEnd"), kCh2Out);
}

void MemoK772(const RecordTableDecoder& d, MemoLanguage lang, std::vector<std::string>& memo) {
  Add(memo, lang, d.flag("bPrinterHeadUp"), kHead);
  Add(memo, lang, d.flag("bPaperEnd"), kPaper);
  if (lang == MemoLanguage::English) Add(memo, lang, d.flag("bTPHTooHot"), {"TPH Too Hot", "TPH is Ok", nullptr, nullptr});
  Add(memo, lang, d.flag("bPaperNearEnd"), kLow);
  Add(memo, lang, d.flag("bPrinterPaperJam"), kJam);
  Add(memo, lang, d.flag("bBundlerPaperJam"), kPresenterJam);
  ChannelLines(d, lang, memo);
  Add(memo, lang, d.flag("bCurrorError"), {"Cutter error", "Cutter is ok", "切刀错误", "切刀正常"});
}

void MemoK512(const RecordTableDecoder& d, MemoLanguage lang, std::vector<std::string>& memo) {
  Add(memo, lang, d.flag("bPrinterHeadUp"), kHead);
  Add(memo, lang, d.flag("bPaperEnd"), kPaper);
  Add(memo, lang, d.flag("bPaperNearEnd"), kLow);
  Add(memo, lang, d.flag("bPrinterPaperJam"), kJam);
  Add(memo, lang, d.flag("bBundlerPaperJam"), kPresenterJam);
  ChannelLines(d, lang, memo);
  Add(memo, lang, d.flag("bShutterError"), {"Shutter Error", "Shutter Ok", "Shutter错误", "Shutter正常"});
}

// The channel conditions of byte 5, in the order their images are written.
const RecordCondition kChannels[] = {
    {"bChannel1PaperEnd", 5, 0x02, "Channel1PaperEndImage"},
    {"bChannel2PaperEnd", 5, 0x04, "Channel2PaperEndImage"},
    {"bChannel1PaperNearEnd", 5, 0x08, "Channel1PaperNearEndImage"},
    {"bChannel2PaperNearEnd", 5, 0x10, "Channel2PaperNearEndImage"},
};

struct StateCaption {
  const char* en;
  const char* cn;
};
const StateCaption kIdle{"Printer Idle", "空闲状态"};
const StateCaption kPrinting{"Printer Printing", "打印状态"};
const StateCaption kCutting{"Printer Cutting", "切纸状态"};
const StateCaption kPresent{"Presenter Paper Present", "容纸器出纸"};
const StateCaption kWait{"Presenter Wait Status", "容纸器等待"};
const StateCaption kRetract{"Presenter Paper Retract", "容纸器回收"};
const StateCaption kEject{"Presenter Paper Eject", "容纸器吐纸"};
const StateCaption kAutoFeed{"Auto Feed", "自动上纸"};

// Captions by code 0..7. The VD-K512 names its presenter states one step on
// from the VD-K772: code 3 is the wait, 6 the presenting.
const StateCaption* const kK772Captions[] = {&kIdle, &kPrinting, &kCutting, &kPresent,
                                             &kWait, &kRetract,  &kEject,   &kAutoFeed};
const StateCaption* const kK512Captions[] = {&kIdle, &kPrinting, &kCutting, &kWait,
                                             &kRetract, &kEject, &kPresent, &kAutoFeed};

}  // namespace

std::vector<RecordCondition> Record8Conditions(Record8Variant v) {
  std::vector<RecordCondition> t;
  if (v == Record8Variant::K772) {
    t = {
        {"bPaperNearEnd", 1, 0x01, "PapernearendImage"},
        {"bPrinterHeadUp", 1, 0x02, "PrinterHeadupImage"},
        {"bPaperEnd", 1, 0x04, "PaperendImage"},
        {"bTPHTooHot", 1, 0x08, "TPHtoohotImage"},
        // The printer jam is reported in byte 1 bit 5 and again in byte 2 bit 1.
        {"bPrinterPaperJam", 1, 0x20, "PaperJamError", 2, 0x02},
        {"bCurrorError", 1, 0x10, "CuttererrorImage"},
        {"bBundlerPaperJam", 2, 0x04, "BundlerPaperJamImage"},
    };
    t.insert(t.end(), std::begin(kChannels), std::end(kChannels));
  } else {
    t = {
        {"bPaperNearEnd", 1, 0x01, "PapernearendImage"},
        {"bPrinterHeadUp", 1, 0x02, "PrinterHeadupImage"},
        {"bPaperEnd", 1, 0x04, "PaperendImage"},
        {"bTPHTooHot", 1, 0x08, "TPHtoohotImage"},
        {"bPrinterPaperJam", 1, 0x20, "PaperJamError"},
        // One indicator for the cutter (bit 4) and the jam of bit 7.
        {"bCurrorError", 1, 0x10, "CuttererrorImage", 1, 0x80},
        {"bBundlerPaperJam", 2, 0x04, "BundlerPaperJamImage"},
    };
    t.insert(t.end(), std::begin(kChannels), std::end(kChannels));
    t.push_back({"bShutterError", 5, 0x20, "ShutterImage"});
  }
  return t;
}

std::vector<RecordState> Record8States(Record8Variant v) {
  if (v == Record8Variant::K772)
    return {{0, "PrinterIdleImage"},           {2, "PrinterCuttingImage"},          {1, "PrinterPrintingImage"},
            {3, "BundlerPapePresentingImage"}, {6, "BundlerPaperEjectingImage"},    {4, "BundlerPaperWaitingImage"},
            {5, "BundlerRetractingStatusImage"}, {7, "AutoFeedingImage"}};
  return {{0, "PrinterIdleImage"},         {2, "PrinterCuttingImage"},    {1, "PrinterPrintingImage"},
          {6, "BundlerPaperHoldingImage"}, {3, "BundlerPaperPresentImage"}, {4, "BundlerWaitStatusImage"},
          {5, "BundlerPaperRetractImage"}, {7, "AutoFeedingImage"}};
}

RecordTableDecoder MakeRecord8Decoder(Record8Variant v) {
  return RecordTableDecoder(kRecord8Length, Record8Conditions(v), Record8States(v),
                            v == Record8Variant::K772 ? MemoK772 : MemoK512);
}

std::string Record8StateCaption(Record8Variant v, int code, bool chinese) {
  if (code < 0 || code > 7) return {};
  const StateCaption* c = v == Record8Variant::K772 ? kK772Captions[code] : kK512Captions[code];
  return chinese ? c->cn : c->en;
}

}  // namespace torva::status
