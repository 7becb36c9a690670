// One tray icon for a minimised status dialog and its main window.
//
// Some window managers (openbox among them) iconify a modal dialog's parent
// with the dialog, and the dialog with its parent, so both windows are told
// they were minimised, in either order. The window told first goes to the
// tray with its icon; the other adds none, and comes back with it.
//
// The first test plays the window manager's part on the offscreen platform;
// the one named OnX11 needs a real X display with openbox and a tray
// (scripts/x11-tests.sh runs it under Xvfb with openbox and trayer).
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>

#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

#include "ShellFixture.h"
#include "link/PortState.h"
#include "shell/MainForm.h"
#include "status/HardwareStatus.h"
#include "status/StatusDialog.h"

namespace {

using shelltest::WaitFor;
using torva::status::StatusDialog;

int VisibleIcons(const TMainForm& main, const StatusDialog& d) {
  return (main.TrayIconVisible() ? 1 : 0) + (d.TrayIconVisible() ? 1 : 0);
}

// Lets every deferred step queued so far (each window's way into the tray)
// run: a zero-time timer queued now fires after them.
void RunQueuedSteps() {
  bool done = false;
  QTimer::singleShot(0, [&] { done = true; });
  WaitFor([&] { return done; }, 5000);
}

class TrayOneIcon : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    Language = "English";
    PrinterName = 3;
  }
  void TearDown() override {
    StatusDialog::trayAvailableOverride.reset();
    bMinimize = false;
    ShellTest::TearDown();
  }
};

TEST_F(TrayOneIcon, WhicheverWindowIsMinimisedFirst) {
  TMainForm::trayAvailableOverride = true;
  StatusDialog::trayAvailableOverride = true;
  TMainForm& main = Open();
  main.show();
  for (bool mainFirst : {true, false}) {
    SCOPED_TRACE(mainFirst ? "main window first" : "dialog first");
    THardwareStatusForm d(&main);
    d.SetupForModel(3);
    d.show();
    // The window manager iconifies both, one after the other, before either
    // has gone to the tray.
    QWidget* first = mainFirst ? static_cast<QWidget*>(&main) : &d;
    QWidget* second = mainFirst ? static_cast<QWidget*>(&d) : &main;
    first->setWindowState(first->windowState() | Qt::WindowMinimized);
    second->setWindowState(second->windowState() | Qt::WindowMinimized);
    ASSERT_TRUE(WaitFor([&] { return !main.isVisible() && !d.isVisible() && bMinimize.load(); }, 5000));
    RunQueuedSteps();
    EXPECT_EQ(VisibleIcons(main, d), 1);
    // The icon of the window minimised first; a click on it brings both back.
    EXPECT_EQ(main.TrayIconVisible(), mainFirst);
    EXPECT_EQ(d.TrayIconVisible(), !mainFirst);
    EXPECT_FALSE(main.isVisible());
    EXPECT_FALSE(d.isVisible());

    if (mainFirst)
      main.TrayIconActivated(QSystemTrayIcon::Trigger);
    else
      emit d.TrayIcon()->activated(QSystemTrayIcon::Trigger);
    RunQueuedSteps();
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(main.isMinimized()) << "back as an ordinary window, not iconified";
    EXPECT_TRUE(d.isVisible());
    EXPECT_FALSE(d.isMinimized());
    EXPECT_FALSE(bMinimize.load());
    EXPECT_EQ(VisibleIcons(main, d), 0);

    // The next minimise starts afresh: the dialog alone, then both again.
    d.setWindowState(d.windowState() | Qt::WindowMinimized);
    ASSERT_TRUE(WaitFor([&] { return d.TrayIconVisible(); }, 5000));
    RunQueuedSteps();
    EXPECT_EQ(VisibleIcons(main, d), 1);
    EXPECT_FALSE(main.isVisible());
    emit d.TrayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(main.isVisible());
    EXPECT_TRUE(d.isVisible());
    d.ExitClick();
  }
  // With the dialog closed the main window takes its own icon again.
  main.setWindowState(main.windowState() | Qt::WindowMinimized);
  ASSERT_TRUE(WaitFor([&] { return main.TrayIconVisible(); }, 5000));
  EXPECT_FALSE(main.isVisible());
}

// Whether a window manager runs on the display (it names its check window
// on the root window).
bool WindowManagerRuns() {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11) return false;
  xcb_connection_t* c = x11->connection();
  const char name[] = "_NET_SUPPORTING_WM_CHECK";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr);
  if (!atom) return false;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  xcb_get_property_reply_t* prop =
      xcb_get_property_reply(c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
  const bool runs = prop && xcb_get_property_value_length(prop) == 4;
  free(prop);
  free(atom);
  return runs;
}

// A request answered by the X server: every event it sent before is in.
void XRoundTrip() {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11) return;
  xcb_connection_t* c = x11->connection();
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

// What the minimise button of a window's frame asks of the window manager
// (ICCCM: WM_CHANGE_STATE with IconicState, sent to the root window).
void AskWindowManagerToIconify(WId window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11) return;
  xcb_connection_t* c = x11->connection();
  const char name[] = "WM_CHANGE_STATE";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
  if (!atom) return;
  xcb_client_message_event_t ev{};
  ev.response_type = XCB_CLIENT_MESSAGE;
  ev.format = 32;
  ev.window = static_cast<xcb_window_t>(window);
  ev.type = atom->atom;
  ev.data.data32[0] = 3;  // IconicState
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&ev));
  xcb_flush(c);
  free(atom);
}

TEST_F(TrayOneIcon, UnderAWindowManagerOnX11) {
  // Run by scripts/x11-tests.sh, which gives it the display; elsewhere there
  // is nothing to test against.
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "not on an X display";
  ASSERT_TRUE(WaitFor(WindowManagerRuns, 10000)) << "no window manager on the display";
  ASSERT_TRUE(WaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000)) << "no tray on the display";
  TMainForm& main = Open();
  main.show();
  ASSERT_TRUE(WaitFor([&] { return main.windowHandle() && main.windowHandle()->isExposed(); }, 10000));
  THardwareStatusForm d(&main);
  d.SetupForModel(3);
  // Modal, as the main window opens it: the window manager ties a modal
  // dialog to its parent.
  d.setWindowModality(Qt::ApplicationModal);
  d.show();
  ASSERT_TRUE(WaitFor([&] { return d.windowHandle() && d.windowHandle()->isExposed(); }, 10000));
  // The user minimises the dialog from its frame: the window manager
  // iconifies it, and with it the main window.
  AskWindowManagerToIconify(d.winId());
  ASSERT_TRUE(WaitFor([&] { return VisibleIcons(main, d) > 0 && !main.isVisible() && !d.isVisible(); }, 10000));
  // Whatever the window manager reported of the two iconifies has arrived
  // after a round trip to the server, and the steps it started have run.
  XRoundTrip();
  RunQueuedSteps();
  XRoundTrip();
  RunQueuedSteps();
  EXPECT_EQ(VisibleIcons(main, d), 1);

  // The one icon, whichever window's it is, brings both back.
  if (main.TrayIconVisible())
    main.TrayIconActivated(QSystemTrayIcon::Trigger);
  else
    emit d.TrayIcon()->activated(QSystemTrayIcon::Trigger);
  ASSERT_TRUE(WaitFor([&] { return main.windowHandle()->isExposed() && d.windowHandle()->isExposed(); }, 10000))
      << "both windows come back on the screen";
  EXPECT_FALSE(main.isMinimized());
  EXPECT_EQ(VisibleIcons(main, d), 0);
  d.ExitClick();
}

}  // namespace
