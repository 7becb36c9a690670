// The Eeprom Set dispatch: the access code first, every time, then the editor
// of the configured model code.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "link/Clock.h"
#include "link/PortState.h"
#include "shell/EditorDispatch.h"
#include "settings/K409EepromSet.h"
#include "settings/M512IIEepromSet.h"
#include "settings/RWK201EEepromSet.h"
#include "settings/RWK201EepromSet.h"
#include "settings/RWK305EEepromSet.h"
#include "settings/RWK305EepromSet.h"
#include "settings/VDH738EepromSet.h"
#include "settings/RWK305G2EepSet.h"
#include "shell/MainForm.h"
#include "gui/Messages.h"
#include "shell/Password.h"
#include "shell/PrinterIni.h"

namespace {

class EditorDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    SetProgramFolderForTests(dir_.path());
    SetPrinterIniConfigFolderForTests(dir_.filePath("config"));
    ResetPortState();
    torva::SetPrinterDelayScale(0);
    main_ = std::make_unique<TMainForm>();
  }
  void TearDown() override {
    main_.reset();
    ResetPortState();
    SetProgramFolderForTests({});
    SetPrinterIniConfigFolderForTests({});
  }

  // Presses Eeprom Set's body: answers the access-code dialog with `code`
  // (Cancel when empty) and reports the class of the modal dialog that opens
  // after it ("" when none does), closing it again.
  std::string Open(const QString& code) {
    std::string opened = "not asked";
    QTimer::singleShot(0, [&] {
      auto* password = qobject_cast<TPasswordForm*>(QApplication::activeModalWidget());
      if (!password) return;
      opened = "";
      QTimer::singleShot(0, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && !qobject_cast<TPasswordForm*>(w)) {
          opened = w->objectName().toStdString();
          EXPECT_EQ(w->parentWidget(), main_.get()) << "the main window owns the editor";
          static_cast<QDialog*>(w)->reject();
        }
      });
      if (code.isEmpty()) {
        password->reject();
      } else {
        password->findChild<QLineEdit*>("Edit1")->setText(code);
        password->findChild<QPushButton*>("OKButton")->click();
        // A refused code keeps the dialog open.
        if (password->isVisible()) password->reject();
      }
    });
    OpenSettingsEditor(*main_);
    QApplication::processEvents();
    return opened;
  }

  QTemporaryDir dir_;
  MessageRecorder messages_;
  std::unique_ptr<TMainForm> main_;
};

}  // namespace

TEST_F(EditorDispatchTest, AccessCodeThenTheModelsEditor) {
  PortType = PortCOM;
  struct Case {
    int model;
    const char* code;
    const char* opened;
  };
  const Case cases[] = {
      {ModelVDM512II, kAccessCode, "TM512IIEepromSetForm"},
      {ModelVDM512, kAccessCode, "TM512EepromSetForm"},
      {ModelVDN512, kAccessCode, "TN512EepromSetForm"},
      {ModelVDK305, kAccessCode, "TK305EepromSetForm"},
      {ModelVDK201, kAccessCode, "TK201EepromSetForm"},
      {ModelVDK512, kAccessCode, "TK512EepromSetForm"},
      {ModelVDM512II, "", ""},              // Cancel opens nothing
      {ModelVDM512II, "Quartzy581", ""},    // wrong code opens nothing
      {ModelRWK201, kAccessCode, "TRWK201EepromSetForm"},
      {ModelRWK305, kAccessCode, "TRWK305EepromSetForm"},
      {ModelRWK305W, kAccessCode, "TRWK305EepromSetForm"},
      {ModelRWK305, "", ""},
      {ModelRWNK409, kAccessCode, "TK409EepromSetForm"},
      {ModelRWNK409, "", ""},
      {ModelVDK773, kAccessCode, "TK773Eeport"},
      {ModelRWK305E, kAccessCode, "TRWK305EEepromSetForm"},
      {ModelRWK201E, kAccessCode, "TRWK201EEepromSetForm"},
      {ModelRWK305GII, kAccessCode, "TRWK305G2EepSetForm"},
      {ModelRWK305GII, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.model) + " " + c.code);
    PrinterName = c.model;
    EXPECT_EQ(Open(c.code), c.opened);
  }
}

TEST(EditorDispatchTable, RowsOfTheEditorsThatExist) {
  struct Row {
    int model;
    const char* className;
    const char* caption;
  };
  const Row rows[] = {
      {ModelVDN512, "TN512EepromSetForm", "N512 EepromSet"},
      {ModelVDM512, "TM512EepromSetForm", "M512 EepromSet"},
      {ModelVDM512II, "TM512IIEepromSetForm", "M512II EepromSet"},
      {ModelVDK305, "TK305EepromSetForm", "EepromSet"},
      {ModelVDK201, "TK201EepromSetForm", "EepromSet"},
      {ModelVDK512, "TK512EepromSetForm", "EepromSet"},
      {ModelVDK773, "TK773Eeport", "EepromSet"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.model);
    EXPECT_STREQ(SettingsEditorClass(r.model), r.className);
    auto editor = CreateSettingsEditor(r.model, nullptr);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName().toStdString(), r.className);
    EXPECT_EQ(editor->windowTitle(), r.caption);
    // Each editor reads and writes the settings of its own model.
    auto* frame = dynamic_cast<TCommonAddressEepromSetForm*>(editor.get());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->profile().modelCode, r.model);
  }
  EXPECT_NE(dynamic_cast<TM512IIEepromSetForm*>(CreateSettingsEditor(ModelVDM512II, nullptr).get()), nullptr);
  EXPECT_STREQ(SettingsEditorClass(-1), "");
  EXPECT_STREQ(SettingsEditorClass(19), "");
  EXPECT_EQ(CreateSettingsEditor(19, nullptr), nullptr);
  // The RW-K305 and RW-K305W share one editor.
  EXPECT_STREQ(SettingsEditorClass(ModelRWK201), "TRWK201EepromSetForm");
  EXPECT_STREQ(SettingsEditorClass(ModelRWK305), "TRWK305EepromSetForm");
  EXPECT_STREQ(SettingsEditorClass(ModelRWK305W), "TRWK305EepromSetForm");
  for (int code : {ModelRWK305, ModelRWK305W}) {
    auto k305 = CreateSettingsEditor(code, nullptr);
    ASSERT_NE(dynamic_cast<TRWK305EepromSetForm*>(k305.get()), nullptr) << code;
    EXPECT_EQ(k305->windowTitle(), "EepromSet");
  }
  EXPECT_NE(dynamic_cast<TRWK201EepromSetForm*>(CreateSettingsEditor(ModelRWK201, nullptr).get()), nullptr);
  // The RWN-K409's POS-style editor.
  EXPECT_STREQ(SettingsEditorClass(ModelRWNK409), "TK409EepromSetForm");
  auto k409 = CreateSettingsEditor(ModelRWNK409, nullptr);
  auto* k409Form = dynamic_cast<TK409EepromSetForm*>(k409.get());
  ASSERT_NE(k409Form, nullptr);
  EXPECT_EQ(k409->objectName(), "TK409EepromSetForm");
  EXPECT_EQ(k409->windowTitle(), "K409 EepromSet");
  EXPECT_EQ(k409Form->profile().modelCodes, (std::vector<int>{ModelRWNK409}));
  // The RW-K305E, RW-K201E and RW-K305GII: each its own editor.
  struct SecondSeriesRow {
    int model;
    const char* className;
    const char* caption;
  };
  const SecondSeriesRow second[] = {
      {ModelRWK305E, "TRWK305EEepromSetForm", "EepromSet"},
      {ModelRWK201E, "TRWK201EEepromSetForm", "EepromSet"},
      {ModelRWK305GII, "TRWK305G2EepSetForm", "RW-K305GII EepromSet"},
  };
  for (const SecondSeriesRow& r : second) {
    SCOPED_TRACE(r.model);
    EXPECT_STREQ(SettingsEditorClass(r.model), r.className);
    auto editor = CreateSettingsEditor(r.model, nullptr);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName().toStdString(), r.className);
    EXPECT_EQ(editor->windowTitle(), r.caption);
    auto* frame = dynamic_cast<TSecondSeriesEepromSetForm*>(editor.get());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->profile().modelCodes, (std::vector<int>{r.model})) << "its model's settings";
  }
  EXPECT_NE(dynamic_cast<TRWK305EEepromSetForm*>(CreateSettingsEditor(ModelRWK305E, nullptr).get()), nullptr);
  EXPECT_NE(dynamic_cast<TRWK201EEepromSetForm*>(CreateSettingsEditor(ModelRWK201E, nullptr).get()), nullptr);
  EXPECT_NE(dynamic_cast<TRWK305G2EepSetForm*>(CreateSettingsEditor(ModelRWK305GII, nullptr).get()), nullptr);
  // Every code opens the editor of its model's row.
  const char* const kEditorOf[kPrinterModelCount] = {
      "TN512EepromSetForm",    "TM512EepromSetForm",    "TM512IIEepromSetForm",  "TK305EepromSetForm",
      "TRWK201EepromSetForm",  "TK409EepromSetForm",    "TRWK305EepromSetForm",  "TK201EepromSetForm",
      "TK512EepromSetForm",    "TRWK305EEepromSetForm", "TRWK201EEepromSetForm", "TK772EepromSetForm",
      "TK773Eeport",           "TK9034EepromSetForm",   "TRWK305G2EepSetForm",   "TRWK305EepromSetForm",
      "TK772EepromSetForm",    "TVDK466EepromSetForm",  "TVDH738EepromSetForm"};
  for (int code = 0; code < kPrinterModelCount; ++code) {
    SCOPED_TRACE(code);
    auto editor = CreateSettingsEditor(code, nullptr);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName().toStdString(), kEditorOf[code]);
    EXPECT_STREQ(SettingsEditorClass(code), kEditorOf[code]);
  }
}

// The two-bank family: the VD-K772 and VD-K772II share one editor; each
// editor works on its model's profile; Eeprom Set opens them behind the
// access code.
TEST_F(EditorDispatchTest, TwoBankEditors) {
  PortType = PortCOM;
  struct Row {
    int model;
    const char* className;
    const char* profile;
  };
  const Row rows[] = {
      {ModelVDK772, "TK772EepromSetForm", "VD-K772"},   {ModelVDK772II, "TK772EepromSetForm", "VD-K772"},
      {ModelVDK9034, "TK9034EepromSetForm", "VD-K9034"}, {ModelVDK466, "TVDK466EepromSetForm", "VD-K466"},
      {ModelVDH738, "TVDH738EepromSetForm", "VD-H738"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.className);
    EXPECT_STREQ(SettingsEditorClass(r.model), r.className);
    auto editor = CreateSettingsEditor(r.model, nullptr);
    auto* frame = dynamic_cast<TTwoBankEepromSetForm*>(editor.get());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->objectName().toStdString(), r.className);
    EXPECT_EQ(frame->windowTitle(), "EepromSet");
    EXPECT_STREQ(frame->profile().name, r.profile);
    PrinterName = r.model;
    EXPECT_EQ(Open(kAccessCode), r.className);
    EXPECT_EQ(Open(""), "") << "Cancel opens nothing";
  }
}
