// The console's main block: one instance, its main window, the message loop.
//
// Environment (for tests and screenshots, not needed in use):
//   TORVA_REPORT_RAISE=1     print "raised" on stdout whenever a later start
//                            asked this instance to come forward
//   TORVA_SCREENSHOT=FILE    save a picture of the main window to FILE (PNG)
//                            once it is shown, then end
#include <QApplication>
#include <QCursor>
#include <QTimer>
#include <cstdio>

#include "link/Descriptors.h"
#include "shell/MainForm.h"
#include "shell/SingleInstance.h"

int main(int argc, char** argv) {
  EnsureStdDescriptors();

  SingleInstance guard;
  if (!guard.TryBecomeFirst()) {
    // Another console runs: bring it forward and end without a window.
    guard.AskFirstToComeForward();
    return 0;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("TORVAConsole");
  QApplication::setApplicationDisplayName("TORVAConsole");
  guard.StartListening();

  TMainForm window;
  const bool report = qEnvironmentVariableIsSet("TORVA_REPORT_RAISE");
  QObject::connect(&guard, &SingleInstance::raiseRequested, &window, [&window, report] {
    window.BringToFront();
    if (report) {
      std::printf("raised\n");
      std::fflush(stdout);
    }
  });
  window.show();

  const QString shot = qEnvironmentVariable("TORVA_SCREENSHOT");
  if (!shot.isEmpty()) {
    // The pointer goes to the corner first, so no button shows as hovered.
    QCursor::setPos(0, 0);
    QTimer::singleShot(1500, &window, [&window, shot] {
      window.grab().save(shot, "PNG");
      QApplication::quit();
    });
  }
  return app.exec();
}
