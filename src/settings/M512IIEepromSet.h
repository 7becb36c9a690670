// The settings editor of the VD-M512II, and the frame that every editor of
// its family shares: the nineteen common-address settings read from the
// printer (Get), written back in one queued write (Save), and exported to and
// imported from a settings file. A model of the family is a profile (model
// code, caption, font, tag, baud list); the form layout is one for all.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "settings/CommonAddressMap.h"
#include "settings/SettingProtocol.h"

namespace Ui {
class M512IIEepromSet;
}
class QButtonGroup;

class TCommonAddressEepromSetForm : public QDialog {
  Q_OBJECT

 public:
  TCommonAddressEepromSetForm(const torva::settings::CommonAddressProfile& profile, QWidget* owner);
  ~TCommonAddressEepromSetForm() override;

  const torva::settings::CommonAddressProfile& profile() const { return profile_; }
  // What the controls show, and setting them (tests and the handlers).
  torva::settings::EditorState state() const;
  void setState(const torva::settings::EditorState& state);
  Ui::M512IIEepromSet* form() const { return ui_.get(); }
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
  bool GetOne(torva::settings::CommonSetting setting);
  void SetResultLine(const QString& text, bool red);
  void SetStateLine(const QString& text);
  void SetStateColour(bool olive);
  // Exports the state to a file whole or not at all.
  void ExportTo(const QString& fileName);
  void ImportFrom(const QString& fileName);

  const torva::settings::CommonAddressProfile& profile_;
  std::unique_ptr<Ui::M512IIEepromSet> ui_;
  QButtonGroup* paperType_;
  QButtonGroup* presenter_;
  QButtonGroup* beeper_;
  QButtonGroup* autoCutter_;
  QButtonGroup* cr_;
  QButtonGroup* paperOut_;
  torva::settings::SettingLink link_{torva::settings::kEcPortStyle};
  std::string strMsg;
  std::string strMsgState;
};

// VD-M512II (model code 2).
class TM512IIEepromSetForm : public TCommonAddressEepromSetForm {
  Q_OBJECT

 public:
  explicit TM512IIEepromSetForm(QWidget* owner = nullptr);
};
