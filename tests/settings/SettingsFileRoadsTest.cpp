// The roads of a settings file between an editor and the disk, for one
// editor of each family (common-address VD-M512II, two-bank VD-K772,
// second-series RW-K305GII): an export to every target a user can choose
// (a full disk for real, through a child process's file-size limit), an
// import that meets a FIFO renamed over the file just before the open, and
// file names that are markup.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLabel>
#include <functional>
#include <memory>

#include "FileDialogFixture.h"
#include "FileTargets.h"
#include "SettingsEditorTestSupport.h"
#include "SettingsFixtures.h"
#include "TwoBankEditorSupport.h"
#include "TwoBankFixtures.h"
#include "settings/M512IIEepromSet.h"
#include "settings/RWK305G2EepSet.h"

using namespace torva::settings;
using settings_test::Child;
using settings_test::ReadAll;
using settings_test::WriteAll;
using torva::test::FifoRescue;
using torva::test::WriteEnd;
using torva::test::WriteTarget;
using torva::test::WriteToEveryTarget;

namespace {

const QByteArray kOld("OLD SETTINGS 65 BYTES ......................................... end", 65);

QString Quote(const QString& path) { return "\"" + path + "\""; }

// One editor of a family, ready to export, and what its dialog shows.
struct Family {
  const char* name;
  std::unique_ptr<QDialog> form;
  std::function<void()> exportClick;
  std::function<void()> importClick;
  // Takes the controls' state; the function it gives says whether they
  // still hold it.
  std::function<std::function<bool()>()> snapshot;
  QLabel* resultLine = nullptr;        // none in the second series
  // The texts that end an export to `path` as `end`, and an import that
  // could not open it.
  std::function<QString(WriteEnd end, const QString& path)> exportSays;
  std::function<QString(const QString& path)> openFailure;
};

// The buttons and the state of an editor.
template <class Form>
Family Of(const char* name, std::unique_ptr<Form> form) {
  Form* p = form.get();
  Family f;
  f.name = name;
  f.form = std::move(form);
  f.exportClick = [p] { p->btnExportSettingsToFileClick(); };
  f.importClick = [p] { p->btnImportSettingsFromFileClick(); };
  f.snapshot = [p] { return std::function<bool()>([p, before = p->state()] { return p->state() == before; }); };
  return f;
}

// An editor with a result line (common-address, two-bank): the export's
// outcome there, red for a failure; a refusal in a box. `openBang` ends the
// import's open-failure text.
template <class Form>
Family WithResultLine(const char* name, std::unique_ptr<Form> form, const QString& openBang) {
  Family f = Of(name, std::move(form));
  f.resultLine = Child<QLabel>(*f.form, "lblMsg");
  f.exportSays = [](WriteEnd end, const QString& path) {
    switch (end) {
      case WriteEnd::Written: return "line: Export settings to file " + Quote(path) + " successfully.";
      case WriteEnd::Refused: return "Error: Fail to open file " + Quote(path) + "!\nline: ";
      case WriteEnd::WriteFailed:
        return "red line: Some error appears when exporting settings to file " + Quote(path) + "!";
    }
    return QString();
  };
  f.openFailure = [openBang](const QString& path) {
    return "Error: Fail to open file " + Quote(path) + openBang + "\nline: ";
  };
  return f;
}

class SettingsFileRoads : public settings_test::FileDialogTest {
 protected:
  // What the user was shown: the boxes, then the result line.
  std::string Shown(const Family& f) const {
    QString out;
    for (const auto& m : messages_.messages()) out += m.title + ": " + m.text + "\n";
    if (f.resultLine)
      out += QString(f.resultLine->property("red").toBool() ? "red line: " : "line: ") + f.resultLine->text();
    return out.toStdString();
  }

  std::vector<Family> Families() {
    std::vector<Family> out;
    auto form = std::make_unique<TM512IIEepromSetForm>();
    form->setState(settings_test::KnownState());
    // The common-address import's open failure has no exclamation mark.
    out.push_back(WithResultLine("common-address VD-M512II", std::move(form), ""));

    // The kept bytes of the two-bank export come from an import.
    const QString golden = path("k772-golden.pes");
    WriteAll(golden, twobank_test::KnownFile(K772Profile()));
    auto twoBank = twobank_test::MakeEditor(K772Profile());
    Choose(golden);
    twoBank->btnImportSettingsFromFileClick();
    EXPECT_FALSE(twoBank->resultIsRed());
    out.push_back(WithResultLine("two-bank VD-K772", std::move(twoBank), "!"));

    auto pos = std::make_unique<TRWK305G2EepSetForm>();
    second::FormState s = second::StartState(second::RWK305G2Profile());
    s[second::Control::cboCodePage].index = 9;
    pos->setState(s);
    // No result line: boxes only, and nothing on success.
    Family f = Of("second-series RW-K305GII", std::move(pos));
    f.exportSays = [](WriteEnd end, const QString& path) {
      switch (end) {
        case WriteEnd::Written: return QString();
        case WriteEnd::Refused: return "Error: Fail to open file " + Quote(path) + "\n";
        case WriteEnd::WriteFailed:
          return "Error: Some error appears when exporting settings to file " + Quote(path) + "!\n";
      }
      return QString();
    };
    f.openFailure = [](const QString& path) { return "Error: Fail to open file " + Quote(path) + "\n"; };
    out.push_back(std::move(f));
    messages_.clear();
    return out;
  }
};

}  // namespace

// An export either writes the whole file and says so, or leaves what stood
// at the path exactly as it was and shows the family's failure text: the
// open-failure text for a target that is refused or cannot be created, the
// export-error text for a write that fails (a full disk once truncated the
// file to nothing and said "successfully").
TEST_F(SettingsFileRoads, ExportToEveryTarget) {
  for (Family& f : Families()) {
    SCOPED_TRACE(f.name);
    // What a plain export writes, to compare the written target with.
    const QString reference = path("reference.pes");
    Choose(reference);
    f.exportClick();
    const QByteArray written = ReadAll(reference);
    ASSERT_FALSE(written.isEmpty());
    ASSERT_TRUE(QFile::remove(reference));
    ASSERT_TRUE(messages_.messages().empty());
    if (f.resultLine) f.resultLine->clear();

    const QString root = path(f.name);
    const torva::test::WriteTargets targets(root, kOld);
    ASSERT_NO_FATAL_FAILURE(WriteToEveryTarget(
        targets,
        [&](const WriteTarget& t) {
          Choose(t.path);
          f.exportClick();
          return Shown(f);
        },
        [&](const WriteTarget& t) { return f.exportSays(t.end, t.path); }, written));
  }
}

// The name of the chosen file is a regular file when it is chosen; a FIFO is
// renamed over it just before the import opens it. The import refuses what
// it opened at once, with the open-failure text, and changes nothing.
TEST_F(SettingsFileRoads, ImportRefusesAFifoRenamedOverTheFile) {
  for (Family& f : Families()) {
    SCOPED_TRACE(f.name);
    if (f.resultLine) f.resultLine->clear();
    const QString file = path("chosen.pes");
    const QString fifo = path("waiting.fifo");
    QFile::remove(file);
    WriteAll(file, Bytes(kOld.begin(), kOld.end()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    int opens = 0;
    const torva::gui::ScopedBeforeFileOpen swap([&](const QString&) {
      if (opens++ == 0) ::rename(QFile::encodeName(fifo).constData(), QFile::encodeName(file).constData());
    });
    const auto unchanged = f.snapshot();
    FifoRescue rescue(file);
    Choose(file);
    f.importClick();
    EXPECT_FALSE(rescue.stop()) << "the import waited on the FIFO";
    EXPECT_EQ(opens, 1) << "the import opened the file through the console's reader";
    EXPECT_EQ(Shown(f), f.openFailure(file).toStdString());
    EXPECT_TRUE(unchanged());
    messages_.clear();
  }
}

// A file name is shown as it is: markup in it draws no bold text and breaks
// no line of the result line.
TEST_F(SettingsFileRoads, ResultLineShowsAFileNameAsPlainText) {
  const QString file = path("<b>X<br>Import settings successfully.pes");
  for (Family& f : Families()) {
    if (!f.resultLine) continue;
    SCOPED_TRACE(f.name);
    Choose(file);
    f.exportClick();
    ASSERT_EQ(f.resultLine->text(), "Export settings to file " + Quote(file) + " successfully.");
    EXPECT_EQ(f.resultLine->textFormat(), Qt::PlainText);
    const QByteArray shots = qgetenv("TORVA_SHOTS");
    if (!shots.isEmpty()) f.form->grab().save(QString::fromLocal8Bit(shots) + "/result-line-" + f.name + ".png");
  }
}
