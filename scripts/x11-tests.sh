#!/usr/bin/env bash
# Runs the tests that need a real X display: the help window's lookup among
# the X11 windows, and the tray icon under a window manager that iconifies a
# dialog's parent with it. scripts/test.sh calls it inside xvfb-run; this
# script starts openbox and trayer on that display, runs the tests on the
# toolkit's xcb platform and stops both again.
#
#   xvfb-run -a -s "-screen 0 1024x768x24" bash scripts/x11-tests.sh BUILD-DIR [ctest arguments]
#   bash scripts/x11-tests.sh --names     prints the tests' names as a ctest regex
set -euo pipefail

# The tests of an X display, as ctest names them; scripts/test.sh leaves
# them out of the offscreen run.
x11_tests='HelpWindowTest\.TheToolkitsConnectionFindsItsOwnTitledWindow|\.UnderAWindowManagerOnX11'
if [ "${1:-}" = "--names" ]; then
  echo "$x11_tests"
  exit 0
fi

build="$1"
shift
: "${DISPLAY:?no X display: run this under xvfb-run}"

# libxkbcommon-x11, which the toolkit's xcb platform loads the keymap with,
# copies a counted, unterminated string with strndup; the strict string
# checks of AddressSanitizer take that for an overflow. The later setting
# wins; every other check stays as the caller set it.
if [ -n "${ASAN_OPTIONS:-}" ]; then export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"; fi

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# The tests wait until the window manager and the tray are there.
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
trayer --edge bottom --align right --widthtype pixel --width 160 --heighttype pixel --height 24 >/dev/null 2>&1 &
pids+=($!)

TORVA_TEST_QPA_PLATFORM=xcb ctest --test-dir "$build" --output-on-failure --timeout 300 -R "$x11_tests" "$@"
