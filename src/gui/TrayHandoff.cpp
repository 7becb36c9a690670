#include "gui/TrayHandoff.h"

#include <QPointer>
#include <utility>
#include <vector>

namespace torva::gui {

namespace {

struct Follower {
  QPointer<QWidget> window;
  std::function<void()> comeBack;
};

struct Claim {
  QPointer<QWidget> claimant;
  std::vector<Follower> followers;
};

Claim& Current() {
  static Claim claim;
  return claim;
}

}  // namespace

bool ClaimTray(QWidget* window) {
  Claim& c = Current();
  if (c.claimant && c.claimant != window) return false;
  c.claimant = window;
  return true;
}

QWidget* TrayClaimant() { return Current().claimant; }

void FollowTrayClaimant(QWidget* window, std::function<void()> comeBack) {
  Current().followers.push_back({window, std::move(comeBack)});
}

void EndTrayClaim() {
  Claim& c = Current();
  c.claimant = nullptr;
  // Taken out first: a comeBack may minimise again and start a new claim.
  std::vector<Follower> followers;
  followers.swap(c.followers);
  for (Follower& f : followers)
    if (f.window && f.comeBack) f.comeBack();
}

}  // namespace torva::gui
