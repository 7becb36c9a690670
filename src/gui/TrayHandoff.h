// One tray icon for the main window and an open status dialog.
//
// Each of the two hides behind a tray icon of its own when it is minimised:
// the status dialog takes the main window with it, the main window goes
// alone. Some window managers iconify a modal dialog's parent together with
// the dialog, and the dialog with its parent, so both windows are told they
// were minimised, in either order, and each would add its icon. The first
// window told claims the tray: it goes there with its own icon as it always
// does; a window told after it adds none. A dialog told after the main window
// hides and comes back when the main window does.
//
// The claim is taken at once, in the window's state-change handler, before
// the deferred step that adds the icon runs.
#pragma once

#include <QWidget>
#include <functional>

namespace torva::gui {

// `window` was minimised: true when no other window holds the claim (it now
// does; a claim of a window that is gone counts as none), false when
// another one does.
bool ClaimTray(QWidget* window);
// The window that holds the claim, nullptr when none does.
QWidget* TrayClaimant();
// `window`, minimised after the claimant, waits hidden: comeBack runs when
// the claim ends.
void FollowTrayClaimant(QWidget* window, std::function<void()> comeBack);
// The windows came back from the tray: the claim ends and the followers come
// back (each comeBack once, if its window is still there).
void EndTrayClaim();

}  // namespace torva::gui
