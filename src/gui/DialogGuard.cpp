#include "gui/DialogGuard.h"

#include <array>

#include "link/PortState.h"
#include "gui/Messages.h"

namespace {

// Whether a tool refuses each of the three kinds that some tools refuse;
// every other kind is allowed by every tool.
struct GuardRow {
  GuardedTool tool;
  bool refusesNone;
  bool refusesLpt;
  bool refusesNet;
};

constexpr std::array<GuardRow, 9> kGuards = {{
    {GuardedTool::StatusMonitor, true, true, true},
    {GuardedTool::EepromSet, true, true, false},
    {GuardedTool::CheckMark, true, true, false},
    {GuardedTool::ADConverter, true, true, true},
    {GuardedTool::PrinterInformation, true, true, true},
    {GuardedTool::PrintTest, true, false, false},
    {GuardedTool::FirmwareUpdate, true, false, false},
    {GuardedTool::PortSet, false, false, false},
    {GuardedTool::BundlerWaitTime, true, false, false},
}};

const GuardRow* RowOf(GuardedTool tool) {
  for (const GuardRow& r : kGuards)
    if (r.tool == tool) return &r;
  return nullptr;
}

}  // namespace

GuardVerdict PortGuardVerdict(GuardedTool tool, int portKind) {
  const GuardRow* r = RowOf(tool);
  if (!r) return GuardVerdict::Allowed;
  // The parallel port is asked first (Check Mark relies on that order; the
  // kinds exclude each other, so the order changes nothing else).
  if (portKind == PortLPT && r->refusesLpt) return GuardVerdict::LptPort;
  if (portKind == PortNone && r->refusesNone) return GuardVerdict::NoPort;
  if (portKind == PortNet && r->refusesNet) return GuardVerdict::NetPort;
  return GuardVerdict::Allowed;
}

GuardMessage PortGuardMessage(GuardedTool tool, GuardVerdict verdict) {
  switch (verdict) {
    case GuardVerdict::NoPort:
      return {"Please configurate the printer's port before other operations!",
              "在进行此操作前请确认端口配置正确！"};
    case GuardVerdict::LptPort:
      if (tool == GuardedTool::CheckMark)
        return {"Sorry! This function doesn't support LPT port!", "并口模式不支持此功能！"};
      return {"Sorry! This tool doesn't support LPT port!", "并口模式不支持此功能！"};
    case GuardVerdict::NetPort:
      return {"Sorry! This tool doesn't support net port!", "以太网接口模式不支持此功能！"};
    case GuardVerdict::Allowed:
      break;
  }
  return {"", ""};
}

MessageKind PortGuardBox(GuardedTool tool) {
  return tool == GuardedTool::BundlerWaitTime ? MessageKind::Information : MessageKind::Warning;
}

bool CheckPortGuard(GuardedTool tool) {
  const GuardVerdict v = PortGuardVerdict(tool, PortType.load());
  if (v == GuardVerdict::Allowed) return true;
  const GuardMessage m = PortGuardMessage(tool, v);
  ShowMessage(PortGuardBox(tool), QString::fromUtf8(m.english), QString::fromUtf8(m.chinese));
  return false;
}

bool RefuseNoPort() {
  if (PortType.load() != PortNone) return false;
  const GuardMessage m = PortGuardMessage(GuardedTool::CheckMark, GuardVerdict::NoPort);
  OutputWarning(QString::fromUtf8(m.english), QString::fromUtf8(m.chinese));
  return true;
}
