// Test main for the programs without widgets: keeps descriptors 0 to 2 open
// first, so that no port handle opened by a test is ever 0.
#include <gtest/gtest.h>

#include "link/Descriptors.h"

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
