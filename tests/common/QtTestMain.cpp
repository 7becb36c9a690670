// Test main for the widget tests: descriptors 0 to 2 open, one QApplication
// for the whole program (offscreen unless the environment says otherwise:
// TORVA_TEST_QPA_PLATFORM, then QT_QPA_PLATFORM).
#include <gtest/gtest.h>

#include <QApplication>

#include "link/Descriptors.h"

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  // ctest gives every widget test QT_QPA_PLATFORM=offscreen; the run of the
  // tests that need an X display (scripts/x11-tests.sh) asks for xcb here.
  if (!qEnvironmentVariableIsEmpty("TORVA_TEST_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", qgetenv("TORVA_TEST_QPA_PLATFORM"));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
