#!/usr/bin/env bash
# Installs the Debian packages the console needs to build, run and test.
# Idempotent: packages already there are skipped, and nothing is printed when
# everything is in place.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang libclang-rt-dev
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  libusb-1.0-0-dev libcups2-dev libxcb1-dev cups cups-client cups-bsd
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  fonts-wqy-microhei fonts-dejavu-core fonts-freefont-ttf qt6-translations-l10n
  xvfb xauth trayer openbox xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
