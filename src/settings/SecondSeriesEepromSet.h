// The frame of the POS-style settings editors: Get reads the profile's
// settings from the printer into the controls, Save writes them back and
// resets the printer, Export and Import exchange them with a settings file.
// Results are reported in message boxes only; the five buttons follow the
// profile's button rules. The exchanges with the printer run while the window
// keeps painting, the user's input to it dropped meanwhile.
//
// The frame finds its controls by their object names, so any form that names
// them the same way (and a profile that says which are there) is served by the
// same code. A model's editor is a profile and a form.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <map>

#include "settings/SecondSeriesMap.h"
#include "settings/SettingProtocol.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QCheckBox;
class QPushButton;

class TSecondSeriesEepromSetForm : public QDialog {
  Q_OBJECT

 public:
  // setupForm lays the widgets out on the dialog (a form's setupUi).
  TSecondSeriesEepromSetForm(const torva::settings::second::SecondSeriesProfile& profile,
                             const std::function<void(QDialog*)>& setupForm, QWidget* owner);
  ~TSecondSeriesEepromSetForm() override;

  const torva::settings::second::SecondSeriesProfile& profile() const { return profile_; }
  // What the controls show, and setting them (tests and the handlers).
  torva::settings::second::FormState state() const;
  void setState(const torva::settings::second::FormState& state);
  torva::settings::second::ButtonStates buttons() const;
  torva::settings::SettingLink& link() { return link_; }

 public slots:
  void btnGetSettingsFromPrinterClick();
  void btnSaveSettingsToPrinterClick();
  void btnExportSettingsToFileClick();
  void btnImportSettingsFromFileClick();
  void btnExitClick();
  // Esc and the close box leave as Exit does.
  void reject() override;

 protected:
  // A profile that asks for it opens centred on the screen.
  void showEvent(QShowEvent* event) override;

 private:
  void Bind();
  void SetButtons(torva::settings::second::ButtonEvent event);
  void ShowControl(torva::settings::second::Control control, const torva::settings::second::FormState& state);
  // Get's reads into `s`; false at the first that fails. Touches no widget
  // (it runs beside the event loop).
  bool ReadSettings(torva::settings::second::FormState& s);
  // Closes the port of PortType and forgets the link's handle.
  void ClosePort();
  // Save's two ways of writing: the whole queue at once, or one write per
  // setting in the port kind's order with its pauses (dataBitsWritten is
  // called with the data bits once their write went through). False at the
  // first write that fails. Neither touches a widget.
  bool WriteQueued(const torva::settings::second::SaveCommands& commands);
  bool WriteDirect(const torva::settings::second::SaveCommands& commands,
                   const std::function<void(int)>& dataBitsWritten);
  void ExportTo(const QString& fileName);
  void ImportFrom(const QString& fileName);

  const torva::settings::second::SecondSeriesProfile& profile_;
  torva::settings::SettingLink link_{torva::settings::kPosPortStyle};
  std::map<torva::settings::second::Control, QComboBox*> lists_;
  std::map<torva::settings::second::Control, QLineEdit*> edits_;
  std::map<torva::settings::second::Control, QCheckBox*> checks_;
  std::map<torva::settings::second::Control, QButtonGroup*> radios_;
  QPushButton* btnGet_ = nullptr;
  QPushButton* btnSave_ = nullptr;
  QPushButton* btnImport_ = nullptr;
  QPushButton* btnExport_ = nullptr;
  QPushButton* btnExit_ = nullptr;
  bool centred_ = false;
};
