// What the two status dialogs of the RW-K305GII (VD Mode and RW Mode) share:
// the binding of their controls, which carry the same names in both layouts,
// and the captions the main window sets on them.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QString>

#include "gui/Messages.h"
#include "status/StatusDialog.h"

namespace torva::status::k305g2 {

// Captions of both dialogs; `rwMode` picks the differing ones.
template <typename UiT>
void ApplyCaptions(QWidget* dialog, UiT* ui, bool rwMode) {
  ApplyDialogFont(dialog);
  auto tr2 = [](const char* en, const char* cn) { return Tr2(en, cn); };
  const QString title = rwMode ? tr2("Printer Status(RW Mode)", "打印机状态(RW Mode)")
                               : tr2("Printer Status(VD Mode)", "打印机状态(VD Mode)");
  dialog->setWindowTitle(title);
  ui->GroupBox1->setTitle(title);
  QLabel* rows[] = {ui->StatusByte1Label, ui->StatusByte2Label, ui->StatusByte3Label, ui->StatusByte4Label};
  for (int i = 0; i < 4; ++i)
    rows[i]->setText(IsEnglish() ? QStringLiteral("Status Byte%1").arg(i + 1) : QString::fromUtf8("状态位%1").arg(i + 1));
  ui->MSBLabel->setText(tr2("MSB", "高位"));
  ui->LSBLabel->setText(tr2("LSB", "低位"));
  ui->btnStartButton1->setText(tr2("&Start", "开始(&S)"));
  ui->btnStopButton1->setText(tr2("S&top", "停止(&T)"));
  ui->btnExitButton1->setText(tr2("E&xit", "退出(&X)"));
  ui->WorkingStatePanel->setTitle(tr2("Printer's working states", "打印机工作状态"));
  ui->DetailStatusPanel->setTitle(tr2("Printer's detail status", "打印机详细情况"));
  ui->lblRecyclePaperJam->setText(tr2("Recycling Paper Jam", "回收通道塞纸"));
  ui->lblCuttererror->setText(tr2("Cutter Error", "切刀错误"));
  ui->lblPrinterHeadup->setText(tr2("Printer Head Up", "打印头抬起"));
  ui->lblPaperend->setText(tr2("Paper End", "纸尽"));
  ui->lblPapernearend->setText(tr2("Paper Near End", "纸将尽"));
  ui->lblTPHtoohot->setText(tr2("TPH Too Hot", "打印头过热"));
}

// The check boxes chkByte<n><7-bit>1 and the hex labels of one dialog.
inline void FillBits(QWidget* dialog, StatusDialog::Controls& c) {
  for (int n = 1; n <= 4; ++n)
    for (int j = 0; j <= 7; ++j) c.bits << dialog->findChild<QCheckBox*>(QStringLiteral("chkByte%1%2").arg(n).arg(j) + QLatin1Char('1'));
  for (int i = 0; i < 4; ++i) c.hexLabels << dialog->findChild<QLabel*>(QStringLiteral("lblByte%1Label1").arg(i));
}

}  // namespace torva::status::k305g2
