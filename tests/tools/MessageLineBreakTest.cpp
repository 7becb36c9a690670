// The tools' two-line messages (Printer Infor, the A/D view, Check Mark) put
// LF before CR between their lines. The real box, shown and read while it is
// up, breaks the line once: no empty line between the two.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QTimer>

#include "gui/Messages.h"
#include "link/PortState.h"

namespace {

struct Shown {
  QString text;
  QImage picture;  // the box as the user sees it
};

// Shows the box as the tools do (no recorder), reads it while it is modal,
// then closes it.
Shown ShowAndRead(const QString& english, const QString& chinese) {
  Shown shown;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    shown.text = box->text();
    shown.picture = box->grab().toImage();
    box->accept();
  });
  poll.start(5);
  OutputError(english, chinese);
  return shown;
}

TEST(MessageLineBreak, LfCrBetweenTwoLinesIsOneBreak) {
  const char* english = "Fail to get the printer'information\n\rPlease check the communication between the printer and PC!";
  const char* chinese = "获取打印机信息失败\n\r请检查打印机通讯是否正常！";
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    const Shown shown = ShowAndRead(QString::fromUtf8(english), QString::fromUtf8(chinese));
    const QString want = Language == "English"
                             ? "Fail to get the printer'information\nPlease check the communication between the "
                               "printer and PC!"
                             : QString::fromUtf8("获取打印机信息失败\n请检查打印机通讯是否正常！");
    EXPECT_EQ(shown.text, want);
    EXPECT_FALSE(shown.picture.isNull());
    if (const char* out = getenv("TORVA_DOCS_SHOTS"))
      shown.picture.save(QString::fromUtf8(out) + "/message-" + language + ".png");
  }
  Language = "English";
}

TEST(MessageLineBreak, EveryPairAndLoneBreakIsOneBreak) {
  struct Case {
    const char* text;
    const char* shown;
  } cases[] = {
      {"A\n\rB", "A\nB"}, {"A\r\nB", "A\nB"},   {"\n\rEnable", "\nEnable"}, {"A\rB", "A\nB"},
      {"A\n\n\rB", "A\n\nB"}, {"A\n\r\n\rB", "A\n\nB"}, {"AB", "AB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(BoxText(QString::fromUtf8(c.text)), QString::fromUtf8(c.shown));
  }
}

}  // namespace
