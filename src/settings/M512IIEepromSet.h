// The settings editor of the VD-M512II, and the frame that every editor of
// its family shares: the common-address settings read from the printer (Get),
// written back in one queued write (Save), and exported to and imported from a
// settings file. A model of the family is a profile (model code, caption,
// font, tag, baud list, orders, checks; CommonAddressMap.h) and a form layout:
// the frame loads the form and binds its controls by name, so a form only
// needs the controls its profile's rows use.
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

#include "settings/CommonAddressMap.h"
#include "settings/SettingProtocol.h"

class QButtonGroup;
// The controls of the loaded form the frame works with, found by name.
struct CommonAddressControls;

class TCommonAddressEepromSetForm : public QDialog {
  Q_OBJECT

 public:
  // Builds a form layout's widgets into the dialog.
  using FormLoader = void (*)(QDialog* dialog);
  // The form of the VD-M512II (also used by the VD-M512, VD-K512, VD-K201).
  static void LoadCommonForm(QDialog* dialog);

  // What a form needs besides its controls' names: up-down ranges of its own
  // (bound after the common ones, so a name the common table knows takes
  // these), the edits that take digits only, and a fixed client area.
  struct UpDownRange {
    const char* name;
    const char* buddy;
    int min, max;
  };
  struct FormOptions {
    FormLoader load = &LoadCommonForm;
    std::vector<UpDownRange> upDowns;
    // Digits, backspace and Enter pass; any other key that types a character
    // is dropped with a beep.
    std::vector<const char*> digitEdits;
    // The largest number of an edit whose up-down and typing limit do not
    // tell it (gui/DialogHelpers.h, SetLargestNumber), by the edit's name.
    std::vector<std::pair<const char*, const char*>> largestNumbers;
    // Empty: the size the layout asks for at the start.
    QSize clientSize;
  };

  TCommonAddressEepromSetForm(const torva::settings::CommonAddressProfile& profile, QWidget* owner,
                              FormLoader loadForm = &LoadCommonForm);
  TCommonAddressEepromSetForm(const torva::settings::CommonAddressProfile& profile, QWidget* owner,
                              const FormOptions& options);
  ~TCommonAddressEepromSetForm() override;

  const torva::settings::CommonAddressProfile& profile() const { return profile_; }
  // What the controls show, and setting them (tests and the handlers).
  // Controls the form does not have keep the state's values.
  torva::settings::EditorState state() const;
  void setState(const torva::settings::EditorState& state);
  torva::settings::SettingLink& link() { return link_; }
  bool saveEnabled() const;
  QString resultText() const;
  QString stateText() const;
  bool resultIsRed() const;
  bool stateIsOlive() const;

 public slots:
  void btnGetSettingsFromPrinterClick();
  void btnSaveSettingsToPrinterClick();
  void btnExportSettingsToFileClick();
  void btnImportSettingsFromFileClick();
  void btnExitClick();

 private:
  void FormCreate();
  void ShowGetInfo();
  void ShowSetInfo();
  void SetResultLine(const QString& text, bool red);
  void SetStateLine(const QString& text);
  void SetStateColour(bool olive);
  // Shows the boxes of an edit check; true when the check passed.
  bool ShowCheck(const torva::settings::EditCheck& check, const QString& formatChinese);
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Exports the state to a file whole or not at all.
  void ExportTo(const QString& fileName);
  void ImportFrom(const QString& fileName);

  const torva::settings::CommonAddressProfile& profile_;
  std::unique_ptr<CommonAddressControls> ui_;
  torva::settings::SettingLink link_;
  std::string strMsg;
  std::string strMsgState;
};

// VD-M512II (model code 2).
class TM512IIEepromSetForm : public TCommonAddressEepromSetForm {
  Q_OBJECT

 public:
  explicit TM512IIEepromSetForm(QWidget* owner = nullptr);
};
