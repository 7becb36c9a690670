#include "shell/ToolDispatch.h"

#include "shell/MainForm.h"
#include "tools/PrintTest.h"

void OpenPrintTest(TMainForm& main) {
  TPrintTestForm console(&main);
  console.exec();
}
