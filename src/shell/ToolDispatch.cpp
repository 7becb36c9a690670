#include "shell/ToolDispatch.h"

#include "shell/MainForm.h"
#include "link/PortState.h"
#include "tools/Bundlerlatencytime.h"
#include "tools/FirmwareUpdate.h"
#include "tools/PrintTest.h"
#include "tools/Printerinformation.h"

void OpenPrintTest(TMainForm& main) {
  TPrintTestForm console(&main);
  console.exec();
}

void OpenFirmwareUpdate(TMainForm& main) {
  TFirmwareUpdateForm download(&main);
  download.exec();
}

void OpenPrinterInformation(TMainForm& main) {
  isADPress = 0;
  TPrinterInformationForm information(&main);
  information.exec();
}

void OpenBundlerlatencytime(TMainForm& main) {
  TBundlerlatencytimeForm waitTime(&main);
  waitTime.exec();
}
