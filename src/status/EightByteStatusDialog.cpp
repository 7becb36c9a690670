#include "status/EightByteStatusDialog.h"

#include "link/PortSession.h"
#include "status/HardwareStatus.h"

namespace torva::status {

namespace record8 {

int ReopenForPolling(StatusDialog& dialog) {
  if (PortType.load() != PortNibbleLPT) return dialog.ReopenPlainPort();
  static constexpr link::PortSessionPlan kNibblePlan{.kinds = link::KindBit(PortNibbleLPT)};
  if (!link::OpenConfiguredPort(kNibblePlan).opened()) {
    const QString text = QString::fromUtf8(
        "Fail to get the status of printer\n\rPlease check the communication between the printer and PC!");
    OutputError(text, text);  // the English text in either language
    return -1;
  }
  return 0;
}

void ClosePortOfKind() {
  static constexpr link::PortSessionPlan kClosePlan{
      .kinds = link::KindBit(PortCOM) | link::KindBit(PortUSB) | link::KindBit(PortUSBPrinter) |
               link::KindBit(PortNibbleLPT)};
  if (link::HasKind(kClosePlan.kinds, PortType.load())) link::CloseConfiguredPort(kClosePlan);
}

QStringList CheckBoxNames() {
  QStringList names;
  for (int n = 1; n <= 8; ++n)
    for (int j = 0; j <= 7; ++j) names << QStringLiteral("Byte%1%2").arg(n).arg(j);
  return names;
}

}  // namespace record8

EightByteStatusDialog::EightByteStatusDialog(Record8Variant variant, int closeWaitMs, QWidget* parent)
    : StatusDialog(parent), variant_(variant), closeWaitMs_(closeWaitMs) {}

bool EightByteStatusDialog::CanPollPort(int portType) const {
  return CanPollStatus(portType) || portType == PortNibbleLPT;
}

int EightByteStatusDialog::ReopenPort() {
  return record8::ReopenForPolling(*this);
}

void EightByteStatusDialog::ResetPrinterButtonClick() {
  SendStatusReset(THardwareStatusForm::kResetPrinterCommand, sizeof THardwareStatusForm::kResetPrinterCommand);
}
void EightByteStatusDialog::ResetBundlerButtonClick() {
  SendStatusReset(THardwareStatusForm::kResetBundlerCommand, sizeof THardwareStatusForm::kResetBundlerCommand);
}

}  // namespace torva::status
