#!/usr/bin/env bash
# Builds the console three ways and runs the tests. This is what CI runs.
#   1. Debug with AddressSanitizer and UndefinedBehaviorSanitizer: every test,
#      on the offscreen platform but for the few that need an X display, which
#      then run on a private Xvfb with a window manager and a tray
#      (scripts/x11-tests.sh).
#   2. Release with the tests, as the README builds it: everything must build
#      with the optimiser's warnings as errors; the link and simulator tests run.
#   3. ThreadSanitizer: the link, the simulator and their tests (the toolkit is
#      not built for it, so nothing with widgets), run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs="$(nproc)"

# What setup.sh installs (the private cupsd, /dev/full) must be there: tests
# that would skip without it fail instead.
export TORVA_CI=1
export QT_QPA_PLATFORM=offscreen

stage_start=$SECONDS
stage() {
  if [ -n "${stage_name:-}" ]; then echo "== $stage_name: $((SECONDS - stage_start)) s"; fi
  stage_name="$1"
  stage_start=$SECONDS
  [ -n "$stage_name" ] && echo "== $stage_name"
  return 0
}

stage "1/3 Debug, AddressSanitizer and UndefinedBehaviorSanitizer: every test"
build=build-test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTORVA_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$jobs"
x11_tests="$(bash scripts/x11-tests.sh --names)"
(
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
  export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 300 -E "$x11_tests"
  # One at a time: they share the display and its window manager.
  xvfb-run -a -s "-screen 0 1024x768x24" bash scripts/x11-tests.sh "$build"
)

stage "2/3 Release: everything builds; the link and simulator tests run"
build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVA_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 300 -L '^(link|sim)$'

stage "3/3 ThreadSanitizer: the link and simulator tests"
build=build-tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTORVA_TSAN=ON >/dev/null
cmake --build "$build" -j"$jobs"
(
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
  ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 300
)
stage ""
