// The settings editor of the two-bank family (VD-H738, VD-K466, VD-K772 and
// VD-K772II, VD-K9034): one frame on one form, driven by the model's profile
// (settings/TwoBankMap.h), which holds every difference between the four
// editors, the dialog's look included. Get reads the printer's settings into
// the controls, Save writes them back (some at once, the rest in a queue sent
// in two or three flushes), Export and Import exchange them with a *.pes
// file. The exchange itself is settings/TwoBankExchange.h; the frame opens
// the port, switches the serial data bits around the exchange, checks what
// can be refused before the port opens, and shows the outcome.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "settings/SettingProtocol.h"
#include "settings/TwoBankMap.h"

struct TwoBankControls;

class TTwoBankEepromSetForm : public QDialog {
  Q_OBJECT

 public:
  TTwoBankEepromSetForm(const torva::settings::TwoBankProfile& profile, QWidget* owner);
  ~TTwoBankEepromSetForm() override;

  const torva::settings::TwoBankProfile& profile() const { return profile_; }
  // What the controls show, and setting them (tests and the handlers). An
  // index of -1 shows no item.
  torva::settings::TwoBankState state() const;
  void setState(const torva::settings::TwoBankState& state);
  // The high bytes kept from the last Get or import.
  const torva::settings::TwoBankKeptBytes& kept() const { return kept_; }
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
  // The exports and imports of a chosen file (the file dialogs' choices).
  void ExportTo(const QString& fileName);
  void ImportFrom(const QString& fileName);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormCreate();
  void Bind();
  void ApplyLook();
  void ShowGetInfo();
  void ShowSetInfo();
  void ClosePort();
  // An action that ends without success empties the result line, so no
  // earlier "successfully" stands beside its box.
  void ClearResultLine();
  void PaperWidthChange();
  // The key filter of the digit edits: true when the key is swallowed.
  bool DigitKeyPress(QKeyEvent* event);
  // The VD-K9034's handlers of keys the dialog itself receives.
  void FormKeyDown();
  void FormKeyPress(QKeyEvent* event);

  const torva::settings::TwoBankProfile& profile_;
  std::unique_ptr<TwoBankControls> ui_;
  torva::settings::SettingLink link_{torva::settings::kEcPortStyle};
  torva::settings::TwoBankKeptBytes kept_;
  bool portOpen_ = false;   // this action opened the port it must close
  std::string strMsg;       // the result line (ResultText)
  std::string strMsgState;  // the printer-state line (StateText)
};

// VD-H738 (model code 18).
class TVDH738EepromSetForm : public TTwoBankEepromSetForm {
  Q_OBJECT

 public:
  explicit TVDH738EepromSetForm(QWidget* owner = nullptr);
};
