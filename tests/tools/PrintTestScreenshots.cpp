// Screenshots of the console for the documentation, in both languages: a
// typed command sent, the printer's answers in the Receive box with Display
// on, and the Notice lines. Taken only when TORVA_DOCS_SHOTS names a folder.
#include "ConsoleFixture.h"

using consoletest::ConsoleTest;
using consoletest::WaitFor;

TEST_F(ConsoleTest, ScreenshotsInBothLanguages) {
  const QString folder = qEnvironmentVariable("TORVA_DOCS_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  UseSerial();
  PrinterName = ModelVDN512;
  sim.setSetting(0x06, 0x0096);
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    TPrintTestForm& c = Open();
    c.show();
    c.DisplayButtonClick();
    Send("1B 6A 06");
    ASSERT_TRUE(WaitFor([&] { return c.receiveText() == "96 00 "; }, 3000));
    c.FeedPaperButtonClick();
    sim.sendUnsolicited({0x12, 0x00, 0x0D, 0x0A});
    ASSERT_TRUE(WaitFor([&] { return c.receiveText() == "96 00 12 00 0D 0A "; }, 3000));
    Send("1B 40\n1D 28 41 02 00 02 02\n1D 56 42 10");
    c.SelfTestButtonClick();
    WaitFor([] { return false; }, 50);
    const QString file = folder + QStringLiteral("/console-%1.png").arg(Language == "English" ? "en" : "cn");
    ASSERT_TRUE(c.grab().save(file)) << file.toStdString();
    // Text mode: the printer's CR LF split between two reads is one line
    // break; a lone CR and a lone LF show their marks. A 40-byte file opened
    // in hex mode shows lines of sixteen pairs.
    c.ClearButton2Click();
    Box("HexFormatCheckBox1")->click();
    sim.sendUnsolicited({'A', 'B', 0x0D});
    ASSERT_TRUE(WaitFor([&] { return c.receiveText().startsWith("AB"); }, 3000));
    sim.sendUnsolicited({0x0A, 'C', 'D', 0x0D, 'E', 0x0A, 'F'});
    ASSERT_TRUE(WaitFor([&] { return c.receiveText().endsWith("F"); }, 3000));
    QByteArray forty;
    for (int i = 0; i < 40; ++i) forty.append(static_cast<char>(i));
    const QString prn = QString::fromStdString(dir) + "/forty.prn";
    ASSERT_TRUE(consoletest::WriteFile(prn, forty));
    {
      torva::gui::ScopedFileDialogs dialogs([&](const torva::gui::FileDialogRequest&) { return prn; });
      c.PrintFileButtonClick();
    }
    WaitFor([] { return false; }, 50);
    const QString text = folder + QStringLiteral("/console-text-%1.png").arg(Language == "English" ? "en" : "cn");
    ASSERT_TRUE(c.grab().save(text)) << text.toStdString();
    // A text file with LF line ends opened in text mode reads line by line,
    // each line ending in its LF mark; a line longer than the box goes on in
    // the next. The printer streams lines the same way.
    const QString lf = QString::fromStdString(dir) + "/receipt.txt";
    ASSERT_TRUE(consoletest::WriteFile(
        lf,
        QByteArray(
            "\x1b@TORVA TEST RECEIPT\nItem 1          2.50\nItem 2          4.00\n\nTotal           6.50\n") +
            QByteArray(200, '=') + "\n\x1dVB\x10"));
    Box("HexFormatCheckBox")->setChecked(false);
    {
      torva::gui::ScopedFileDialogs dialogs([&](const torva::gui::FileDialogRequest&) { return lf; });
      c.PrintFileButtonClick();
    }
    c.ClearButton2Click();
    sim.sendUnsolicited({'O', 'K', 0x0A, 'R', 'E', 'A', 'D', 'Y', 0x0A, 'L', 'I', 'N', 'E', ' ', '3', 0x0A});
    ASSERT_TRUE(WaitFor([&] { return c.receiveText().endsWith(QChar(0x240A)); }, 3000));
    WaitFor([] { return false; }, 50);
    const QString lfShot =
        folder + QStringLiteral("/console-lf-%1.png").arg(Language == "English" ? "en" : "cn");
    ASSERT_TRUE(c.grab().save(lfShot)) << lfShot.toStdString();
    c.ExitButtonClick();
  }
}
