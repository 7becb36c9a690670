#include "status/StatusRecord8.h"

#include <algorithm>

namespace torva::status {

// ---------------------------------------------------------------- eight-byte record

namespace {

constexpr Glyph E = Glyph::Error;
constexpr Glyph O = Glyph::OK;

const MemoLine kHead{"bPrinterHeadUp", {"Printer Head Up", "Printer Head Closed", "打印头抬起", "打印头关闭"}};
const MemoLine kPaper{"bPaperEnd", {"Paper Error", "Paper Ok", "打印纸张错误", "打印纸张正常"}};
const MemoLine kLow{"bPaperNearEnd", {"Paper Low", "No Paper Low", "纸将尽", "不缺纸"}};
const MemoLine kJam{"bPrinterPaperJam", {"Printer Paper Jam", "No Paper Jam", "打印机塞纸", "打印机无塞纸"}};
const MemoLine kPresenterJam{"bBundlerPaperJam", {"Presenter Paper Jam", nullptr, "容纸器塞纸", nullptr}};
const MemoLine kCh1Low{"bChannel1PaperNearEnd", {"Firest Channel Paper Low", nullptr, "通道1纸将尽", nullptr}};
const MemoLine kCh2Low{"bChannel2PaperNearEnd", {"Second Channel Paper Low", nullptr, "通道2纸将尽", nullptr}};
const MemoLine kCh1Out{"bChannel1PaperEnd", {"First Channel Paper Out", nullptr, "通道1纸尽", nullptr}};
const MemoLine kCh2Out{"bChannel2PaperEnd", {"Second Channel Paper Out", nullptr, "通道2纸尽", nullptr}};
// English only: the Chinese memo has no line for the head temperature.
const MemoLine kTph{"bTPHTooHot", {"TPH Too Hot", "TPH is Ok", nullptr, nullptr}};

const MemoLine kMemoK772[] = {kHead, kPaper, kTph, kLow, kJam, kPresenterJam, kCh1Low, kCh2Low, kCh1Out, kCh2Out,
                              {"bCurrorError", {"Cutter error", "Cutter is ok", "切刀错误", "切刀正常"}}};
const MemoLine kMemoK512[] = {kHead, kPaper, kLow, kJam, kPresenterJam, kCh1Low, kCh2Low, kCh1Out, kCh2Out,
                              {"bShutterError", {"Shutter Error", "Shutter Ok", "Shutter错误", "Shutter正常"}}};

// The channel conditions of byte 5, in the order their images are written.
const StatusCondition kChannels[] = {
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

RecordLayout Record8Layout(Record8Variant v) {
  RecordLayout t;
  t.length = kRecord8Length;
  if (v == Record8Variant::K772) {
    t.conditions = {
        {"bPaperNearEnd", 1, 0x01, "PapernearendImage"},
        {"bPrinterHeadUp", 1, 0x02, "PrinterHeadupImage"},
        {"bPaperEnd", 1, 0x04, "PaperendImage"},
        {"bTPHTooHot", 1, 0x08, "TPHtoohotImage"},
        // The printer jam is reported in byte 1 bit 5 and again in byte 2 bit 1.
        {"bPrinterPaperJam", 1, 0x20, "PaperJamError", E, O, 2, 0x02},
        {"bCurrorError", 1, 0x10, "CuttererrorImage"},
        {"bBundlerPaperJam", 2, 0x04, "BundlerPaperJamImage"},
    };
    t.conditions.insert(t.conditions.end(), std::begin(kChannels), std::end(kChannels));
    t.states = {{0, "PrinterIdleImage"},           {2, "PrinterCuttingImage"},
                {1, "PrinterPrintingImage"},       {3, "BundlerPapePresentingImage"},
                {6, "BundlerPaperEjectingImage"},  {4, "BundlerPaperWaitingImage"},
                {5, "BundlerRetractingStatusImage"}, {7, "AutoFeedingImage"}};
    t.memoEnglish = t.memoChinese = {std::begin(kMemoK772), std::end(kMemoK772)};
  } else {
    t.conditions = {
        {"bPaperNearEnd", 1, 0x01, "PapernearendImage"},
        {"bPrinterHeadUp", 1, 0x02, "PrinterHeadupImage"},
        {"bPaperEnd", 1, 0x04, "PaperendImage"},
        {"bTPHTooHot", 1, 0x08, "TPHtoohotImage"},
        {"bPrinterPaperJam", 1, 0x20, "PaperJamError"},
        // One indicator for the cutter (bit 4) and the jam of bit 7.
        {"bCurrorError", 1, 0x10, "CuttererrorImage", E, O, 1, 0x80},
        {"bBundlerPaperJam", 2, 0x04, "BundlerPaperJamImage"},
    };
    t.conditions.insert(t.conditions.end(), std::begin(kChannels), std::end(kChannels));
    t.conditions.push_back({"bShutterError", 5, 0x20, "ShutterImage"});
    t.states = {{0, "PrinterIdleImage"},         {2, "PrinterCuttingImage"},
                {1, "PrinterPrintingImage"},     {6, "BundlerPaperHoldingImage"},
                {3, "BundlerPaperPresentImage"}, {4, "BundlerWaitStatusImage"},
                {5, "BundlerPaperRetractImage"}, {7, "AutoFeedingImage"}};
    t.memoEnglish = t.memoChinese = {std::begin(kMemoK512), std::end(kMemoK512)};
  }
  return t;
}

StatusDecoder MakeRecord8Decoder(Record8Variant v) { return StatusDecoder(Record8Layout(v)); }

std::string Record8StateCaption(Record8Variant v, int code, bool chinese) {
  if (code < 0 || code > 7) return {};
  const StateCaption* c = v == Record8Variant::K772 ? kK772Captions[code] : kK512Captions[code];
  return chinese ? c->cn : c->en;
}

}  // namespace torva::status
