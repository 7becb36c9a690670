// The printer information dialog ("Printer Information"): the printer's
// firmware version, resolution, print speed, darkness, bundler (presenter)
// mode and wait time, and its name, asked once while the dialog is created
// (on the dialog's thread, before it is shown).
//
// If an exchange fails, the communication error is shown, bDestroy is set
// and the dialog closes itself 10 ms after it is shown; the values asked
// before the failure stay, the later ones stay empty. On the spooler the
// dialog asks nothing: the communication error, then it closes. Nibble mode
// reports its failures in English whatever the language, and two failed
// reads of one answer leave the dialog open with the values gathered.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TPrinterInformationForm;
}
class QTimer;

class TPrinterInformationForm : public QDialog {
  Q_OBJECT

 public:
  explicit TPrinterInformationForm(QWidget* owner = nullptr);
  ~TPrinterInformationForm() override;

  Ui::TPrinterInformationForm* form() const { return ui_.get(); }
  // Font and captions for Language (the bundler or presenter wording by
  // model); the values already shown follow the language too.
  void SetCaptions();

  // Set when an exchange failed: the dialog closes itself once shown.
  bool bDestroy = false;
  QTimer* Timer1 = nullptr;

 public slots:
  void Timer1Timer();
  void OKButtonClick();

 private:
  void FormCreate();
  void ShowCommunicationError(bool englishOnly);

  std::unique_ptr<Ui::TPrinterInformationForm> ui_;
  // The bundler mode's text in both languages, once asked.
  QString modeEnglish_, modeChinese_;
};
