// Finding the help viewer's window when it already shows the manual, so F1
// and the Help menu bring that window forward instead of opening the file a
// second time.
//
// On X11 the top-level windows are looked up by their title through the
// toolkit's own display connection; on any other platform (offscreen,
// Wayland) no window is ever found and the file is opened as usual. Tests
// replace both calls through ScopedHelpWindowCalls.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

struct xcb_connection_t;

namespace torva::gui {

using HelpWindowId = std::uint32_t;

// The title of the viewer's window on the manual of the current language:
// "TORVAConsole's Operator Manual" for English, "TORVAConsole 用户指南" for
// Chinese.
QString HelpWindowTitle();

// An open top-level window titled exactly `title`, if there is one.
using HelpWindowFinder = std::function<std::optional<HelpWindowId>(const QString& title)>;
// Brings the window forward: restored when minimised, raised and activated.
using HelpWindowRaiser = std::function<void(HelpWindowId window)>;

// Looks for the help window of the current language and raises it. True when
// it was found (and raised); false when the file has to be opened.
bool RaiseOpenHelpWindow();

// Replaces the finder and the raiser while the object lives (tests). An empty
// function leaves that call as it was.
class ScopedHelpWindowCalls {
 public:
  ScopedHelpWindowCalls(HelpWindowFinder finder, HelpWindowRaiser raiser);
  ~ScopedHelpWindowCalls();
  ScopedHelpWindowCalls(const ScopedHelpWindowCalls&) = delete;
  ScopedHelpWindowCalls& operator=(const ScopedHelpWindowCalls&) = delete;

 private:
  HelpWindowFinder savedFinder_;
  HelpWindowRaiser savedRaiser_;
};

// The X11 work on any display connection (the toolkit's, or a test's own).
// Looks through the window manager's client list (_NET_CLIENT_LIST) when it
// keeps one, else through the root's children and their children (the frames
// of a reparenting manager and the windows inside them), comparing
// _NET_WM_NAME, or WM_NAME where that is missing, with `title`.
std::optional<HelpWindowId> FindX11WindowByTitle(xcb_connection_t* connection, const QString& title);
// Maps the window when it is iconic, asks the window manager to activate it
// (_NET_ACTIVE_WINDOW, when supported) and stacks it above its siblings.
void RaiseX11Window(xcb_connection_t* connection, HelpWindowId window);

}  // namespace torva::gui
