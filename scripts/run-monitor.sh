#!/usr/bin/env bash
# Demo of the monitor: starts the recorder simulator with 12 recorders and
# the monitor against it in a fresh program folder. Without a display both
# run under Xvfb; a screenshot of the screen is saved to out/monitor.png.
# With a display the monitor keeps running until its exit command or Ctrl-C.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$root/build/bin"
out="$root/out"

if [[ ! -x "$bin/RDXMON-1_V104" || ! -x "$bin/rdx512-sim" || ! -x "$bin/rdx-shot" || ! -e "$bin/libRDX500Comm3.so" ]]; then
  if [[ -x "$root/scripts/setup.sh" || -f "$root/scripts/setup.sh" ]]; then
    bash "$root/scripts/setup.sh"
  else
    cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$root/build" -j"$(nproc)"
  fi
fi

work="$(mktemp -d)"
pids=()
cleanup() {
  # The monitor first (it stores its settings), then the simulator and Xvfb.
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A fresh program folder: the program, the link library, and settings for
# 12 recorders on COM1 at 9600 bit/s (one 20-byte record).
cp "$bin/RDXMON-1_V104" "$bin/libRDX500Comm3.so" "$work/"
printf 'COM19600' >"$work/RDX512INIT.SET"
printf '12' >>"$work/RDX512INIT.SET"
printf '\x3c\x00\x00\x00\x00\x00\x00\x00\x00\x00' >>"$work/RDX512INIT.SET"

"$bin/rdx512-sim" --dir "$work" --addresses 1-12 --ready-file "$work/sim-ready" >/dev/null &
pids+=($!)
for _ in $(seq 100); do
  [[ -e "$work/sim-ready" ]] && break
  sleep 0.05
done
[[ -e "$work/sim-ready" ]] || { echo "run-monitor: the simulator did not come up" >&2; exit 1; }

display_started=0
if [[ -z "${DISPLAY:-}" ]]; then
  # No display: a virtual one, just for the screenshot.
  for n in $(seq 99 120); do
    [[ -e "/tmp/.X11-unix/X$n" || -e "/tmp/.X$n-lock" ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=":$n"
    display_started=1
    break
  done
  for _ in $(seq 100); do
    [[ -e "/tmp/.X11-unix/${DISPLAY#:}" || -e "/tmp/.X11-unix/X${DISPLAY#:}" ]] && break
    sleep 0.05
  done
fi

export QT_QPA_PLATFORM=xcb
"$work/RDXMON-1_V104" &
monitor_pid=$!
pids=("$monitor_pid" "${pids[@]}")

sleep 8
mkdir -p "$out"
"$bin/rdx-shot" "$out/monitor.png"
echo "Screenshot: $out/monitor.png"

if ((display_started)); then
  exit 0
fi
echo "The monitor is running; leave it with File > eXit or press Ctrl-C."
wait "$monitor_pid" || true
