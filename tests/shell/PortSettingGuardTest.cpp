// The port-kind guards of the dialog openers, one table for all of them.
#include <gtest/gtest.h>

#include "link/PortState.h"
#include "gui/DialogGuard.h"
#include "gui/Messages.h"

namespace {

constexpr GuardVerdict A = GuardVerdict::Allowed;
constexpr GuardVerdict N = GuardVerdict::NoPort;
constexpr GuardVerdict L = GuardVerdict::LptPort;
constexpr GuardVerdict E = GuardVerdict::NetPort;

struct GuardCase {
  GuardedTool tool;
  const char* name;
  // PortNone, PortCOM, PortLPT, PortUSB, PortDriver, PortNibbleLPT, PortNet, PortUSBPrinter
  GuardVerdict byKind[8];
};

constexpr GuardCase kCases[] = {
    {GuardedTool::StatusMonitor, "status", {N, A, L, A, A, A, E, A}},
    {GuardedTool::EepromSet, "settings", {N, A, L, A, A, A, A, A}},
    {GuardedTool::CheckMark, "check mark", {N, A, L, A, A, A, A, A}},
    {GuardedTool::ADConverter, "A/D", {N, A, L, A, A, A, E, A}},
    {GuardedTool::PrinterInformation, "information", {N, A, L, A, A, A, E, A}},
    {GuardedTool::PrintTest, "console", {N, A, A, A, A, A, A, A}},
    {GuardedTool::FirmwareUpdate, "download", {N, A, A, A, A, A, A, A}},
    {GuardedTool::PortSet, "port setting", {A, A, A, A, A, A, A, A}},
    {GuardedTool::BundlerWaitTime, "wait time", {N, A, A, A, A, A, A, A}},
};

TEST(DialogGuard, TableOfEveryOpenerAndKind) {
  for (const GuardCase& c : kCases) {
    for (int kind = PortNone; kind <= PortUSBPrinter; ++kind) {
      SCOPED_TRACE(std::string(c.name) + " kind " + std::to_string(kind));
      EXPECT_EQ(PortGuardVerdict(c.tool, kind), c.byKind[kind + 1]);
    }
  }
}

TEST(DialogGuard, MessagesInBothLanguages) {
  struct MessageCase {
    GuardedTool tool;
    int kind;
    const char* english;
    const char* chinese;
  } cases[] = {
      {GuardedTool::StatusMonitor, PortNone, "Please configurate the printer's port before other operations!",
       "在进行此操作前请确认端口配置正确！"},
      {GuardedTool::EepromSet, PortLPT, "Sorry! This tool doesn't support LPT port!", "并口模式不支持此功能！"},
      {GuardedTool::CheckMark, PortLPT, "Sorry! This function doesn't support LPT port!", "并口模式不支持此功能！"},
      {GuardedTool::ADConverter, PortNet, "Sorry! This tool doesn't support net port!",
       "以太网接口模式不支持此功能！"},
  };
  for (const auto& c : cases) {
    for (const char* lang : {"English", "Chinese"}) {
      SCOPED_TRACE(std::string(c.english) + " " + lang);
      Language = lang;
      PortType = c.kind;
      MessageRecorder rec;
      EXPECT_FALSE(CheckPortGuard(c.tool));
      ASSERT_EQ(rec.messages().size(), 1u);
      EXPECT_EQ(rec.messages()[0].kind, MessageKind::Warning);
      EXPECT_EQ(rec.messages()[0].text, QString::fromUtf8(Language == "English" ? c.english : c.chinese));
    }
  }
  // The bundler wait time's refusal is an information box.
  for (const char* lang : {"English", "Chinese"}) {
    Language = lang;
    PortType = PortNone;
    MessageRecorder rec;
    EXPECT_FALSE(CheckPortGuard(GuardedTool::BundlerWaitTime));
    ASSERT_EQ(rec.messages().size(), 1u);
    EXPECT_EQ(rec.messages()[0].kind, MessageKind::Information);
    EXPECT_EQ(rec.messages()[0].title, QString::fromUtf8(Language == "English" ? "Information" : "信息"));
    EXPECT_EQ(rec.messages()[0].text,
              QString::fromUtf8(Language == "English" ? "Please configurate the printer's port before other operations!"
                                                      : "在进行此操作前请确认端口配置正确！"));
  }
  PortType = PortCOM;
  MessageRecorder rec;
  EXPECT_TRUE(CheckPortGuard(GuardedTool::StatusMonitor));
  EXPECT_TRUE(rec.messages().empty());
  PortType = PortNone;
  EXPECT_TRUE(CheckPortGuard(GuardedTool::PortSet));
  EXPECT_TRUE(rec.messages().empty());
}

}  // namespace
