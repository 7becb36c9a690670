#include "tools/ConsoleCommands.h"

namespace torva::tools {

namespace {

bool IsParallel(int portType) { return portType == PortLPT || portType == PortNibbleLPT; }

LinePair WriteFailure(int portType, bool chineseMark) {
  const std::string name = torva::link::ConfiguredPortName(portType);
  return {"Write " + name + " port error!", "端口 " + name + " 发送数据失败" + (chineseMark ? "！" : "")};
}

}  // namespace

SendPlan PlanSend(int portType, bool hexMode, const SendFlags& flags) {
  SendPlan p;
  switch (portType) {
    case PortCOM:
      p.route = WriteRoute::Common;
      if (hexMode) p.serialWriteTimeoutMs = kHexSendSerialWriteTimeoutMs;
      break;
    case PortLPT:
      p.route = WriteRoute::Common;
      break;
    case PortNibbleLPT:
    case PortUSBPrinter:
      p.route = WriteRoute::Common;
      p.recognise = hexMode;
      p.startReader = true;
      p.waitBeforeReader = hexMode && flags.wait;
      p.closeOnFailure = true;
      break;
    case PortUSB:
      p.route = WriteRoute::Common;
      p.recognise = hexMode;
      p.usbTimeouts = hexMode;
      // A hex Send reads an answer only after a command that makes one; a
      // text Send always looks.
      p.startReader = !hexMode || flags.reply || flags.special;
      p.waitBeforeReader = hexMode && p.startReader && flags.wait;
      p.closeOnFailure = true;
      break;
    case PortNet:
      p.route = WriteRoute::Net;
      break;
    case PortDriver:
      p.route = WriteRoute::Spooler;
      break;
    default:
      break;
  }
  return p;
}

const std::vector<FixedCommandRow>& FixedCommands() {
  static const std::vector<FixedCommandRow> rows = {
      {FixedCommand::Reset, "PrinterResetButton", {0x10, 0x04, 0x0A}, 0xC0, "Reset printer Successfully!",
       "复位指令发送成功！"},
      {FixedCommand::ClearError, "ClearButton", {0x10, 0x04, 0x0B}, 0xC1, "Clear Error Successfully!",
       "排错指令发送成功！"},
      {FixedCommand::Cut, "CutButton", {0x1D, 0x56, 0x42, 0x10}, 0, "Cut paper successfully!", "切纸指令发送成功！"},
      {FixedCommand::Feed, "FeedPaperButton", {0x0A}, 0, "Feed paper successfully!", "进纸指令发送成功！"},
      {FixedCommand::SelfTest, "SelfTestButton", {0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x02}, 0,
       "Print self-test Successfully!", "打印自检页指令发送成功！"},
      {FixedCommand::BundlerPresent, "BundlerPresentMenu", {0x1B, 0x63, 0x5B}, 0,
       "Bundler presents papers successfully!", "容纸器吐纸指令发送成功！"},
      {FixedCommand::BundlerRetract, "BundlerRetractMenu", {0x1B, 0x63, 0x5C}, 0,
       "Bundler retracts papers successfully!", "容纸器回收指令发送成功！"},
  };
  return rows;
}

const FixedCommandRow& FixedCommandOf(FixedCommand id) {
  for (const FixedCommandRow& r : FixedCommands())
    if (r.id == id) return r;
  return FixedCommands().front();
}

WriteRoute FixedCommandRoute(int portType) {
  switch (portType) {
    case PortCOM:
    case PortLPT:
    case PortNibbleLPT:
    case PortUSB:
    case PortUSBPrinter:
      return WriteRoute::Common;
    case PortNet:
      return WriteRoute::Net;
    case PortDriver:
      return WriteRoute::Spooler;
    default:
      return WriteRoute::None;
  }
}

LinePair FixedSuccessLine(FixedCommand id, int portType) {
  const FixedCommandRow& row = FixedCommandOf(id);
  LinePair line{row.english, row.chinese};
  if (id == FixedCommand::ClearError && portType != PortCOM && !IsParallel(portType))
    line.english = "Clear Error successfully!";
  return line;
}

LinePair SendSuccessLine() { return {"Execute command successfully!", "指令发送成功！"}; }

LinePair SendFailureLine(int portType) { return WriteFailure(portType, !IsParallel(portType)); }

LinePair FixedFailureLine(FixedCommand id, int portType) {
  return WriteFailure(portType, !(IsParallel(portType) && id == FixedCommand::BundlerRetract));
}

LinePair OpenFailureLine(int portType) {
  const std::string name = torva::link::ConfiguredPortName(portType);
  switch (portType) {
    case PortCOM:
      return {"Can't open " + name + " port", "端口 " + name + " 通讯错误！"};
    case PortLPT:
    case PortNibbleLPT:
      return {"Can't open" + name + " port!", "端口" + name + " 通讯错误！"};
    case PortUSB:
    case PortUSBPrinter:
    case PortDriver:
      return {"Can't open " + name + " port!", "端口 " + name + " 通讯错误！"};
    default:
      return {};
  }
}

LinePair DataFormatErrorLine() { return {"Data format error!", "输入含有非法字符！"}; }

LinePair FileTooLargeLine(const std::string& quotedName) {
  return {"The file " + quotedName + " is larger than 16 MiB: the console opens files of up to 16 MiB.",
          "文件 " + quotedName + " 大于 16 MiB，控制台只能打开不超过 16 MiB 的文件。"};
}

LinePair ReceiveFailureLine() { return {"Fail to Receive Data", "获取数据失败"}; }

UsbStatusAsk UsbDeviceStatusAsk(int model, bool k773Custom) {
  switch (model) {
    case ModelVDK772:
    case ModelVDK9034:
      return {8, 8, 4};
    case ModelVDK773:
      return k773Custom ? UsbStatusAsk{6, 6, -1} : UsbStatusAsk{6, 4, -1};
    default:
      return {4, 4, -1};
  }
}

}  // namespace torva::tools
