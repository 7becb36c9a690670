#include "status/EightByteStatusDialog.h"

#include <QCoreApplication>
#include <QDir>

#include "link/ParReverse.h"
#include "status/HardwareStatus.h"

namespace torva::status {

namespace record8 {

int ReopenForPolling(StatusDialog& dialog) {
  if (PortType.load() != PortNibbleLPT) return dialog.ReopenPlainPort();
  ParReverse::DriverClose();
  const std::string folder = QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString() + "/";
  if (ParReverse::DriverOpenEx(static_cast<uint16_t>(LPTParameter.Number & 0xFFFF), 1, 0, folder) == 0) {
    const QString text = QString::fromUtf8(
        "Fail to get the status of printer\n\rPlease check the communication between the printer and PC!");
    OutputError(text, text);  // the English text in either language
    return -1;
  }
  return 0;
}

void ClosePortOfKind() {
  if (PortType.load() == PortNibbleLPT)
    ParReverse::DriverClose();
  else
    ClosePlainPort();
}

QStringList CheckBoxNames() {
  QStringList names;
  for (int n = 1; n <= 8; ++n)
    for (int j = 0; j <= 7; ++j) names << QStringLiteral("Byte%1%2").arg(n).arg(j);
  return names;
}

}  // namespace record8

EightByteStatusDialog::EightByteStatusDialog(Record8Variant variant, int closeWaitMs, QWidget* parent)
    : StatusDialog(parent), variant_(variant), closeWaitMs_(closeWaitMs), decoder_(MakeRecord8Decoder(variant)) {}

bool EightByteStatusDialog::CanPollPort(int portType) const {
  return CanPollStatus(portType) || portType == PortNibbleLPT;
}

int EightByteStatusDialog::ReopenPort() {
  decoder_.restart();  // a new run writes every image again; the labels keep what they show
  return record8::ReopenForPolling(*this);
}

void EightByteStatusDialog::ResetPrinterButtonClick() {
  SendStatusReset(THardwareStatusForm::kResetPrinterCommand, sizeof THardwareStatusForm::kResetPrinterCommand);
}
void EightByteStatusDialog::ResetBundlerButtonClick() {
  SendStatusReset(THardwareStatusForm::kResetBundlerCommand, sizeof THardwareStatusForm::kResetBundlerCommand);
}

}  // namespace torva::status
