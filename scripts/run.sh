#!/usr/bin/env bash
# Builds the console and starts it. With --simulator, a simulated printer is
# started first, on a pseudo-terminal that "COM1" is pointed at and on the USB
# socket that both USB libraries are pointed at (TORVA_USB_SIM), so every road
# can be tried without a printer: choose COM1 or USB in the port-setting
# dialog, then use the Test menu, the status monitor, the settings editors or
# the tools (a download needs USB: the pseudo-terminal has no CTS line). What
# the console sends is logged to a file in the runtime folder, and the
# simulator takes its commands (status, set, fault, capture ...) from this
# terminal.
#
#   scripts/run.sh [--simulator] [--model CODE] [--usb-printer] [--k773-custom[=CLASS[,STATUS]]]
#                  [--no-build] [other arguments for the console]
#
# --model, --usb-printer and --k773-custom go to the simulator (and imply
# --simulator): --usb-printer offers the USB socket as a USB printer alone, with
# no USB device, so the port dialog lists it under the USB printer kind;
# --k773-custom makes the printer a VD-K773 in its custom USB mode there
# (torva-printer-sim --help says more). --no-build starts what the build
# folder (TORVA_BUILD, default build) already holds, without installing or
# building.
set -euo pipefail
cd "$(dirname "$0")/.."

simulator=0
build_it=1
usb_printer=0
sim_options=()
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --simulator) simulator=1 ;;
    --no-build) build_it=0 ;;
    --model) shift; sim_options+=(--model "${1:-}"); simulator=1 ;;
    --model=*) sim_options+=(--model "${1#--model=}"); simulator=1 ;;
    --usb-printer) sim_options+=("$1"); usb_printer=1; simulator=1 ;;
    --k773-custom|--k773-custom=*) sim_options+=("$1"); usb_printer=1; simulator=1 ;;
    *) args+=("$1") ;;
  esac
  shift
done

build="${TORVA_BUILD:-build}"
if [ "$build_it" -eq 1 ]; then
  bash scripts/setup.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVA_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target TORVAConsole torva-printer-sim
fi

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
  usb="$runtime/torva-usb-$$"
  log="$runtime/torva-sim-$$.log"
  : >"$log"
  sim_args=(--serial-link "$link" --usb-socket "$usb" --log-file "$log" "${sim_options[@]}")
  if [ "$usb_printer" -eq 1 ]; then
    usb_kind="\"USB\" in the port dialog, listed as a USB printer by its model name"
  else
    usb_kind="\"USB\" in the port dialog, listed as the USB device QFUSB-0"
  fi
  echo "Simulated printer on $link (COM1) and on the USB socket $usb ($usb_kind)."
  echo "What the console sends, and the replies, go to $log (watch it with: tail -f $log)."
  if [ -t 0 ]; then
    echo "Type simulator commands in this terminal while the console runs, e.g. 'status 00 00 01 00' or 'fault noreply'; 'help' lists them."
    echo "To check a download: type 'capture raw' (or 'capture save FILE') before it, 'capture report' after it."
  fi
  # The simulator runs beside the console and reads this terminal: a job put
  # in the background by a script would get /dev/null as its input instead.
  "$build/torva-printer-sim" "${sim_args[@]}" <&0 &
  sim_pid=$!
  for _ in $(seq 50); do [ -e "$link" ] && [ -S "$usb" ] && break; sleep 0.1; done
  if [ ! -e "$link" ] || [ ! -S "$usb" ]; then
    echo "The simulated printer did not start." >&2
    exit 1
  fi
  export TORVA_COM1="$link"
  export TORVA_USB_SIM="$usb"
fi

"$build/TORVAConsole" "${args[@]}"
