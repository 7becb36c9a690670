#include "shell/ToolDispatch.h"

#include "gui/Messages.h"
#include "link/PortState.h"
#include "shell/MainForm.h"
#include "tools/ADConverter.h"
#include "tools/Bundlerlatencytime.h"
#include "tools/CheckMark.h"
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

void OpenCheckMark(TMainForm& main) {
  TCheckmarkForm dialog(&main);
  const int model = PrinterName.load();
  if (model == ModelVDK305 || model == ModelRWK305GII) {
    dialog.DisableCheckMark();
    OutputWarning("The Printer does not support BlackMark Mode!", "该机型不支持黑标模式");
  }
  dialog.exec();
}

namespace {
// isADPress reads 1 exactly while the A/D view is open.
struct ADPressScope {
  ADPressScope() { isADPress = 1; }
  ~ADPressScope() { isADPress = 0; }
};
}  // namespace

void OpenADConverter(TMainForm& main) {
  ADPressScope pressed;
  TADConverterForm dialog(&main);
  dialog.exec();
}
