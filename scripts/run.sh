#!/usr/bin/env bash
# Builds the console and starts it. With --simulator, a simulated printer is
# started on a pseudo-terminal first and "COM1" is pointed at it, so every road
# can be tried without a printer: choose COM1 in the port-setting dialog, then
# use the Test menu, the status monitor or the settings editors. What the
# console sends is logged to a file in the runtime folder, and the simulator
# takes its commands (status, set, fault, ...) from this terminal.
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
# The simulator goes with the console, before the shell reads this terminal again.
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

if [ "$simulator" -eq 1 ]; then
  runtime="${XDG_RUNTIME_DIR:-/tmp}"
  link="$runtime/torva-COM1-$$"
  log="$runtime/torva-sim-$$.log"
  : >"$log"
  sim_args=(--serial-link "$link" --log-file "$log")
  [ -n "$model" ] && sim_args+=(--model "$model")
  echo "Simulated printer on $link (COM1)."
  echo "What the console sends, and the replies, go to $log (watch it with: tail -f $log)."
  if [ -t 0 ]; then
    echo "Type simulator commands in this terminal while the console runs, e.g. 'status 00 00 01 00' or 'fault noreply'; 'help' lists them."
  fi
  # The simulator runs beside the console and reads this terminal: a job put
  # in the background by a script would get /dev/null as its input instead.
  "$build/torva-printer-sim" "${sim_args[@]}" <&0 &
  sim_pid=$!
  for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
  if [ ! -e "$link" ]; then
    echo "The simulated printer did not start." >&2
    exit 1
  fi
  export TORVA_COM1="$link"
fi

"$build/TORVAConsole" "${args[@]}"
