// Runs scripts/run.sh as a newcomer starts it, with a program standing in for
// the console: a build folder of its own in `dir` holds the built simulator
// and the stand-in under the console's name, and the script runs in `dir`
// with `dir` as the runtime folder, its standard input at its end, and none
// of the caller's USB socket or COM1.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace torva::test {

struct ScriptRun {
  bool exitedZero = false;
  std::string output;  // standard output and standard error together
};

// `standIn` is a path below the build's own folder (TORVA_BINARY_DIR);
// `options` go to run.sh as they are, after --no-build.
inline ScriptRun RunScriptWithStandIn(const std::string& dir, const std::string& standIn, const std::string& options,
                                      const std::string& environment = {}) {
  const std::string build = dir + "/build";
  std::filesystem::create_directory(build);
  std::filesystem::create_symlink(std::string(TORVA_BINARY_DIR) + "/torva-printer-sim", build + "/torva-printer-sim");
  std::filesystem::create_symlink(std::string(TORVA_BINARY_DIR) + "/" + standIn, build + "/TORVAConsole");
  const std::string cmd = "cd '" + dir + "' && env -u TORVA_USB_SIM -u TORVA_COM1 TORVA_BUILD='" + build +
                          "' XDG_RUNTIME_DIR='" + dir + "' " + environment + " bash '" + TORVA_SOURCE_DIR +
                          "/scripts/run.sh' --no-build " + options + " </dev/null 2>&1";
  ScriptRun run;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return run;
  char buf[512];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) run.output.append(buf, n);
  const int status = pclose(p);
  run.exitedZero = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

}  // namespace torva::test
