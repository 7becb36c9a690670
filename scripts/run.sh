#!/usr/bin/env bash
# Builds the console and starts it. With --simulator, a simulated printer is
# started on a pseudo-terminal first and "COM1" is pointed at it, so every road
# can be tried without a printer.
set -euo pipefail
cd "$(dirname "$0")/.."

simulator=0
args=()
for a in "$@"; do
  case "$a" in
    --simulator) simulator=1 ;;
    *) args+=("$a") ;;
  esac
done

bash scripts/setup.sh
build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [ "$simulator" -eq 1 ]; then
  link="${XDG_RUNTIME_DIR:-/tmp}/torva-COM1"
  "$build/torva-printer-sim" --serial-link "$link" --tcp 9100 &
  sim_pid=$!
  for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
  export TORVA_COM1="$link"
  echo "Simulated printer on $link (COM1)."
fi

if [ -x "$build/TORVAConsole" ]; then
  "$build/TORVAConsole" "${args[@]}"
else
  echo "The console is not built yet; the simulated printer runs until Ctrl-C."
  [ -n "$sim_pid" ] && wait "$sim_pid"
fi
