#include "link/PortNames.h"

#include <cstdlib>

namespace {

// Number n of "<prefix>n" with n in 1..max, else 0.
int PortNumber(const std::string& name, const std::string& prefix, int max) {
  if (name.size() != prefix.size() + 1 || name.compare(0, prefix.size(), prefix) != 0) return 0;
  const char c = name.back();
  if (c < '1' || c > '0' + max) return 0;
  return c - '0';
}

std::string FromEnv(const std::string& var) {
  const char* v = std::getenv(var.c_str());
  return (v && *v) ? std::string(v) : std::string();
}

}  // namespace

std::string SerialDeviceForPort(const std::string& name) {
  const int n = PortNumber(name, "COM", 8);
  if (n == 0) return name;
  std::string env = FromEnv("TORVA_COM" + std::to_string(n));
  return env.empty() ? "/dev/ttyS" + std::to_string(n - 1) : env;
}

std::string ParallelDeviceForPort(const std::string& name) {
  const int n = PortNumber(name, "LPT", 4);
  if (n == 0) return name;
  std::string env = FromEnv("TORVA_LPT" + std::to_string(n));
  return env.empty() ? "/dev/lp" + std::to_string(n - 1) : env;
}

std::string NibbleDeviceForPort(int number) {
  if (number < 1 || number > 4) number = 1;
  std::string env = FromEnv("TORVA_PARPORT" + std::to_string(number));
  return env.empty() ? "/dev/parport" + std::to_string(number - 1) : env;
}
