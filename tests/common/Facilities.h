// Facilities that scripts/setup.sh puts on the machine (a private cupsd,
// /dev/full): a test that finds one missing skips on a developer's machine,
// but fails where TORVA_CI=1 (scripts/test.sh) says they must be there, so CI
// cannot pass by skipping.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

namespace torva::test {

inline bool FacilitiesRequired() {
  const char* ci = std::getenv("TORVA_CI");
  return ci && *ci && std::strcmp(ci, "0") != 0;
}

}  // namespace torva::test

// Ends the test when a facility setup.sh installs is missing: a skip on a
// developer's machine, a failure in CI. `why` is empty when it is there.
#define TORVA_REQUIRE_FACILITY(why)                                                           \
  do {                                                                                        \
    const std::string torvaWhy_ = (why);                                                      \
    if (!torvaWhy_.empty()) {                                                                 \
      if (torva::test::FacilitiesRequired()) FAIL() << "required with TORVA_CI: " << torvaWhy_; \
      GTEST_SKIP() << torvaWhy_;                                                              \
    }                                                                                         \
  } while (0)
