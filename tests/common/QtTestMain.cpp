// Test main for the widget tests: descriptors 0 to 2 open, one QApplication
// for the whole program (offscreen unless the environment says otherwise).
#include <gtest/gtest.h>

#include <QApplication>

#include "link/Descriptors.h"

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
