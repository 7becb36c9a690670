// The two-bank address map without a printer: the getters' decoding and the
// setters' encoding at every range boundary, the four editors as columns;
// the watermark word; the kept high bytes; the edit checks of Save and
// Export.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "settings/TwoBankMap.h"

using namespace torva::settings;
using TB = TwoBankSetting;

namespace {

const TwoBankProfile* const kProfiles[] = {&H738Profile(), &K466Profile(), &K772Profile(), &K9034Profile()};

// What the controls of a setting show, as text: item texts, edit texts and
// the kept high byte the setting shares its address with.
std::string Shown(TB s, const TwoBankProfile& p, const TwoBankState& st, const TwoBankKeptBytes& k) {
  using namespace twobank;
  auto wm = [](const TwoBankWaterMarkControls& w) {
    std::ostringstream o;
    o << TwoBankItemText(kDisableEnableItems, w.enable) << ' '
      << TwoBankItemText(kPrintModeItems, w.printMode) << ' '
      << TwoBankItemText(kDisableEnableItems, w.inverted) << ' '
      << (w.alignment < 0 ? "-" : TwoBankItemText(kAlignmentItems, w.alignment)) << " x" << w.horizontal
      << " x" << w.vertical;
    return o.str();
  };
  switch (s) {
    case TB::BaudRate:
      return TwoBankItemText(kBaudItems, st.baud);
    case TB::FlowControl:
      return TwoBankItemText(kFlowItems, st.flow);
    case TB::DataStopBits:
      return TwoBankItemText(kDataBitsItems, st.dataBits) + "/" +
             TwoBankItemText(kStopBitsItems, st.stopBits);
    case TB::Parity:
      return TwoBankItemText(kParityItems, st.parity);
    case TB::LeftMargin:
      return st.leftMargin;
    case TB::RightMargin:
      return st.rightMargin;
    case TB::PrintSpeed:
      return st.speed;
    case TB::PrintDarkness:
      return st.head1 + "/" + st.head2;
    case TB::PaperType:
      return TwoBankItemText(kPaperTypeItems, st.paperType);
    case TB::AutoCutter:
      return TwoBankItemText(kOnOffItems, st.autoCutter);
    case TB::CRCommand:
      return TwoBankItemText(kDisableEnableItems, st.cr);
    case TB::CodePage:
      return (st.codePage < 0 ? "-" : TwoBankItemText(p.codePageItems, st.codePage)) + "/" +
             TwoBankItemText(kIntlCharItems, st.intlChar);
    case TB::PresenterWaitTime:
      return st.waitTime + " kept " + std::to_string(k.restractTime);
    case TB::AutoLoadingTime:
      return st.autoTime;
    case TB::AutoLoadingSpeed:
      return st.autoSpeed;
    case TB::USBMode:
      return TwoBankItemText(kUsbModeItems, st.usbMode);
    case TB::CutPaperMode:
      return TwoBankItemText(kCutModeItems, st.cutMode) + " kept " + std::to_string(k.cutModeHigh);
    case TB::DataError:
      return TwoBankItemText(kDataErrorItems, st.dataError);
    case TB::RxBufferSize:
      return TwoBankItemText(kBufferSizeItems, st.bufferSize);
    case TB::PaperWidth:
      return st.paperWidth;
    case TB::PaperEndInfluent:
      return st.paperEnd;
    case TB::PaperOutMode:
      return TwoBankItemText(p.paperOutItems(), st.paperOutMode) + " kept " + std::to_string(k.paperOutMode);
    case TB::DefaultInvert:
      return st.defaultInvert < 0 ? "-" : TwoBankItemText(kDisableEnableItems, st.defaultInvert);
    case TB::BackWaterMark:
      return wm(st.back);
    case TB::FrontWaterMark:
      return wm(st.front);
    case TB::FeedLineInMark:
      return st.feedLine;
    case TB::PrintingSurface:
      return TwoBankItemText(kSurfaceItems, st.printingSurface);
  }
  return "?";
}

// Decodes one reply into a start state. "fail" when the getter refuses it
// (followed by the kept byte it stored, if any); the controls must then be
// unchanged.
std::string Decode(TB s, uint8_t lo, uint8_t hi, const TwoBankProfile& p) {
  TwoBankState st;
  // Start values that no reply below decodes to, so a change shows.
  st.codePage = 3;  // "PC860"
  st.back.alignment = 2;
  st.front.alignment = 2;
  TwoBankKeptBytes kept;
  const TwoBankState before = st;
  if (!DecodeReply(s, lo, hi, p, st, kept)) {
    EXPECT_EQ(st, before) << TwoBankInfoOf(s).name;
    if (kept.cutModeHigh) return "fail kept " + std::to_string(kept.cutModeHigh);
    if (kept.paperOutMode) return "fail kept " + std::to_string(kept.paperOutMode);
    return "fail";
  }
  return Shown(s, p, st, kept);
}

struct DecodeRow {
  TB setting;
  uint8_t lo, hi;
  // VD-H738, VD-K466, VD-K772, VD-K9034
  std::array<const char*, 4> shown;
};

}  // namespace

TEST(TwoBankCodec, DecodeTable) {
  const char* F = "fail";
  const DecodeRow rows[] = {
      {TB::BaudRate, 0, 0, {"9600", "9600", "9600", "9600"}},
      {TB::BaudRate, 4, 0, {"4800", "4800", "4800", "4800"}},
      {TB::BaudRate, 7, 0, {"115200", "115200", "115200", "115200"}},
      {TB::BaudRate, 5, 0, {F, F, F, F}},  // 2400: written, not read back
      {TB::BaudRate, 6, 0, {F, F, F, F}},  // 1200
      {TB::BaudRate, 2, 1, {F, F, F, F}},
      {TB::FlowControl, 1, 0, {"xon/xoff", "xon/xoff", "xon/xoff", "xon/xoff"}},
      {TB::FlowControl, 2, 0, {F, F, F, F}},
      {TB::FlowControl, 0, 1, {F, F, F, F}},
      {TB::DataStopBits, 7, 2, {"7/2", "7/2", "7/2", "7/2"}},
      {TB::DataStopBits, 0xFF, 0xFF, {"8/2", "8/2", "8/2", "8/1"}},
      {TB::DataStopBits, 8, 0xFF, {"8/2", "8/2", "8/2", "8/1"}},
      {TB::DataStopBits, 7, 3, {F, F, F, F}},  // 7 is valid, the stop bits are not
      {TB::DataStopBits, 6, 1, {F, F, F, F}},
      {TB::Parity, 0, 9, {"None", "None", "None", "None"}},  // hi not looked at
      {TB::Parity, 0xFF, 0, {"Even", "Even", "Even", "Even"}},
      {TB::Parity, 3, 0, {F, F, F, F}},
      {TB::LeftMargin, 0xFF, 0xFF, {"65535", "65535", "65535", "65535"}},
      {TB::RightMargin, 0, 0, {"0", "0", "0", "0"}},
      {TB::PrintSpeed, 50, 0, {"50", "50", "50", "50"}},
      {TB::PrintSpeed, 0x5E, 0x01, {"350", "350", "350", "350"}},
      {TB::PrintSpeed, 49, 0, {F, F, F, F}},
      {TB::PrintSpeed, 0x5F, 0x01, {F, F, F, F}},
      {TB::PrintDarkness, 0x80, 0x00, {"128/128", "128/128", "128/128", "128/128"}},
      {TB::PrintDarkness, 0x80, 0x20, {F, F, F, F}},
      {TB::PrintDarkness, 50, 254, {"50/254", "50/254", "50/254", "50/254"}},
      {TB::PrintDarkness, 49, 0, {F, F, F, F}},
      {TB::PrintDarkness, 255, 0, {F, F, F, F}},
      {TB::PrintDarkness, 100, 255, {F, F, F, F}},
      {TB::PaperType, 1, 0, {"Mark/Label", "Mark/Label", "Mark/Label", "Mark/Label"}},
      {TB::PaperType, 2, 0, {F, F, F, F}},
      {TB::AutoCutter, 0, 0, {"Off", "Off", "Off", "Off"}},
      {TB::AutoCutter, 3, 0, {"On", "On", "On", "On"}},
      {TB::AutoCutter, 4, 0, {F, F, F, F}},
      {TB::CRCommand, 1, 0, {"Enable", "Enable", "Enable", "Enable"}},
      {TB::CRCommand, 1, 1, {F, F, F, F}},
      {TB::CodePage,
       9,
       12,
       {"WPC1252/Latin America", "WPC1252/Latin America", "WPC1252/Latin America", "WPC1252/Latin America"}},
      {TB::CodePage, 5, 0, {"PC865/U.S.A", "PC865/U.S.A", "PC865/U.S.A", "PC856/U.S.A"}},
      // A code page that is no item selects none, never the box's earlier item.
      {TB::CodePage, 10, 1, {"-/France", "-/France", "-/France", "-/France"}},
      {TB::CodePage, 0, 13, {F, F, F, F}},
      {TB::PresenterWaitTime, 0x1E, 0x05, {"30 kept 5", "30 kept 5", "30 kept 5", "30 kept 0"}},
      {TB::AutoLoadingTime, 0xFF, 0xFF, {"65535", "65535", "65535", "65535"}},
      {TB::AutoLoadingSpeed, 28, 0, {"28", "28", "28", "28"}},
      {TB::USBMode, 0, 0, {"Class", "Class", "Class", "Class"}},
      {TB::USBMode, 2, 0, {F, F, F, F}},
      {TB::CutPaperMode, 2, 0, {"Full Cut kept 0", "Full Cut kept 0", "Full Cut kept 0", "Full Cut kept 0"}},
      {TB::CutPaperMode, 5, 7, {"fail kept 7", "fail kept 7", "fail kept 7", "fail kept 7"}},
      {TB::DataError, 1, 9, {"Ignored", "Ignored", "Ignored", "Ignored"}},  // hi not looked at
      {TB::DataError, 2, 0, {F, F, F, F}},
      {TB::RxBufferSize, 0x01, 0x05, {"4KB", "4KB", "4KB", "4KB"}},
      {TB::RxBufferSize, 0x02, 0x00, {"64KB", "64KB", "64KB", "64KB"}},
      {TB::RxBufferSize, 0x02, 0x01, {F, F, F, "64KB"}},
      {TB::RxBufferSize, 0x02, 0x07, {F, F, F, "64KB"}},
      {TB::RxBufferSize, 0x03, 0x00, {F, F, F, F}},
      {TB::PaperWidth, 0x70, 0x00, {"112", "112", "112", "112"}},
      {TB::PaperEndInfluent, 0xFE, 0x33, {"254", "254", "254", "254"}},
      {TB::PaperEndInfluent, 0xFF, 0x00, {F, F, F, F}},
      {TB::PaperOutMode, 2, 0, {"Waiting kept 0", "Waiting kept 0", "Waiting kept 0", "Waiting kept 0"}},
      {TB::PaperOutMode, 3, 0, {F, F, F, "No Waiting kept 0"}},
      {TB::PaperOutMode, 4, 6, {"fail kept 6", "fail kept 6", "fail kept 6", "fail kept 6"}},
      {TB::PaperOutMode, 0, 1, {"Retract kept 1", "Retract kept 1", "Retract kept 1", "Retract kept 1"}},
      {TB::DefaultInvert, 0, 7, {"Disable", "Disable", "Disable", "Disable"}},
      // Always accepted; a value that is no item selects none, never the
      // group's earlier item.
      {TB::DefaultInvert, 5, 0, {"-", "-", "-", "-"}},
      {TB::FrontWaterMark,
       0xFF,
       0x01,
       {"Enable Printing Enable Right x3 x3", "Enable Printing Enable Right x3 x3",
        "Enable Printing Enable Right x3 x3",
        "Enable Printing Enable Right x3 x3"}},  // alignment 3: the box keeps "Right"
      {TB::BackWaterMark,
       0xCB,
       0x01,
       {"Enable Printing Disable Center x2 x3", "Enable Printing Disable Center x2 x3",
        "Enable Printing Disable Center x2 x3", "Enable Printing Disable Center x2 x3"}},
      {TB::FeedLineInMark, 0xFE, 0xFF, {"65534", "65534", "65534", "65534"}},
      {TB::FeedLineInMark, 0xFF, 0xFF, {F, F, F, F}},
      {TB::PrintingSurface, 1, 0, {"Front", "Front", "Front", "Front"}},
      {TB::PrintingSurface, 3, 0, {"Double Side ", "Double Side ", "Double Side ", "Double Side "}},
      {TB::PrintingSurface, 0, 0, {F, F, F, F}},
      {TB::PrintingSurface, 4, 0, {F, F, F, F}},
      {TB::PrintingSurface, 1, 1, {F, F, F, F}},
  };
  for (const DecodeRow& row : rows) {
    for (size_t i = 0; i < 4; ++i) {
      SCOPED_TRACE(std::string(TwoBankInfoOf(row.setting).name) + " " + kProfiles[i]->name + " " +
                   std::to_string(row.lo) + " " + std::to_string(row.hi));
      EXPECT_EQ(Decode(row.setting, row.lo, row.hi, *kProfiles[i]), row.shown[i]);
    }
  }
}

namespace {

// The start state and edits a setter row changes: every value valid.
struct SetterInput {
  TwoBankState state;
  TwoBankEdits edits;
  TwoBankKeptBytes kept;
  SetterInput() {
    state.codePage = 0;
    edits.leftMargin = 2;
    edits.rightMargin = 2;
    edits.speed = 270;
    edits.head1 = edits.head2 = 68;
    edits.paperWidth = 80;
  }
};

using Change = std::function<void(SetterInput&)>;
using V = std::optional<uint16_t>;
constexpr std::nullopt_t R = std::nullopt;  // the setter refuses

struct EncodeRow {
  TB setting;
  const char* what;
  Change change;
  std::array<V, 4> value;  // VD-H738, VD-K466, VD-K772, VD-K9034
};

}  // namespace

TEST(TwoBankCodec, EncodeTable) {
  auto all = [](V v) { return std::array<V, 4>{v, v, v, v}; };
  const EncodeRow rows[] = {
      {TB::BaudRate, "4800", [](SetterInput& in) { in.state.baud = 0; }, all(4)},
      {TB::BaudRate, "115200", [](SetterInput& in) { in.state.baud = 5; }, all(7)},
      {TB::BaudRate, "none", [](SetterInput& in) { in.state.baud = -1; }, all(R)},
      {TB::FlowControl, "DTR/DSR", [](SetterInput& in) { in.state.flow = 0; }, all(0)},
      {TB::FlowControl, "none", [](SetterInput& in) { in.state.flow = -1; }, all(1)},
      {TB::DataStopBits, "7/2",
       [](SetterInput& in) {
         in.state.dataBits = 1;
         in.state.stopBits = 1;
       },
       all(0x0207)},
      {TB::DataStopBits, "8/1", [](SetterInput&) {}, all(0x0108)},
      {TB::Parity, "Even", [](SetterInput& in) { in.state.parity = 0; }, all(2)},
      {TB::Parity, "none", [](SetterInput& in) { in.state.parity = -1; }, all(R)},
      {TB::LeftMargin, "100", [](SetterInput& in) { in.edits.leftMargin = 100; }, all(100)},
      {TB::LeftMargin, "101", [](SetterInput& in) { in.edits.leftMargin = 101; }, all(R)},
      {TB::RightMargin, "-1", [](SetterInput& in) { in.edits.rightMargin = -1; }, all(R)},
      {TB::PrintSpeed, "50", [](SetterInput& in) { in.edits.speed = 50; }, all(50)},
      {TB::PrintSpeed, "49", [](SetterInput& in) { in.edits.speed = 49; }, all(R)},
      {TB::PrintSpeed, "351", [](SetterInput& in) { in.edits.speed = 351; }, all(R)},
      {TB::PrintDarkness, "254/0",
       [](SetterInput& in) {
         in.edits.head1 = 254;
         in.edits.head2 = 0;
       },
       all(0xFEFE)},
      {TB::PrintDarkness, "50/254",
       [](SetterInput& in) {
         in.edits.head1 = 50;
         in.edits.head2 = 254;
       },
       all(0xFE32)},
      {TB::PrintDarkness, "49/68", [](SetterInput& in) { in.edits.head1 = 49; }, all(R)},
      {TB::PrintDarkness, "68/49", [](SetterInput& in) { in.edits.head2 = 49; }, all(R)},
      {TB::PrintDarkness, "68/255", [](SetterInput& in) { in.edits.head2 = 255; }, all(R)},
      {TB::PaperType, "Mark/Label", [](SetterInput& in) { in.state.paperType = 1; }, all(1)},
      {TB::AutoCutter, "On", [](SetterInput&) {}, all(3)},
      {TB::AutoCutter, "Off", [](SetterInput& in) { in.state.autoCutter = 1; }, all(0)},
      {TB::CRCommand, "Disable", [](SetterInput& in) { in.state.cr = 0; }, all(0)},
      {TB::CodePage, "9/12",
       [](SetterInput& in) {
         in.state.codePage = 9;
         in.state.intlChar = 12;
       },
       all(0x0C09)},
      {TB::CodePage, "none", [](SetterInput& in) { in.state.codePage = -1; }, all(R)},
      {TB::CodePage, "0/13", [](SetterInput& in) { in.state.intlChar = 13; }, all(R)},
      {TB::PresenterWaitTime,
       "30, kept 5",
       [](SetterInput& in) {
         in.edits.waitTime = 30;
         in.kept.restractTime = 5;
       },
       {0x051E, 0x051E, 0x051E, 0x001E}},
      {TB::AutoLoadingTime, "800", [](SetterInput& in) { in.edits.autoTime = 800; }, all(800)},
      {TB::AutoLoadingSpeed, "125", [](SetterInput& in) { in.edits.autoSpeed = 125; }, all(125)},
      {TB::USBMode, "Class", [](SetterInput& in) { in.state.usbMode = 0; }, all(0)},
      {TB::USBMode, "none", [](SetterInput& in) { in.state.usbMode = -1; }, all(R)},
      {TB::CutPaperMode, "Full Cut, kept 7",
       [](SetterInput& in) {
         in.state.cutMode = 2;
         in.kept.cutModeHigh = 7;
       },
       all(0x0702)},
      {TB::CutPaperMode, "none", [](SetterInput& in) { in.state.cutMode = -1; }, all(R)},
      {TB::DataError, "Ignored", [](SetterInput& in) { in.state.dataError = 1; }, all(1)},
      {TB::RxBufferSize, "64KB", [](SetterInput& in) { in.state.bufferSize = 1; }, all(2)},
      {TB::PaperWidth, "80", [](SetterInput&) {}, all(80)},
      {TB::PaperWidth, "81", [](SetterInput& in) { in.edits.paperWidth = 81; }, {R, R, R, 81}},
      {TB::PaperWidth, "112", [](SetterInput& in) { in.edits.paperWidth = 112; }, {R, R, R, 112}},
      {TB::PaperWidth, "113", [](SetterInput& in) { in.edits.paperWidth = 113; }, all(R)},
      {TB::PaperEndInfluent, "255", [](SetterInput& in) { in.edits.paperEnd = 255; }, all(255)},
      {TB::PaperEndInfluent, "256", [](SetterInput& in) { in.edits.paperEnd = 256; }, all(R)},
      {TB::PaperOutMode, "Waiting, kept 6",
       [](SetterInput& in) {
         in.state.paperOutMode = 2;
         in.kept.paperOutMode = 6;
       },
       all(0x0102)},
      {TB::PaperOutMode, "No Waiting", [](SetterInput& in) { in.state.paperOutMode = 3; }, {R, R, R, 3}},
      {TB::DefaultInvert, "none", [](SetterInput& in) { in.state.defaultInvert = -1; }, all(R)},
      {TB::FrontWaterMark, "start values", [](SetterInput&) {}, all(0x0005)},
      {TB::FrontWaterMark, "alignment none", [](SetterInput& in) { in.state.front.alignment = -1; }, all(R)},
      {TB::FrontWaterMark, "print mode typed", [](SetterInput& in) { in.state.front.printMode = -1; },
       all(R)},
      {TB::BackWaterMark, "x4", [](SetterInput& in) { in.edits.backVertical = 4; }, all(R)},
      {TB::FeedLineInMark, "65535", [](SetterInput& in) { in.edits.feedLine = 65535; }, all(0xFFFF)},
      {TB::FeedLineInMark, "70000", [](SetterInput& in) { in.edits.feedLine = 70000; }, all(R)},
      {TB::PrintingSurface, "Front", [](SetterInput& in) { in.state.printingSurface = 0; }, all(1)},
      {TB::PrintingSurface, "Double Side", [](SetterInput&) {}, all(3)},
      {TB::PrintingSurface, "none", [](SetterInput& in) { in.state.printingSurface = -1; }, all(R)},
  };
  for (const EncodeRow& row : rows) {
    for (size_t i = 0; i < 4; ++i) {
      SCOPED_TRACE(std::string(TwoBankInfoOf(row.setting).name) + " " + row.what + " " + kProfiles[i]->name);
      SetterInput in;
      row.change(in);
      EXPECT_EQ(EncodeSetting(row.setting, *kProfiles[i], in.state, in.edits, in.kept), row.value[i]);
    }
  }
}

TEST(TwoBankCodec, SaveSkipsTheBufferSizeWithoutAnItem) {
  TwoBankState st;
  EXPECT_FALSE(SaveSkips(TB::RxBufferSize, st));
  st.bufferSize = -1;
  EXPECT_TRUE(SaveSkips(TB::RxBufferSize, st));
  EXPECT_FALSE(SaveSkips(TB::PaperWidth, st));
}

// A kept high byte goes out again with the next write of its setting, and a
// presenter wait read by the VD-K9034 editor does not keep one.
TEST(TwoBankCodec, KeptHighBytesGoBackOut) {
  SetterInput in;
  EXPECT_FALSE(DecodeReply(TB::CutPaperMode, 0x05, 0x07, H738Profile(), in.state, in.kept));
  EXPECT_EQ(in.kept.cutModeHigh, 7);
  EXPECT_EQ(EncodeSetting(TB::CutPaperMode, H738Profile(), in.state, in.edits, in.kept), 0x0700);

  in = SetterInput();
  ASSERT_TRUE(DecodeReply(TB::PresenterWaitTime, 0x1E, 0x05, K9034Profile(), in.state, in.kept));
  EXPECT_EQ(in.state.waitTime, "30");
  in.edits.waitTime = 30;
  EXPECT_EQ(EncodeSetting(TB::PresenterWaitTime, K9034Profile(), in.state, in.edits, in.kept), 0x001E);
  ASSERT_TRUE(DecodeReply(TB::PresenterWaitTime, 0x1E, 0x05, K772Profile(), in.state, in.kept));
  EXPECT_EQ(EncodeSetting(TB::PresenterWaitTime, K772Profile(), in.state, in.edits, in.kept), 0x051E);

  // Paper-out: any non-zero kept byte goes out as 1.
  in = SetterInput();
  EXPECT_FALSE(DecodeReply(TB::PaperOutMode, 0x07, 0x80, H738Profile(), in.state, in.kept));
  EXPECT_EQ(EncodeSetting(TB::PaperOutMode, H738Profile(), in.state, in.edits, in.kept), 0x0100);
}

TEST(TwoBankWaterMark, EveryFieldCombinationRoundTrips) {
  for (int enable = 0; enable <= 1; ++enable)
    for (int mode = 0; mode <= 1; ++mode)
      for (int inverted = 0; inverted <= 1; ++inverted)
        for (int alignment = 0; alignment <= 2; ++alignment)
          for (int h = 1; h <= 3; ++h)
            for (int v = 1; v <= 3; ++v) {
              const WaterMarkWord w{enable, mode, inverted, alignment, h, v};
              const auto word = EncodeWaterMark(w);
              ASSERT_TRUE(word);
              EXPECT_EQ(*word & 0xFE00, 0) << "hi bits 1-7 are written 0";
              EXPECT_EQ(DecodeWaterMark(*word & 0xFF, *word >> 8), w) << *word;
            }
  // x1 goes out as code 0, whether asked as 0 or 1.
  EXPECT_EQ(EncodeWaterMark({1, 0, 0, 0, 0, 0}), EncodeWaterMark({1, 0, 0, 0, 1, 1}));
  EXPECT_EQ(EncodeWaterMark({1, 1, 0, 1, 2, 3}), 0x01CB);
  EXPECT_EQ(DecodeWaterMark(0xCB, 0x01), (WaterMarkWord{1, 1, 0, 1, 2, 3}));
  // FF 01: alignment 3 is -1, both enlargements x3.
  EXPECT_EQ(DecodeWaterMark(0xFF, 0x01), (WaterMarkWord{1, 1, 1, -1, 3, 3}));
  // Only lo bit 7 reads as x1, only hi bit 0 as x2; horizontal code 1 as x1.
  EXPECT_EQ(DecodeWaterMark(0xA0, 0x00).vertical, 1);
  EXPECT_EQ(DecodeWaterMark(0xA0, 0x00).horizontal, 1);
  EXPECT_EQ(DecodeWaterMark(0x00, 0xFF).vertical, 2);
  for (const WaterMarkWord bad :
       {WaterMarkWord{2, 0, 0, 0, 1, 1}, WaterMarkWord{0, 2, 0, 0, 1, 1}, WaterMarkWord{0, 0, 2, 0, 1, 1},
        WaterMarkWord{0, 0, 0, 3, 1, 1}, WaterMarkWord{0, 0, 0, -1, 1, 1}, WaterMarkWord{0, 0, 0, 0, 4, 1},
        WaterMarkWord{0, 0, 0, 0, 1, -1}}) {
    EXPECT_FALSE(EncodeWaterMark(bad));
  }
}

TEST(TwoBankProfiles, ModelCodesAndTheirDifferences) {
  EXPECT_EQ(TwoBankProfileFor(18), &H738Profile());
  EXPECT_EQ(TwoBankProfileFor(17), &K466Profile());
  EXPECT_EQ(TwoBankProfileFor(11), &K772Profile());
  EXPECT_EQ(TwoBankProfileFor(16), &K772Profile());
  EXPECT_EQ(TwoBankProfileFor(13), &K9034Profile());
  for (int other : {-1, 0, 2, 12, 14, 19}) EXPECT_EQ(TwoBankProfileFor(other), nullptr);

  for (const TwoBankProfile* p : kProfiles) {
    SCOPED_TRACE(p->name);
    EXPECT_EQ(std::string(p->tag).size(), p == &K9034Profile() ? 10u : 9u);
    // 13 queued setters in every Save; the flushes: three, the VD-K9034 two.
    int queued = 0, flushes = 0;
    for (const TwoBankSaveStep& step : p->saveSteps) {
      if (step.flush)
        ++flushes;
      else if (TwoBankInfoOf(step.setting).queued && step.setting != TB::DefaultInvert)
        ++queued;
    }
    EXPECT_EQ(queued, 13);
    EXPECT_EQ(flushes, p == &K9034Profile() ? 2 : 3);
    // Every setting the editor exchanges has one row in Get and one in Save.
    for (const auto& info : TwoBankSettings()) {
      const bool exchanged = info.setting != TB::PrintingSurface || p->surfaceExchanged;
      int gets = 0, sets = 0;
      for (const TwoBankGetStep& g : p->getSteps) {
        gets += g.setting == info.setting;
        // The data error is read twice in a row, except by the VD-K9034 editor.
        if (g.setting == TB::DataError) {
          EXPECT_EQ(g.reads, p == &K9034Profile() ? 1 : 2);
        }
      }
      for (const TwoBankSaveStep& s : p->saveSteps) sets += !s.flush && s.setting == info.setting;
      EXPECT_EQ(gets, exchanged ? 1 : 0) << info.name;
      EXPECT_EQ(sets, exchanged ? 1 : 0) << info.name;
    }
  }
  EXPECT_EQ(K466Profile().exportOrder, H738Profile().exportOrder);
  EXPECT_TRUE(K466Profile().dialog.surfaceEnabled);
  EXPECT_FALSE(H738Profile().dialog.surfaceEnabled);
  EXPECT_EQ(K9034Profile().codePageItems[5], "PC856");
  EXPECT_EQ(H738Profile().codePageItems[5], "PC865");
  EXPECT_EQ(K9034Profile().paperOutItems().back(), "No Waiting");
  // Settle pauses: the right margin's comes before the request except in the
  // VD-K9034 editor, which also settles after the auto-cutter request.
  EXPECT_TRUE(H738Profile().settleOf(TB::RightMargin).beforeRequest);
  EXPECT_FALSE(K9034Profile().settleOf(TB::RightMargin).beforeRequest);
  EXPECT_EQ(H738Profile().settleOf(TB::AutoCutter).ms, 0);
  EXPECT_EQ(K9034Profile().settleOf(TB::AutoCutter).ms, 200);
}

namespace {

struct CheckRow {
  const char* what;
  std::function<void(TwoBankState&)> change;
  bool goesOn;
  std::vector<TwoBankEditMessage> messages;
};

TwoBankState Valid() {
  TwoBankState st;
  st.autoSpeed = "28";
  return st;
}

TwoBankEditMessage Plain(const char* en) { return {en, "", true}; }
TwoBankEditMessage Warn(const char* en, const char* cn) { return {en, cn, false}; }

void RunChecks(const TwoBankEditChecks& checks, const std::vector<CheckRow>& rows) {
  for (const CheckRow& row : rows) {
    SCOPED_TRACE(row.what);
    TwoBankState st = Valid();
    row.change(st);
    const TwoBankEditCheck r = CheckTwoBankEdits(st, checks);
    EXPECT_EQ(r.values.has_value(), row.goesOn);
    EXPECT_EQ(r.messages, row.messages);
  }
}

}  // namespace

TEST(TwoBankChecks, SaveChecksOfTheVDH738Family) {
  const TwoBankEditMessage darkness =
      Warn("The input of print darkness is invalid!", "“print darkness”非法输入！");
  const std::vector<CheckRow> rows = {
      {"valid", [](TwoBankState&) {}, true, {}},
      {"format",
       [](TwoBankState& s) { s.paperEnd = "x"; },
       false,
       {Warn("The input of format is invalid!", "非法输入！")}},
      {"left 101 goes on",
       [](TwoBankState& s) { s.leftMargin = "101"; },
       true,
       {Plain("The input of default left margin is invalid!")}},
      {"both margins, then the width stops",
       [](TwoBankState& s) {
         s.leftMargin = "-1";
         s.rightMargin = "101";
         s.paperWidth = "47";
       },
       false,
       {Plain("The input of default left margin is invalid!"),
        Plain("The input of default right margin is invalid!"),
        Warn("The input of PaperWidth is invalid!", "“PaperWidth”非法输入！")}},
      {"width 48", [](TwoBankState& s) { s.paperWidth = "48"; }, true, {}},
      {"width 81",
       [](TwoBankState& s) { s.paperWidth = "81"; },
       false,
       {Warn("The input of PaperWidth is invalid!", "“PaperWidth”非法输入！")}},
      {"speed 351",
       [](TwoBankState& s) { s.speed = "351"; },
       false,
       {Warn("The input of print speed is invalid!", "“print speed”非法输入！")}},
      {"head 2 of 0", [](TwoBankState& s) { s.head2 = "0"; }, false, {darkness}},
      {"head 1 of 255", [](TwoBankState& s) { s.head1 = "255"; }, false, {darkness}},
      {"wait 241",
       [](TwoBankState& s) { s.waitTime = "241"; },
       false,
       {Warn("The input of Presenter wait time is invalid!", "“Presenter wait time”非法输入！")}},
      {"auto time 801",
       [](TwoBankState& s) { s.autoTime = "801"; },
       false,
       {Warn("The input of auto loading time is invalid!", "“auto loading time”非法输入！")}},
      {"auto time -1",
       [](TwoBankState& s) { s.autoTime = "-1"; },
       false,
       {Warn("The input of auto loading time is invalid!", "“auto loading time”非法输入！")}},
      {"auto speed 27",
       [](TwoBankState& s) { s.autoSpeed = "27"; },
       false,
       {Warn("The input of auto loading speed is invalid!", "“auto loading speed”非法输入！")}},
      {"feed 65534", [](TwoBankState& s) { s.feedLine = "65534"; }, true, {}},
      {"feed 65535",
       [](TwoBankState& s) { s.feedLine = "65535"; },
       false,
       {Warn("The input of Feed Lines in mark mode is invalid!", "“Feed Lines in mark mode”非法输入！")}},
      {"feed 70000",
       [](TwoBankState& s) { s.feedLine = "70000"; },
       false,
       {Warn("The input of Feed Lines in mark mode is invalid!", "“Feed Lines in mark mode”非法输入！")}},
  };
  for (const TwoBankProfile* p : {&H738Profile(), &K466Profile(), &K772Profile()}) {
    SCOPED_TRACE(p->name);
    RunChecks(p->saveChecks, rows);
  }
}

TEST(TwoBankChecks, SaveChecksOfTheVDK9034) {
  const std::vector<CheckRow> rows = {
      {"width 112", [](TwoBankState& s) { s.paperWidth = "112"; }, true, {}},
      {"width 113",
       [](TwoBankState& s) { s.paperWidth = "113"; },
       false,
       {Warn("The input of PaperWidth is invalid!", "“PaperWidth”非法输入！")}},
      // Feed lines come before the wait time here.
      {"feed and wait",
       [](TwoBankState& s) {
         s.feedLine = "65535";
         s.waitTime = "241";
       },
       false,
       {Warn("The input of Feed Lines in Mark Mode is invalid!", "“ Feed Lines in Mark Mode”非法输入！")}},
  };
  RunChecks(K9034Profile().saveChecks, rows);
}

TEST(TwoBankChecks, ExportChecks) {
  const TwoBankEditMessage darkness1 =
      Warn("The input of print darkness1 is invalid!", "“print darkness”非法输入！");
  const std::vector<CheckRow> rows = {
      {"format",
       [](TwoBankState& s) { s.speed = ""; },
       false,
       {Warn("The input of format is invalid!", "输入非法！")}},
      {"left 101 stops",
       [](TwoBankState& s) {
         s.leftMargin = "101";
         s.rightMargin = "101";
       },
       false,
       {Plain("The input of default left margin is invalid!")}},
      {"width is not checked", [](TwoBankState& s) { s.paperWidth = "300"; }, true, {}},
      {"head 2 of 0", [](TwoBankState& s) { s.head2 = "0"; }, true, {}},
      {"head 2 of 49", [](TwoBankState& s) { s.head2 = "49"; }, false, {darkness1}},
      {"head 1 of 49", [](TwoBankState& s) { s.head1 = "49"; }, false, {darkness1}},
      {"auto time -1",
       [](TwoBankState& s) { s.autoTime = "-1"; },
       false,
       {Warn("The input of auto loading time is invalid!", "“auto loading time”非法输入！")}},
  };
  for (const TwoBankProfile* p : kProfiles) {
    SCOPED_TRACE(p->name);
    RunChecks(p->exportChecks, rows);
  }
  RunChecks(
      H738Profile().exportChecks,
      {{"feed",
        [](TwoBankState& s) { s.feedLine = "65535"; },
        false,
        {Warn("The input of Feed Lines in mark mode is invalid!", "“Feed Lines in mark mode”非法输入！")}}});
  RunChecks(
      K9034Profile().exportChecks,
      {{"feed",
        [](TwoBankState& s) { s.feedLine = "65535"; },
        false,
        {Warn("The input of Feed Lines in Mark Mode is invalid!", "“Feed Lines in Mark Mode”非法输入！")}}});
}
