// scripts/run.sh --simulator, as a newcomer starts it: the simulated printer
// it starts is reached on "COM1" and on "USB". A stand-in for the console
// (usb_list_printers) lists the USB printers it finds where the console
// would look, so the test needs no display.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "SimHelpers.h"

namespace {

TEST(RunScript, SimulatorIsReachedOverUsbAndCom1) {
  simtest::TempDir dir;
  const std::string build = dir.path + "/build";
  std::filesystem::create_directory(build);
  std::filesystem::create_symlink(std::string(TORVA_BINARY_DIR) + "/torva-printer-sim", build + "/torva-printer-sim");
  std::filesystem::create_symlink(std::string(TORVA_BINARY_DIR) + "/tests/usb_list_printers", build + "/TORVAConsole");
  // The simulated printer is a VD-K773 here, so the name listed on USB is
  // the one run.sh's printer answers, not a default.
  const std::string cmd = "cd '" + dir.path + "' && env -u TORVA_USB_SIM -u TORVA_COM1 TORVA_BUILD='" + build +
                          "' XDG_RUNTIME_DIR='" + dir.path + "' bash '" + TORVA_SOURCE_DIR +
                          "/scripts/run.sh' --simulator --no-build --model 12 </dev/null 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[512];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int status = pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
  EXPECT_NE(out.find("usb printer: VD-K773\n"), std::string::npos) << out;
  EXPECT_NE(out.find("COM1: " + dir.path + "/torva-COM1-"), std::string::npos) << out;
  EXPECT_NE(out.find("(\"USB\" in the port dialog)"), std::string::npos) << out;
}

}  // namespace
