// The port-kind guards of the dialog openers, as one table: which tool
// refuses which configured port kind, and with which warning.
#pragma once

#include "gui/Messages.h"

enum class GuardedTool {
  StatusMonitor,       // SpeedButton_MonitotClick
  EepromSet,           // SpeedButton_EepromSetClick
  CheckMark,           // SpeedButton_CheckMarkClick
  ADConverter,         // ADConverterMenuClick
  PrinterInformation,  // PrinterInformationMenuClick
  PrintTest,           // SpeedButton_PrintTestClick (command console)
  FirmwareUpdate,      // SpeedButton_FirmwareUpdateClick (download)
  PortSet,             // SpeedButton_PortSetClick
  BundlerWaitTime,     // bundlerlatencytimeMenuClick (main window)
};

enum class GuardVerdict {
  Allowed,
  NoPort,      // no port configured
  LptPort,     // the plain parallel port
  NetPort,     // the Ethernet port
};

// What the tool's guard says about the port kind (PortType by default).
GuardVerdict PortGuardVerdict(GuardedTool tool, int portKind);

struct GuardMessage {
  const char* english;
  const char* chinese;
};
// The warning of a refusal; empty texts for Allowed.
GuardMessage PortGuardMessage(GuardedTool tool, GuardVerdict verdict);

// The box a refusal shows: a warning, but an information box for the bundler
// wait time.
MessageKind PortGuardBox(GuardedTool tool);

// Consults the table for the current PortType; on a refusal shows its
// message (a warning box, or the tool's PortGuardBox) and answers false.
bool CheckPortGuard(GuardedTool tool);

// While no port is configured (PortType), shows the warning that asks for
// one and answers true.
bool RefuseNoPort();
