// What the eight-byte status dialogs share: the VD-K772 / VD-K9034 dialog
// (HardwareStatusK772.h) and the VD-K512 shutter dialog (HardwareStatusK512.h)
// have the same controls, the same port handling and most captions; they
// differ in the record's variant, the polling plan, the close wait and a few
// detail captions.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QStringList>

#include "link/PortState.h"
#include "gui/Messages.h"
#include "status/StatusDialog.h"
#include "status/StatusRecord8.h"

namespace torva::status {

namespace record8 {
// Reopens the port of PortType for polling: as the generic dialog for the
// serial and USB kinds; the nibble-mode parallel port is closed and opened
// again (its failure shows the English error text whatever the language).
// Returns the handle, 0 for a kind that uses none, -1 on failure (the
// message has then been shown).
int ReopenForPolling(StatusDialog& dialog);
// Closes the port of PortType, the nibble-mode port included.
void ClosePortOfKind();
// Object names of the 64 check boxes, bit 7 of byte 1 first.
QStringList CheckBoxNames();
}  // namespace record8

class EightByteStatusDialog : public StatusDialog {
  Q_OBJECT

 public:
  // The hidden buttons: send the printer or bundler reset sequence.
  void ResetPrinterButtonClick();
  void ResetBundlerButtonClick();

 protected:
  EightByteStatusDialog(Record8Variant variant, int closeWaitMs, QWidget* parent);

  // Binds the controls of the form (after its setupUi) and the two reset
  // buttons. Every indicator image starts with the Init glyph.
  template <class FormUi>
  void BindEightByteControls(FormUi* ui);
  // The captions both forms show alike, after the dialog font; the caller
  // has checked the language and sets the captions of its own model.
  template <class FormUi>
  void SetupEightByteCaptions(FormUi* ui, bool chinese);

  void ShowPollFailure() override { ShowFailureAfterRestore(); }
  bool ClearBitsAtEnd() const override { return true; }
  int ReopenPort() override;
  void ClosePortOnClose() override { record8::ClosePortOfKind(); }
  int CloseWaitMs() const override { return closeWaitMs_; }
  bool CanPollPort(int portType) const override;

 private:
  Record8Variant variant_;
  int closeWaitMs_;
};

template <class FormUi>
void EightByteStatusDialog::BindEightByteControls(FormUi* ui) {
  Controls c;
  for (const QString& n : record8::CheckBoxNames()) c.bits << findChild<QCheckBox*>(n);
  c.hexLabels = {ui->Byte0Label, ui->Byte1Label, ui->Byte2Label, ui->Byte3Label,
                 ui->Byte4Label, ui->Byte5Label, ui->Byte6Label, ui->Byte7Label};
  c.memo = ui->PrinterStatusEdit;
  c.start = ui->StartButton;
  c.stop = ui->StopButton;
  c.exit = ui->ExitButton;
  for (const auto& name : MakeRecord8Decoder(variant_).images()) c.images << findChild<QLabel*>(QString::fromStdString(name));
  c.initOnCreate = c.images;  // the hidden channel, jam and shutter images too
  BindControls(c);
  connect(ui->ResetPrinterButton, &QPushButton::clicked, this, [this] { ResetPrinterButtonClick(); });
  connect(ui->ResetBundlerButton, &QPushButton::clicked, this, [this] { ResetBundlerButtonClick(); });
}

template <class FormUi>
void EightByteStatusDialog::SetupEightByteCaptions(FormUi* ui, bool cn) {
  ApplyFrameCaptions(ui);
  auto tr2 = [](const char* en, const char* zh) { return Tr2(en, zh); };
  QLabel* rows[] = {ui->StatusByte1Label, ui->StatusByte2Label, ui->StatusByte3Label, ui->StatusByte4Label,
                    ui->StatusByte5Label, ui->StatusByte6Label, ui->StatusByte7Label, ui->StatusByte8Label};
  for (int i = 0; i < 8; ++i)
    rows[i]->setText(cn ? QString::fromUtf8("状态位%1").arg(i + 1) : QStringLiteral("Status Byte%1").arg(i + 1));
  for (const auto& s : Record8Layout(variant_).states) {
    const QString stem = QString::fromLatin1(s.image).chopped(5);  // "...Image"
    if (auto* l = findChild<QLabel*>(stem + "Label"))
      l->setText(QString::fromStdString(Record8StateCaption(variant_, s.code, cn)));
  }
  ui->BundlerPaperJamLabel->setText(tr2("Presenter Paper Jam", "容纸器塞纸"));
  ui->Channel1PaperEndLabel->setText(tr2("First Channel Paper End", "通道1纸尽"));
  ui->Channel2PaperEndLabel->setText(tr2("Second Channel Paper End", "通道2纸尽"));
  ui->Channel1PaperNearEndLabel->setText(tr2("First Channel Paper Near End", "通道1纸将尽"));
  ui->Channel2PaperNearEndLabel->setText(tr2("Second Channel Paper Near End", "通道2纸将尽"));
  ui->PrinterHeadupLabel->setText(tr2("Printer Head Up", "打印头抬起"));
  ui->PaperendLabel->setText(tr2("Paper End", "纸尽"));
  ui->PapernearendLabel->setText(tr2("Paper Near End", "纸将尽"));
  ui->TPHtoohotLabel->setText(tr2("TPH Too Hot", "打印头过热"));
}

}  // namespace torva::status
