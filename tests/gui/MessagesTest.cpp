// The message boxes as the user sees them: texts that carry a file name or
// what a printer answered are shown as they are, never as markup.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "CaptionCheck.h"
#include "gui/FileDialogs.h"
#include "gui/Messages.h"
#include "link/PortState.h"

namespace {

// A file name a user could be sent: markup that would draw a bold text and a
// line that looks like the console's own.
const QString kMarkupName = "/tmp/<b>X<br>Import settings successfully.pes";

struct Seen {
  bool shown = false;
  Qt::TextFormat format = Qt::AutoText;
  QString text;
  QString title;
  int width = 0;
};

// Runs `show`, which brings up a modal box; the box is looked at and closed
// from the event loop that shows it.
Seen Look(const std::function<void()>& show) {
  Seen seen;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    timer.stop();
    seen.shown = true;
    seen.format = box->textFormat();
    seen.text = box->text();
    seen.title = box->windowTitle();
    seen.width = box->width();
    const QByteArray shots = qgetenv("TORVA_SHOTS");
    if (!shots.isEmpty())
      box->grab().save(QString::fromLocal8Bit(shots) + "/message-box-" + QString::fromStdString(Language).toLower() +
                       ".png");
    box->accept();
  });
  timer.start(10);
  show();
  return seen;
}

}  // namespace

TEST(MessageBoxes, FileNamesAreShownAsPlainText) {
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    const Seen error = Look([] {
      OutputError("Fail to open file \"" + kMarkupName + "\"", QString::fromUtf8("打开文件“") + kMarkupName +
                                                                   QString::fromUtf8("”失败！"));
    });
    ASSERT_TRUE(error.shown);
    EXPECT_EQ(error.format, Qt::PlainText);
    EXPECT_TRUE(error.text.contains(kMarkupName));
    EXPECT_EQ(error.title, Language == "English" ? "Error" : QString::fromUtf8("错误"));
  }
  Language = "English";
  const Seen english = Look([] { ShowEnglishMessage(MessageKind::Error, "The data format in file \"" + kMarkupName +
                                                                            "\" is not normal!"); });
  ASSERT_TRUE(english.shown);
  EXPECT_EQ(english.format, Qt::PlainText);
  const Seen question = Look([] { torva::gui::AskWarningOkCancel("The data  in file \"" + kMarkupName + "\" is empty!"); });
  ASSERT_TRUE(question.shown);
  EXPECT_EQ(question.format, Qt::PlainText);
  ResetPortState();
}

// A box about a language switch speaks the language asked for, whatever the
// current one.
TEST(MessageBoxes, ShownInTheLanguageAsked) {
  Language = "English";
  MessageRecorder recorder;
  ShowMessageIn("Chinese", MessageKind::Error, "in English", QString::fromUtf8("中文"));
  ShowMessageIn("English", MessageKind::Warning, "in English", QString::fromUtf8("中文"));
  ASSERT_EQ(recorder.messages().size(), 2u);
  EXPECT_EQ(recorder.messages()[0].text, QString::fromUtf8("中文"));
  EXPECT_EQ(recorder.messages()[0].title, QString::fromUtf8("错误"));
  EXPECT_EQ(recorder.messages()[1].text, "in English");
  EXPECT_EQ(recorder.messages()[1].title, "Warning");
  ResetPortState();
}

// A box is wide enough for a window manager to show its whole title beside
// the window's icon and its three buttons, so a short message does not leave
// "提示 — T… onsole" or "Erro… ole" in the title bar. The title bar gets the
// title with the program's name after it (none after "TORVAConsole" itself),
// drawn in a bold face: the dialogs' shared check.
TEST(MessageBoxes, WideEnoughForTheirWholeTitle) {
  struct Row {
    const char* language;
    std::function<void()> show;
  };
  const Row rows[] = {
      {"English", [] { OutputError("Download failure!", QString::fromUtf8("下载失败！")); }},
      {"Chinese", [] { OutputError("Download failure!", QString::fromUtf8("下载失败！")); }},
      {"Chinese", [] { OutputInformation("Set AD value successfully!", QString::fromUtf8("设置AD值成功！")); }},
      {"Chinese",
       [] {
         ShowMessageTitled(MessageKind::Information, "Download Success!", QString::fromUtf8("下载成功！"),
                           QString::fromUtf8("提示"));
       }},
      {"English", [] { ShowEnglishMessage(MessageKind::Plain, "OK"); }},
  };
  for (const Row& row : rows) {
    Language = row.language;
    const Seen seen = Look(row.show);
    SCOPED_TRACE((QString::fromUtf8(row.language) + ": " + seen.title).toStdString());
    ASSERT_TRUE(seen.shown);
    EXPECT_GE(seen.width, torva::testing::TitleBarNeed(seen.title));
  }
  ResetPortState();
}

// A dialog that fixes its size from its layout (a vertical box, a grid) is as
// wide as its whole title needs once FitTitleBar has run, and no higher than
// its controls make it. Called again for another title (a language switch),
// it follows that title, narrower too. A dialog of placed controls and fixed
// size is widened itself and keeps its height.
TEST(DialogTitles, ADialogFitsItsTitleAndFollowsItsChange) {
  const QString title = "Analog / Digital Converter";
  const QString longer = "Analog / Digital Converter of the second printer head";
  struct Row {
    const char* layout;
    std::function<QLayout*(QWidget*)> make;
  };
  const Row rows[] = {
      {"vertical box", [](QWidget* d) { return new QVBoxLayout(d); }},
      {"grid", [](QWidget* d) { return new QGridLayout(d); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.layout);
    QDialog d;
    QLayout* layout = row.make(&d);
    layout->setSpacing(14);
    layout->addWidget(new QLabel("Value:"));
    layout->addWidget(new QPushButton("&OK"));
    d.setWindowTitle("AD");
    const QSize bare = d.minimumSizeHint();
    // As the dialogs do: the title, the fit, then the size fixed from the layout.
    auto fix = [&](const QString& t) {
      d.setWindowTitle(t);
      FitTitleBar(d);
      d.setFixedSize(d.minimumSizeHint());
    };
    fix(title);
    EXPECT_GE(d.width(), torva::testing::TitleBarNeed(title));
    EXPECT_EQ(d.height(), bare.height()) << "the strut has no height and takes no spacing";
    fix(longer);
    EXPECT_GE(d.width(), torva::testing::TitleBarNeed(longer));
    const int count = layout->count();
    fix(title);
    EXPECT_EQ(layout->count(), count) << "one strut, resized";
    EXPECT_GE(d.width(), torva::testing::TitleBarNeed(title));
    EXPECT_LT(d.width(), torva::testing::TitleBarNeed(longer)) << "narrower again for the shorter title";
  }

  QDialog placed;
  (new QPushButton("&OK", &placed))->setGeometry(10, 10, 80, 24);
  placed.setFixedSize(200, 100);
  placed.setWindowTitle(title);
  FitTitleBar(placed);
  EXPECT_GE(placed.width(), torva::testing::TitleBarNeed(title));
  EXPECT_EQ(placed.height(), 100);
  EXPECT_EQ(placed.minimumSize(), placed.maximumSize()) << "still a fixed size";
}
