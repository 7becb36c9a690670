// Screenshots of Check Mark (full layout after a calibration, group H after
// its command, group J) and of the A/D view polling, in both languages, for
// the documentation. Taken only when TORVA_DOCS_SHOTS names a folder.
#include <QLineEdit>

#include "ServiceToolFixture.h"
#include "tools/ADConverter.h"
#include "tools/CheckMark.h"

using tooltest::ServiceToolTest;
using tooltest::WaitFor;

namespace {

QString Folder() { return qEnvironmentVariable("TORVA_DOCS_SHOTS"); }
QString Suffix() { return Language == "English" ? "en" : "cn"; }

}  // namespace

TEST_F(ServiceToolTest, CheckMarkScreenshotsInBothLanguages) {
  if (Folder().isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  struct Shot {
    int model;
    const char* name;
    bool calibrate;
  } shots[] = {{0, "full", true}, {11, "h", true}, {18, "j", false}};
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const Shot& s : shots) {
      sim.stop();
      UseSerial(s.model);
      sim.setSetting(0x12, 1);
      sim.setSetting(0x39, 0x66);
      sim.setSetting(0x20, 0x66);
      TCheckmarkForm d;
      d.show();
      if (s.calibrate) d.CheckMarkClick();
      WaitFor([] { return false; }, 50);
      const QString file = Folder() + QStringLiteral("/checkmark-%1-%2.png").arg(s.name, Suffix());
      ASSERT_TRUE(d.grab().save(file)) << file.toStdString();
    }
  }
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(ServiceToolTest, ADConverterScreenshotsInBothLanguages) {
  if (Folder().isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  UseSerial(2);
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    TADConverterForm v;
    v.SetPollIntervalForTests(50);
    v.show();
    v.StartButtonClick();
    ASSERT_TRUE(WaitFor([&] { return v.Edit(0)->text() == "3.287"; }, 5000));
    const QString file = Folder() + QStringLiteral("/adconverter-%1.png").arg(Suffix());
    ASSERT_TRUE(v.grab().save(file)) << file.toStdString();
    v.StopButtonClick();
  }
  EXPECT_TRUE(messages.messages().empty());
}
