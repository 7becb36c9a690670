#!/usr/bin/env bash
# Builds the console and starts it. With --simulator, a simulated printer is
# started on a pseudo-terminal first and "COM1" is pointed at it, so every road
# can be tried without a printer: choose COM1 in the port-setting dialog, then
# use the Test menu, the status monitor or the settings editors.
#
#   scripts/run.sh [--simulator] [--model CODE] [other arguments for the console]
set -euo pipefail
cd "$(dirname "$0")/.."

simulator=0
model=""
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --simulator) simulator=1 ;;
    --model) shift; model="${1:-}" ;;
    --model=*) model="${1#--model=}" ;;
    *) args+=("$1") ;;
  esac
  shift
done

bash scripts/setup.sh
build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target TORVAConsole torva-printer-sim

sim_pid=""
cleanup() { if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi; }
trap cleanup EXIT

if [ "$simulator" -eq 1 ]; then
  runtime="${XDG_RUNTIME_DIR:-/tmp}"
  link="$runtime/torva-COM1-$$"
  sim_args=(--serial-link "$link")
  [ -n "$model" ] && sim_args+=(--model "$model")
  "$build/torva-printer-sim" "${sim_args[@]}" &
  sim_pid=$!
  for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
  if [ ! -e "$link" ]; then
    echo "The simulated printer did not start." >&2
    exit 1
  fi
  export TORVA_COM1="$link"
  echo "Simulated printer on $link (COM1)."
fi

"$build/TORVAConsole" "${args[@]}"
