#!/usr/bin/env bash
# Pictures of the alarms for the README and the help: the monitor against
# the simulator (12 recorders, recorder 04 silent) under Xvfb, with limits
# the simulator's curves cross. Saves docs/screenshots/alarms-main.png (the
# main window with channels in alarm) and alarms-list.png (the alarm list
# after some were acknowledged), and prints the alarm journal.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${RDX_BIN:-$root/build/bin}"
out="$root/docs/screenshots"
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

cp "$bin/RDXMON-1_V104" "$bin/libRDX500Comm3.so" "$work/"
printf 'COM19600' >"$work/RDX512INIT.SET"
printf '12' >>"$work/RDX512INIT.SET"
printf '\x3c\x00\x00\x00\x00\x00\x00\x00\x00\x00' >>"$work/RDX512INIT.SET"
# The simulator's channel 1 swings 25 +- 15 (10 min), channel 3 500 +- 400
# (15 min), channel 6 1 +- 0.8 (200 s), each recorder at a phase of its own.
# Channel 6 has a high and a low limit at one level, a different level on
# each recorder: wherever it crosses, one alarm returns and the other comes.
{
  printf '[general]\ncommunication_timeout = 8\n'
  level=(0 0.45 0.6 0.75 0.9 1.05 1.2 1.35 1.5 1.65 0.5 0.8 1.1)
  for n in $(seq 12); do
    r=$(printf '%02d' "$n")
    printf '\n[%s-1]\nhigh = 33, deadband 0.2, delay 2\n' "$r"
    printf '\n[%s-3]\nhigh_high = 850, deadband 5\nlow_low = 150, deadband 10\n' "$r"
    printf '\n[%s-6]\nhigh = %s\nlow = %s\n' "$r" "${level[$n]}" "${level[$n]}"
  done
} >"$work/RDX512ALARM.INI"

"$bin/rdx512-sim" --dir "$work" --addresses 1-12 --silent 4 --ready-file "$work/sim-ready" >/dev/null &
pids+=($!)
for _ in $(seq 100); do [[ -e "$work/sim-ready" ]] && break; sleep 0.05; done

for n in $(seq 99 140); do
  [[ -e "/tmp/.X11-unix/X$n" || -e "/tmp/.X$n-lock" ]] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=":$n"
  break
done
for _ in $(seq 100); do [[ -e "/tmp/.X11-unix/X${DISPLAY#:}" ]] && break; sleep 0.05; done

# Keys to a window (there is no window manager to activate it).
press() { xdotool windowfocus "$1"; sleep 0.3; xdotool key "$2"; sleep 0.5; }

export QT_QPA_PLATFORM=xcb
(cd "$work" && ./RDXMON-1_V104) &
pids=($! "${pids[@]}")
sleep 20
main="$(xdotool search --onlyvisible --name '^RDX-512 monitor$' | head -1)"
# Acknowledge the four newest alarms, then let new ones come and some return.
press "$main" ctrl+l
sleep 1
list="$(xdotool search --onlyvisible --name '^Alarm list' | head -1)"
xdotool windowfocus "$list"
sleep 0.3
xdotool key Home shift+Down shift+Down shift+Down alt+a
xdotool windowmove "$list" 1400 0  # out of the picture for now
sleep 30
mkdir -p "$out"
size() { xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p'; }
xdotool windowmove "$main" 0 0
sleep 1
"$bin/rdx-shot" "$out/alarms-main.png" 0 0 $(size "$main")
xdotool windowmove "$list" 0 0
xdotool windowraise "$list"
sleep 1
"$bin/rdx-shot" "$out/alarms-list.png" 0 0 $(size "$list")
echo "Screenshots: $out/alarms-main.png $out/alarms-list.png"
echo "--- RDX512ALARM.LOG"
cat "$work/RDX512ALARM.LOG"
