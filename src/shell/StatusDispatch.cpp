#include "shell/StatusDispatch.h"

#include <QApplication>
#include <map>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortState.h"
#include "gui/DialogGuard.h"
#include "gui/DialogHelpers.h"
#include "shell/MainForm.h"
#include "gui/Messages.h"
#include "status/HardwareStatus.h"
#include "status/HardwareStatusK512.h"
#include "status/HardwareStatusK772.h"
#include "status/HardwareStatusK773.h"
#include "status/StatusRWK305G2RWMode.h"
#include "status/StatusRWK305G2VDMode.h"

namespace {

std::map<StatusDialogKind, StatusDialogOpener>& Openers() {
  static std::map<StatusDialogKind, StatusDialogOpener> m;
  return m;
}

// Reads one setting for a mode query: sends 1B 6A <address>, waits 30 ms and
// reads the 2-byte reply within 5000 ms. The port is closed after the read,
// whatever it gave. False after the failure has been reported.
bool ReadModeSetting(TMainForm& main, uint8_t address, uint8_t reply[2]) {
  const uint8_t command[3] = {0x1B, 0x6A, address};
  SendResult sent = SendOpenFailed;
  bool ok = false;
  // Up to five seconds for the reply: the windows keep painting meanwhile.
  torva::gui::RunWhilePainting([&] {
    sent = main.OpenAndSenddata(command, 3);
    if (sent != SendOK) return;
    torva::PrinterDelay(30);
    int handle = 0;
    switch (PortType.load()) {
      case PortCOM: handle = ComParameter.m_hdev; break;
      case PortUSB: handle = USBParameter.m_hdev; break;
      case PortUSBPrinter: handle = USBPrinterParameter.m_hdev; break;
      default: break;  // the nibble-mode read needs no handle
    }
    ok = POSReadPort(PortType.load(), handle, reply, 2, 5000);
    main.ClosePort();
  });
  if (sent == SendOpenFailed) {
    OutputError(QStringLiteral("Can't open the port!"), QString::fromUtf8("打开端口失败！"));
    return false;
  }
  if (sent == SendWriteFailed) {
    OutputError(QStringLiteral("Write the port error!"), QString::fromUtf8("发送数据失败！"));
    return false;
  }
  if (!ok) {
    OutputError(QStringLiteral("Read the port error!"), QString::fromUtf8("读取数据失败！"));
    return false;
  }
  return true;
}

void RunGeneric(TMainForm& main) {
  THardwareStatusForm dialog(&main);
  dialog.SetupForModel(PrinterName.load());
  dialog.RunModal();
}

}  // namespace

void SetStatusDialogOpener(StatusDialogKind kind, StatusDialogOpener opener) {
  if (opener)
    Openers()[kind] = std::move(opener);
  else
    Openers().erase(kind);
}

void OpenStatusDialog(TMainForm& main, StatusDialogKind kind) {
  if (auto it = Openers().find(kind); it != Openers().end()) {
    it->second(main);
    return;
  }
  switch (kind) {
    case StatusDialogKind::K305G2VD: {
      TStatusK305G2VDModeForm dialog(&main);
      dialog.SetupCaptions();
      dialog.RunModal();
      return;
    }
    case StatusDialogKind::K305G2RW: {
      TStatusK305G2RWModeForm dialog(&main);
      dialog.SetupCaptions();
      dialog.RunModal();
      return;
    }
    case StatusDialogKind::K512Shutter: {
      THardwareStatusK512Form dialog(&main);
      dialog.SetupCaptions();
      dialog.RunModal();
      return;
    }
    case StatusDialogKind::K772: {
      THardwareStatusK772Form dialog(&main);
      dialog.SetupCaptions();
      dialog.RunModal();
      return;
    }
    case StatusDialogKind::K773: {
      THardwareStatusK773Form dialog(&main);
      dialog.SetupCaptions();
      dialog.RunModal();
      return;
    }
    default: RunGeneric(main); return;
  }
}

void OpenStatusMonitor(TMainForm& main) {
  if (!CheckPortGuard(GuardedTool::StatusMonitor)) return;
  const int model = PrinterName.load();
  StatusDialogKind kind = StatusDialogKind::Generic;
  uint8_t reply[2] = {0, 0};
  if (model == ModelRWK305GII) {
    torva::PrinterDelay(100);
    if (!ReadModeSetting(main, kStatusModeSettingAddress, reply)) return;
    if (reply[0] == 0x00 && reply[1] == 0x00) {
      kind = StatusDialogKind::K305G2VD;
    } else if (reply[0] == 0x01 && reply[1] == 0x00) {
      kind = StatusDialogKind::K305G2RW;
    } else {
      OutputError(QStringLiteral("EEPROM setting error!"), QString::fromUtf8("EEPROM设置错误！"));
      return;
    }
  } else if (model == ModelVDK512) {
    if (!ReadModeSetting(main, kPaperTypeSettingAddress, reply)) return;
    if (reply[0] == 0x00 && reply[1] == 0x00) {
      kind = StatusDialogKind::K512Shutter;
    } else if (reply[0] == 0x01 && reply[1] == 0x00) {
      kind = StatusDialogKind::Generic;
    } else {
      OutputError(QStringLiteral("Read the port error!"), QString::fromUtf8("读取数据失败！"));
      return;
    }
  } else if (model == ModelVDK772 || model == ModelVDK9034) {
    kind = StatusDialogKind::K772;
  } else if (model == ModelVDK773 && is773Costom.load() == 1) {
    kind = StatusDialogKind::K773;
  }
  OpenStatusDialog(main, kind);
}
