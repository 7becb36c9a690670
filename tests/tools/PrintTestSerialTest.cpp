// The console end to end on the serial port: the real dialog, offscreen,
// with the simulated printer on a pseudo-terminal.
#include <QCheckBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <QGlyphRun>
#include <QMenu>
#include <QRawFont>
#include <QTextLayout>
#include <gmock/gmock.h>

#include "CaptionCheck.h"
#include "ConsoleFixture.h"
#include "link/COMUnit.h"
#include "link/SerialIo.h"
#include "tools/ConsoleCodec.h"
#include "tools/ConsoleCommands.h"

using consoletest::Bytes;
using consoletest::ConsoleTest;
using consoletest::WaitFor;
using torva::tools::bDisplay;

TEST_F(ConsoleTest, HexSendWritesExactlyTheBytesWithTheLongWriteTimeOut) {
  UseSerial();
  TPrintTestForm& c = Open();
  ASSERT_GT(ComParameter.m_hdev, 0);  // held from the opening
  EXPECT_TRUE(Notice().isEmpty());
  EXPECT_EQ(SerialWriteTimeoutMs(ComParameter.m_hdev, 1), 3000);
  Send("1b 40\n0a 1D 56 42 10");
  EXPECT_TRUE(Received({0x1B, 0x40, 0x0A, 0x1D, 0x56, 0x42, 0x10}));
  EXPECT_EQ(Notice(), QStringList{"Execute command successfully!"});
  // From a hex Send on, the open port's writes may take 30 s.
  EXPECT_EQ(SerialWriteTimeoutMs(ComParameter.m_hdev, 1), 30000);
  EXPECT_EQ(SerialWriteTimeoutMs(ComParameter.m_hdev, 1000), 30000);
  EXPECT_FALSE(c.reader().running());  // the serial port is read by Display only
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(ConsoleTest, TextSendUsesTheNotationAndKeepsTheTimeOut) {
  UseSerial();
  Open();
  Send("ANULLB", false);
  EXPECT_TRUE(Received({0x41, 0x00, 0x42}));
  EXPECT_EQ(SerialWriteTimeoutMs(ComParameter.m_hdev, 1), 3000);
  sim.clearLog();
  // Enter is CR LF; a lone CR symbol is its byte; Latin-1 is one byte each.
  Send(QString::fromUtf8("A\nB\u240D\u00E9"), false);
  EXPECT_TRUE(Received({0x41, 0x0D, 0x0A, 0x42, 0x0D, 0xE9}));
  EXPECT_EQ(Notice().size(), 2);
}

// Nothing to write: nothing is sent and nothing is reported.
TEST_F(ConsoleTest, SendWithNothingToWriteSaysNothing) {
  UseSerial();
  Open();
  struct Case {
    const char* text;
    bool hex;
  } cases[] = {{"", true}, {"   ", true}, {"0", true}, {" 0 ", true}, {"\n\n", true}, {"4", true}, {"", false}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    Send(k.text, k.hex);
  }
  // Something that is sent afterwards arrives alone.
  Send("0A");
  EXPECT_TRUE(Received({0x0A}));
  EXPECT_EQ(Notice(), QStringList{"Execute command successfully!"});
}

// A character the mode has no byte for: the Send is refused with the data
// format line, in the current language, and nothing is written.
TEST_F(ConsoleTest, SendRefusesWhatIsNotHexOrNotation) {
  UseSerial();
  Open();
  Send("1B 4G");
  Send("41\t42");
  Send(QString::fromUtf8("打印"), false);
  Language = "Chinese";
  Send("zz");
  EXPECT_EQ(Notice(), (QStringList{"Data format error!", "Data format error!", "Data format error!",
                                   QString::fromUtf8("输入含有非法字符！")}));
  WaitFor([] { return false; }, 100);
  EXPECT_TRUE(sim.receivedBytes().empty());
}

TEST_F(ConsoleTest, DisplayShowsWhatThePrinterSendsInBothModes) {
  UseSerial();
  TPrintTestForm& c = Open();
  EXPECT_TRUE(Button("DisplayButton")->isEnabled());
  c.DisplayButtonClick();
  EXPECT_EQ(Button("DisplayButton")->text(), "S&top");
  EXPECT_TRUE(bDisplay);
  sim.sendUnsolicited({0x12, 0x34});
  EXPECT_TRUE(WaitFor([&] { return c.receiveText() == "12 34 "; }, 3000)) << c.receiveText().toStdString();
  // Text mode: a data read shows up to its first 00.
  Box("HexFormatCheckBox1")->click();
  EXPECT_EQ(c.receiveText(), QString::fromUtf8("\u00124"));
  c.ClearButton2Click();
  sim.sendUnsolicited({0x41, 0x00, 0x42});
  EXPECT_TRUE(WaitFor([&] { return c.receiveText() == "A"; }, 3000)) << c.receiveText().toStdString();
  // A reply to a typed command arrives while Display is on.
  c.ClearButton2Click();
  Box("HexFormatCheckBox1")->click();
  sim.setSetting(0x04, 0x3412);
  Send("1B 6A 04");
  EXPECT_TRUE(WaitFor([&] { return c.receiveText() == "12 34 "; }, 3000)) << c.receiveText().toStdString();
  // Stop: the reader ends at once.
  c.DisplayButtonClick();
  EXPECT_EQ(Button("DisplayButton")->text(), "&Display");
  EXPECT_FALSE(bDisplay);
  EXPECT_FALSE(c.reader().running());
  EXPECT_EQ(torva::tools::TGetBufThread::LiveThreads(), 0);
}

// Received text is added at the end, never at the caret or over a selection.
TEST_F(ConsoleTest, ReceivedTextGoesToTheEnd) {
  UseSerial();
  TPrintTestForm& c = Open();
  c.DisplayButtonClick();
  sim.sendUnsolicited({0x01});
  ASSERT_TRUE(WaitFor([&] { return c.receiveText() == "01 "; }, 3000));
  QTextCursor cursor = Memo("ReceiveMemo")->textCursor();
  cursor.setPosition(0);
  cursor.setPosition(2, QTextCursor::KeepAnchor);  // "01" selected
  Memo("ReceiveMemo")->setTextCursor(cursor);
  sim.sendUnsolicited({0x02});
  ASSERT_TRUE(WaitFor([&] { return c.receiveText() == "01 02 "; }, 3000)) << c.receiveText().toStdString();
  EXPECT_EQ(Memo("ReceiveMemo")->textCursor().selectedText(), "01");
}

TEST_F(ConsoleTest, FixedCommandsSendTheirBytesAndReportInBothLanguages) {
  UseSerial();
  PrinterName = ModelVDN512;  // every button enabled
  TPrintTestForm& c = Open();
  struct Case {
    void (TPrintTestForm::*handler)();
    Bytes bytes;
    const char* log;
    const char* english;
    const char* chinese;
  } cases[] = {
      {&TPrintTestForm::PrinterResetButtonClick, {0x10, 0x04, 0x0A}, "ResetPrinter", "Reset printer Successfully!",
       "复位指令发送成功！"},
      {&TPrintTestForm::ClearButtonClick, {0x10, 0x04, 0x0B}, "ClearError", "Clear Error Successfully!",
       "排错指令发送成功！"},
      {&TPrintTestForm::CutButtonClick, {0x1D, 0x56, 0x42, 0x10}, "CutPaper", "Cut paper successfully!",
       "切纸指令发送成功！"},
      {&TPrintTestForm::FeedPaperButtonClick, {0x0A}, "FeedLine", "Feed paper successfully!", "进纸指令发送成功！"},
      {&TPrintTestForm::SelfTestButtonClick, {0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x02}, "SelfTest",
       "Print self-test Successfully!", "打印自检页指令发送成功！"},
      {&TPrintTestForm::BundlerPresentMenuClick, {0x1B, 0x63, 0x5B}, "BundlerPresent",
       "Bundler presents papers successfully!", "容纸器吐纸指令发送成功！"},
      {&TPrintTestForm::BundlerRetractMenuClick, {0x1B, 0x63, 0x5C}, "BundlerRetract",
       "Bundler retracts papers successfully!", "容纸器回收指令发送成功！"},
  };
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const Case& k : cases) {
      SCOPED_TRACE(std::string(language) + " " + k.log);
      sim.clearLog();
      (c.*k.handler)();
      EXPECT_TRUE(Received(k.bytes));
      EXPECT_EQ(sim.log().size(), 1u);
      if (!sim.log().empty()) {
        EXPECT_EQ(sim.log()[0].name, k.log);
      }
      EXPECT_EQ(Notice().last().toStdString(), Language == "English" ? k.english : k.chinese);
    }
  }
  // The Bundler button's menu holds the two commands and the wait time.
  ASSERT_EQ(c.BundlerControlMenu->actions().size(), 3);
  EXPECT_EQ(c.BundlerControlMenu->actions()[2], c.BundlerlatencytimeMenu);
  c.BundlerControlMenu->actions()[1]->trigger();
  EXPECT_EQ(Notice().last(), QString::fromUtf8("容纸器回收指令发送成功！"));
}

TEST_F(ConsoleTest, ButtonsFollowTheModel) {
  struct Case {
    int model;
    bool bundler, selfTest, cut, clear;
  } cases[] = {
      {ModelVDN512, true, true, true, true},      {ModelRWK201E, false, false, true, true},
      {ModelRWK305GII, false, true, false, false}, {ModelVDM512II, false, true, true, true},
      {ModelVDK773, false, true, true, true},     {ModelVDH738, false, true, true, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.model);
    PrinterName = k.model;
    Open();
    EXPECT_EQ(Button("BundlerButton")->isEnabled(), k.bundler);
    EXPECT_EQ(Button("SelfTestButton")->isEnabled(), k.selfTest);
    EXPECT_EQ(Button("CutButton")->isEnabled(), k.cut);
    EXPECT_EQ(Button("ClearButton")->isEnabled(), k.clear);
    EXPECT_TRUE(Button("PrinterResetButton")->isEnabled());
    EXPECT_TRUE(Button("FeedPaperButton")->isEnabled());
  }
}

// A port someone else holds: the opening's line, and each write's.
TEST_F(ConsoleTest, AHeldPortGivesTheOpeningLineAndWriteFailures) {
  UseSerial();
  const int other = OpenCOM(ComParameter.Name, 38400, 8, 1, "DTR/DSR", "None");
  ASSERT_GT(other, 0);
  const QString name = QString::fromStdString(ComParameter.Name);
  Open();
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_EQ(Notice(), QStringList{"Can't open " + name + " port"});
  Send("0A");
  Button("FeedPaperButton")->click();
  Language = "Chinese";
  Send("0A");
  EXPECT_EQ(Notice(), (QStringList{"Can't open " + name + " port", "Write " + name + " port error!",
                                   "Write " + name + " port error!",
                                   QString::fromUtf8("端口 ") + name + QString::fromUtf8(" 发送数据失败！")}));
  CloseCOM(other);
  Language = "Chinese";
  Open();  // a second console, now that the port is free
  EXPECT_GT(ComParameter.m_hdev, 0);
  EXPECT_TRUE(Notice().isEmpty());
}

TEST_F(ConsoleTest, ExitStopsTheReaderThenClosesThePort) {
  UseSerial();
  TPrintTestForm& c = Open();
  c.DisplayButtonClick();
  sim.sendUnsolicited({0x01});
  ASSERT_TRUE(WaitFor([&] { return c.receiveText() == "01 "; }, 3000));
  Button("ExitButton")->click();
  EXPECT_EQ(c.result(), QDialog::Rejected);
  EXPECT_TRUE(c.portClosed());
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_FALSE(bDisplay);
  EXPECT_EQ(torva::tools::TGetBufThread::LiveThreads(), 0);
  sim.sendUnsolicited({0x02});
  WaitFor([] { return false; }, 200);
  EXPECT_EQ(c.receiveText(), "01 ");  // nothing after the close
  // The port is free for the next action.
  const int again = OpenCOM(ComParameter.Name, 38400, 8, 1, "DTR/DSR", "None");
  EXPECT_GT(again, 0);
  CloseCOM(again);
}

// The close box and Esc end the console as Exit does.
TEST_F(ConsoleTest, CloseBoxAndEscapeCloseThePortToo) {
  UseSerial();
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "close box" : "Esc");
    TPrintTestForm& c = Open();
    c.show();
    c.DisplayButtonClick();
    if (way == 0) {
      c.close();
    } else {
      QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(Memo("CommandCombo"), &esc);
    }
    EXPECT_FALSE(c.isVisible());
    EXPECT_TRUE(c.portClosed());
    EXPECT_EQ(ComParameter.m_hdev, -1);
    EXPECT_FALSE(bDisplay);
    EXPECT_FALSE(c.reader().running());
  }
}

TEST_F(ConsoleTest, CaptionsInBothLanguagesFitTheirControls) {
  UseSerial();
  PrinterName = ModelVDN512;
  struct Lang {
    const char* language;
    const char* title;
    const char* send;
    const char* present;
  } langs[] = {{"English", "User Command", "&Send", "Present"}, {"Chinese", "用户指令", "发送(&S)", "吐纸"}};
  for (const Lang& l : langs) {
    SCOPED_TRACE(l.language);
    Language = l.language;
    TPrintTestForm& c = Open();
    EXPECT_EQ(c.windowTitle(), QString::fromUtf8(l.title));
    EXPECT_EQ(Button("ExcuteCommandButton")->text(), QString::fromUtf8(l.send));
    EXPECT_EQ(c.BundlerPresentMenu->text(), QString::fromUtf8(l.present));
    EXPECT_EQ(c.font().family(), DialogFont().family());
    EXPECT_GE(c.width(), 628);
    EXPECT_GE(c.height(), 361);
    EXPECT_THAT(torva::testing::CaptionProblems(&c), ::testing::IsEmpty());
    c.DisplayButtonClick();  // "Stop" fits where "Display" did
    EXPECT_THAT(torva::testing::CaptionProblems(&c), ::testing::IsEmpty());
    c.DisplayButtonClick();
  }
}

// In hex mode the Input takes hex digits, space, Backspace, Enter and the
// clipboard keys; any other key beeps and is dropped. Text mode takes all.
TEST_F(ConsoleTest, HexModeKeyFilter) {
  Open();
  auto type = [&](int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(Memo("CommandCombo"), &press);
  };
  type(Qt::Key_1, "1");
  type(Qt::Key_B, "b");
  type(Qt::Key_G, "g");
  type(Qt::Key_Space, " ");
  type(Qt::Key_Percent, "%");
  type(Qt::Key_A, "\x01", Qt::ControlModifier);  // Ctrl+A is not one of the passed keys
  type(Qt::Key_F, "F");
  EXPECT_EQ(console->inputText(), "1b F");
  type(Qt::Key_Backspace, "\b");
  EXPECT_EQ(console->inputText(), "1b ");
  Box("HexFormatCheckBox")->click();  // text mode: "1b " becomes its bytes as text
  ASSERT_FALSE(Box("HexFormatCheckBox")->isChecked());
  type(Qt::Key_G, "g");
  EXPECT_EQ(console->inputText(), QString::fromUtf8("\u001Bg"));
}

TEST_F(ConsoleTest, InputModeConversions) {
  Open();
  QCheckBox* hex = Box("HexFormatCheckBox");
  struct Step {
    const char* before;
    bool toHex;
    const char* after;
    bool refused;
  } steps[] = {
      {"AB", true, "41 42 ", false},
      {"41 00 42", false, "ANULLB", false},
      {"ANULLB", true, "41 00 42 ", false},
      {"4G", false, "4G", true},
      {"41\n42", false, "AB", false},
      {"0D 0A 0D 41 0A", false, "\n\u240DA\u240A", false},
      {"\n\u240DA\u240A", true, "0D 0A 0D 41 0A ", false},
      {"打印", true, "打印", true},
      {"A\u00A0B", true, "41 A0 42 ", false},  // the no-break space is its byte
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.before);
    hex->setChecked(!s.toHex);
    console->setInputText(QString::fromUtf8(s.before));
    const int lines = Notice().size();
    hex->click();
    EXPECT_EQ(console->inputText(), QString::fromUtf8(s.after));
    EXPECT_EQ(hex->isChecked(), s.refused ? !s.toHex : s.toHex);
    EXPECT_EQ(Notice().size(), lines + (s.refused ? 1 : 0));
    if (s.refused) {
      EXPECT_EQ(Notice().last(), "Data format error!");
    }
  }
}

TEST_F(ConsoleTest, ReceiveModeConversions) {
  UseSerial();
  TPrintTestForm& c = Open();
  c.DisplayButtonClick();
  sim.sendUnsolicited({0x41, 0x00, 0x0D, 0x0A, 0x42});
  ASSERT_TRUE(WaitFor([&] { return c.receiveText() == "41 00 0D 0A 42 "; }, 3000));
  Box("HexFormatCheckBox1")->click();
  EXPECT_EQ(c.receiveText(), "ANULL\nB");
  Box("HexFormatCheckBox1")->click();
  EXPECT_EQ(c.receiveText(), "41 00 0D 0A 42 ");
}

// The printer's CR LF split between two reads of the Display reader: the
// Receive box shows one line break, not a lone CR and a lone LF.
TEST_F(ConsoleTest, ACrLfSplitBetweenTwoReadsShowsOneLineBreak) {
  UseSerial();
  TPrintTestForm& c = Open();
  Box("HexFormatCheckBox1")->click();  // text mode
  c.DisplayButtonClick();
  sim.sendUnsolicited({'A', 'B', 0x0D});
  // The first read has been shown once "AB" is there (the CR is not decided yet).
  ASSERT_TRUE(WaitFor([&] { return c.receiveText().startsWith("AB"); }, 3000)) << c.receiveText().toStdString();
  sim.sendUnsolicited({0x0A, 'C', 'D'});
  ASSERT_TRUE(WaitFor([&] { return c.receiveText().endsWith("CD"); }, 3000)) << c.receiveText().toStdString();
  EXPECT_EQ(c.receiveText(), "AB\nCD");
  // A CR the printer ends on shows as a lone CR once Display stops.
  sim.sendUnsolicited({'E', 0x0D});
  ASSERT_TRUE(WaitFor([&] { return c.receiveText().endsWith("E"); }, 3000)) << c.receiveText().toStdString();
  c.DisplayButtonClick();
  ASSERT_TRUE(ReaderDone());
  EXPECT_EQ(c.receiveText(), QString::fromUtf8("AB\nCDE\u240D"));
  // And the bytes round-trip: back to hex, the printer's bytes exactly.
  Box("HexFormatCheckBox1")->click();
  EXPECT_EQ(c.receiveText(), "41 42 0D 0A 43 44 45 0D ");
}

// The Receive box switches its mode while the Display reader goes on: what
// the printer sends meanwhile is added to the converted box, in its new mode
// and in order, and a CR held back for the next read still pairs with the LF
// that follows it across the switch.
TEST_F(ConsoleTest, WhatArrivesWhileTheReceiveBoxSwitchesItsModeIsKept) {
  UseSerial();
  TPrintTestForm& c = Open();
  QCheckBox* hex = Box("HexFormatCheckBox1");
  // Counts the reads the reader hands to the console (queued calls to it).
  struct Handed : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::MetaCall) ++count;
      return false;
    }
  } handed;
  c.installEventFilter(&handed);
  c.DisplayButtonClick();
  struct Case {
    const char* what;
    bool toHex;
    Bytes before;  // shown before the switch
    Bytes during;  // arrives while the box converts
    const char* shownBefore;
    const char* shownAfter;
  } cases[] = {
      {"text to hex", true, {'A', 'B'}, {'C', 'D'}, "AB", "41 42 43 44 "},
      {"hex to text", false, {'A', 'B'}, {'C', 'D'}, "41 42 ", "ABCD"},
      {"text to hex, a CR held", true, {'A', 'B', 0x0D}, {0x0A, 'C', 'D'}, "AB", "41 42 0D 0A 43 44 "},
      {"hex to text, a CR at the end", false, {'A', 'B', 0x0D}, {0x0A, 'C', 'D'}, "41 42 0D ", "AB\nCD"},
      {"hex to text, no LF after the CR", false, {'A', 'B', 0x0D}, {'C', 'D'}, "41 42 0D ", "AB\u240DCD"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    c.ClearButton2Click();
    hex->setChecked(!k.toHex);
    sim.sendUnsolicited(k.before);
    ASSERT_TRUE(WaitFor([&] { return c.receiveText() == k.shownBefore; }, 3000)) << c.receiveText().toStdString();
    // Due at once, so it runs while the box converts, before the converted
    // text is put in: the printer talks, and the console is handed the read.
    bool handedDuring = false;
    QTimer::singleShot(0, [&] {
      const int seen = handed.count;
      sim.sendUnsolicited(k.during);
      handedDuring = WaitFor([&] { return handed.count > seen; }, 3000);
    });
    hex->click();
    EXPECT_TRUE(handedDuring);
    EXPECT_EQ(hex->isChecked(), k.toHex);
    const QString want = QString::fromUtf8(k.shownAfter);
    EXPECT_TRUE(WaitFor([&] { return c.receiveText() == want; }, 3000)) << c.receiveText().toStdString();
  }
  c.DisplayButtonClick();
  ASSERT_TRUE(ReaderDone());
  c.removeEventFilter(&handed);
}

// A lone CR and a lone LF are shown as their marks, and the boxes' font has
// a glyph for each (not the same empty box for both), in both languages.
TEST_F(ConsoleTest, LoneCrAndLoneLfShowAsTwoDistinctMarks) {
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    Open();
    for (const char* box : {"ReceiveMemo", "CommandCombo"}) {
      SCOPED_TRACE(box);
      QTextLayout layout(QString(QChar(torva::tools::kLoneCrSymbol)) + QChar(torva::tools::kLoneLfSymbol),
                         Memo(box)->font());
      layout.beginLayout();
      layout.createLine();
      layout.endLayout();
      std::vector<std::pair<QString, quint32>> glyphs;  // font family and glyph of each mark
      for (const QGlyphRun& run : layout.glyphRuns())
        for (quint32 g : run.glyphIndexes()) glyphs.emplace_back(run.rawFont().familyName(), g);
      ASSERT_EQ(glyphs.size(), 2u);
      for (const auto& g : glyphs) EXPECT_NE(g.second, 0u) << g.first.toStdString() << " has no glyph for the mark";
      EXPECT_NE(glyphs[0], glyphs[1]);
    }
  }
}

namespace {
// A serial write held until the test lets it go (or 3 s have passed, so a
// window that cannot answer fails the test instead of hanging it).
std::mutex gHoldMu;
std::condition_variable gHoldCv;
bool gHolding = false;
bool gHoldReleased = false;
ssize_t HeldWrite(int fd, const void* data, size_t n) {
  {
    std::unique_lock<std::mutex> lock(gHoldMu);
    gHolding = true;
    gHoldCv.notify_all();
    gHoldCv.wait_for(lock, std::chrono::seconds(3), [] { return gHoldReleased; });
    gHolding = false;
  }
  return RealSerialCalls().write(fd, data, n);
}
bool Holding() {
  std::lock_guard<std::mutex> lock(gHoldMu);
  return gHolding;
}
void ReleaseHold() {
  std::lock_guard<std::mutex> lock(gHoldMu);
  gHoldReleased = true;
  gHoldCv.notify_all();
}
}  // namespace

// While Send or a fixed command waits for the printer, the window keeps
// painting (its timers run, a repaint goes through) and what the user does
// meanwhile (a key, a click on another command) is dropped.
TEST_F(ConsoleTest, SendAndFixedCommandsKeepTheWindowPaintingWhileTheyWrite) {
  UseSerial();
  TPrintTestForm& c = Open();
  c.show();
  SerialCalls calls = SerialTermiosCalls();
  calls.write = HeldWrite;
  ScopedSerialCalls held(calls);
  Box("HexFormatCheckBox")->setChecked(true);
  c.setInputText("1B 40");
  struct Road {
    const char* what;
    std::function<void()> act;
    Bytes bytes;
  } roads[] = {
      {"Send", [&] { c.ExcuteCommandButtonClick(); }, {0x1B, 0x40}},
      {"Feed Paper", [&] { c.FeedPaperButtonClick(); }, {0x0A}},
  };
  for (const Road& road : roads) {
    SCOPED_TRACE(road.what);
    sim.clearLog();
    {
      std::lock_guard<std::mutex> lock(gHoldMu);
      gHoldReleased = false;
    }
    const QString input = c.inputText();
    const int lines = Notice().size();
    int ticksWhileHeld = 0;
    int paintsWhileHeld = 0;
    struct PaintCounter : QObject {
      int* count;
      bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && Holding()) ++*count;
        return false;
      }
    } counter;
    counter.count = &paintsWhileHeld;
    Memo("OutputInfor")->viewport()->installEventFilter(&counter);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      if (!Holding()) return;
      ++ticksWhileHeld;
      if (ticksWhileHeld == 2) {
        // The user types and clicks meanwhile.
        QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        QApplication::sendEvent(Memo("CommandCombo"), &key);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(Button("CutButton"), &press);
        QApplication::sendEvent(Button("CutButton"), &release);
        Memo("OutputInfor")->viewport()->update();
      }
      if (ticksWhileHeld >= 5 && paintsWhileHeld > 0) ReleaseHold();
    });
    tick.start(20);
    road.act();
    tick.stop();
    Memo("OutputInfor")->viewport()->removeEventFilter(&counter);
    EXPECT_GE(ticksWhileHeld, 5);
    EXPECT_GT(paintsWhileHeld, 0);
    EXPECT_EQ(c.inputText(), input);  // the key was dropped
    EXPECT_EQ(Notice().size(), lines + 1);
    EXPECT_TRUE(Received(road.bytes));
  }
}

// A printer that stops answering (the line hangs up): one Notice line, the
// Display toggle left to the user, who stops it with the button.
TEST_F(ConsoleTest, ALostLineEndsDisplayWithOneLine) {
  UseSerial();
  Language = "Chinese";
  TPrintTestForm& c = Open();
  c.DisplayButtonClick();
  sim.hangUp();
  ASSERT_TRUE(ReaderDone());
  EXPECT_EQ(Notice(), QStringList{QString::fromUtf8("获取数据失败")});
  EXPECT_EQ(Button("DisplayButton")->text(), QString::fromUtf8("停止(&T)"));
  c.DisplayButtonClick();
  EXPECT_EQ(Button("DisplayButton")->text(), QString::fromUtf8("显示(&D)"));
  EXPECT_FALSE(bDisplay);
}

// Display pressed a hundred times while the printer talks: one reader at
// most, every byte shown once and in order.
TEST_F(ConsoleTest, HundredDisplayTogglesKeepOneReader) {
  UseSerial();
  TPrintTestForm& c = Open();
  Bytes sent;
  for (int i = 0; i < 100; ++i) {
    Button("DisplayButton")->click();
    ASSERT_LE(torva::tools::TGetBufThread::LiveThreads(), 1);
    if (i % 10 == 0) {
      const uint8_t b = static_cast<uint8_t>(i);
      sim.sendUnsolicited({b});
      sent.push_back(b);
    }
  }
  ASSERT_FALSE(bDisplay);  // an even number of presses
  c.DisplayButtonClick();
  const QString want = QString::fromUtf16(torva::tools::HexDump(sent).c_str());
  EXPECT_TRUE(WaitFor([&] { return c.receiveText() == want; }, 5000)) << c.receiveText().toStdString();
  c.DisplayButtonClick();
  EXPECT_EQ(torva::tools::TGetBufThread::LiveThreads(), 0);
}
