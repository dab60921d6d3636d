#!/usr/bin/env bash
# The documentation's pictures of the operator's view, taken from the real
# program under Xvfb against the simulator:
#
#   scripts/screenshots.sh [OUTDIR] [SUFFIX]
#
# 12 recorders at 9600 bit/s: 03 silent, 07 too slow (its replies never end
# within the time-out), 09 garbled (a line too many), 11 stops answering
# during the second run;
# channels 01-3 and 02-5 not selected, channel 6 of 05 and 10 skipped by the
# recorder. A first run logs every second into a default-named file in the
# program folder and is ended; after a pause a second run starts, logging
# into a file with a long name chosen in the save dialog. In the second run
# it takes (file names end in SUFFIX, default none; OUTDIR defaults to
# out/screenshots):
#
#   trend.png              the trend window as it opens (Ctrl+T)
#   tooltip-*.png          the tooltip of a value: current, not-selected,
#                          skipped, never-answered, incomplete, stale, garbled
#   status-line.png        the bottom of the main window (-hover: the
#                          pointer on the count of recorders answering)
#   status.png             the main window beside the table of recorders
#   screen.png             the whole screen at the end
#
# RDX_BIN (default build/bin) names the folder of the programs, so pictures
# of another build can be taken the same way. RDX_RUN1, RDX_PAUSE and
# RDX_RUN2 set the seconds of the first run, the pause and the wait in the
# second run before the pictures (default 150, 20 and 45). Needs xdotool
# (installed when missing).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${RDX_BIN:-$root/build/bin}"
out="${1:-$root/out/screenshots}"
suffix="${2:-}"
run1="${RDX_RUN1:-150}" pause="${RDX_PAUSE:-20}" run2="${RDX_RUN2:-45}"
# rdx-shot of this tree (it can take a part of the screen).
shot="${RDX_SHOT:-$root/build/bin/rdx-shot}"

for p in RDXMON-1_V104 libRDX500Comm3.so rdx512-sim; do
  [[ -e "$bin/$p" ]] || { echo "screenshots: $bin/$p is missing (build first)" >&2; exit 1; }
done
[[ -x "$shot" ]] || { echo "screenshots: $shot is missing (build the target rdx-shot)" >&2; exit 1; }
if ! command -v xdotool >/dev/null; then
  sudo=()
  [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends xdotool
fi

work="$(mktemp -d)"
pids=()
monitor_pid=""
cleanup() {
  [[ -n "$monitor_pid" ]] && { kill "$monitor_pid" 2>/dev/null || true; wait "$monitor_pid" 2>/dev/null || true; }
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
mkdir -p "$out"

cp "$bin/RDXMON-1_V104" "$bin/libRDX500Comm3.so" "$work/"
# RDX512INIT.SET: COM1, 9600, 12 recorders, every 1 s, seconds, then the
# file mode (1 default file, 0 user select) and logging running.
settings() {
  python3 - "$work/RDX512INIT.SET" "$1" <<'EOF'
import struct, sys
open(sys.argv[1], "wb").write(b"COM19600" + b"12" + struct.pack("<ihhh", 1, 0, int(sys.argv[2]), 1))
EOF
}
# RDX512NAME.SET: names for the first recorders, 01-3 and 02-5 not selected.
python3 - "$work/RDX512NAME.SET" <<'EOF'
import struct, sys
names = {0: "Kiln zone 1", 1: "Draught", 2: "Kiln zone 2", 3: "Humidity", 4: "Cooling water", 5: "Flow"}
records = b""
for k in range(186):
    name = names.get(k, "Channel %02d-%d" % (k // 6 + 1, k % 6 + 1))
    selected = 0 if k in (2, 10) else 1
    records += name.encode("ascii").ljust(18, b" ")[:18] + struct.pack("<h", selected)
open(sys.argv[1], "wb").write(records)
EOF
settings 1

# The simulator lives through both runs; 11 stops answering in the second.
"$bin/rdx512-sim" --dir "$work" --addresses 1-12 --silent 3 --slow 7 --extra 9 --quits 11 \
  --quit-after $((run1 + pause + 20)) --ready-file "$work/sim-ready" >/dev/null &
pids+=($!)
for _ in $(seq 100); do
  [[ -e "$work/sim-ready" ]] && break
  sleep 0.05
done
[[ -e "$work/sim-ready" ]] || { echo "screenshots: the simulator did not come up" >&2; exit 1; }

for n in $(seq 99 140); do
  [[ -e "/tmp/.X11-unix/X$n" || -e "/tmp/.X$n-lock" ]] && continue
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=":$n"
  break
done
for _ in $(seq 100); do
  [[ -e "/tmp/.X11-unix/X${DISPLAY#:}" ]] && break
  sleep 0.05
done
export QT_QPA_PLATFORM=xcb

window_of() {  # window_of NAME [MIN-WIDTH]: the widest visible window of that title
  local best="" widest=0 id
  for _ in $(seq 300); do
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true); do
      eval "$(xdotool getwindowgeometry --shell "$id")"
      if ((WIDTH > widest && WIDTH >= ${2:-0})); then best="$id" widest="$WIDTH"; fi
    done
    [[ -n "$best" ]] && { echo "$best"; return 0; }
    sleep 0.1
  done
  echo "screenshots: no window \"$1\"" >&2
  return 1
}
geometry() {  # geometry ID: "X Y WIDTH HEIGHT"
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$X $Y $WIDTH $HEIGHT"
}
take() {  # take NAME X Y WIDTH HEIGHT
  "$shot" "$out/$1$suffix.png" "$2" "$3" "$4" "$5"
  echo "$out/$1$suffix.png"
}

# First run: logs every second into a default-named file.
(cd "$work" && exec ./RDXMON-1_V104) &
monitor_pid=$!
window_of "RDX-512 monitor" >/dev/null
sleep "$run1"
kill "$monitor_pid"
wait "$monitor_pid" || true
monitor_pid=""
sleep "$pause"

# Second run: the save dialog at start (beside the splash window, of the
# same title) takes a long name.
settings 0
(cd "$work" && exec ./RDXMON-1_V104) &
monitor_pid=$!
dialog="$(window_of "RDX-512 monitor" 500)"
xdotool windowfocus "$dialog" 2>/dev/null || true
sleep 1
xdotool key ctrl+a
xdotool type --delay 5 "Kiln 2 commissioning run, night shift of 7 December 2026, all twelve recorders at 1 s, raw values for the acceptance report.csv"
xdotool key Return
main="$(window_of "RDX-512 monitor" 700)"
sleep "$run2"
read -r mx my mw mh <<<"$(geometry "$main")"
# Tooltips show for the active window.
xdotool windowfocus "$main" 2>/dev/null || true

# Value labels: channel k of page 0 sits in column k/24, row k%24 (a gap
# after every six rows); the grid starts under the menu bar.
menu=21
label_at() {  # label_at K: the middle of channel K's value label on the screen
  local col=$(($1 / 24)) row=$(($1 % 24))
  echo "$((mx + 4 + col * 302 + 218 + 38)) $((my + menu + 24 + row * 17 + row / 6 * 5 + 8))"
}
tip() {  # tip NAME K: the tooltip of channel K's value
  local x y
  read -r x y <<<"$(label_at "$2")"
  xdotool mousemove $((mx + mw - 20)) $((my + mh - 60))
  sleep 0.5
  xdotool mousemove "$x" "$y"
  sleep 1.5
  take "tooltip-$1" $((x - 100)) $((y - 30)) 660 100
}
tip current 0
tip not-selected 2
tip skipped 29
tip never-answered 12
tip incomplete 36
tip stale 60
tip garbled 48
xdotool mousemove $((mx + mw - 20)) $((my + mh - 60))
sleep 1

take status-line "$mx" $((my + mh - 40)) "$mw" 40

# The table of recorders: a click on the count of recorders answering.
xdotool mousemove $((mx + 200)) $((my + mh - 11))
sleep 1
take status-line-hover "$mx" $((my + mh - 40)) "$mw" 40
xdotool click 1
table="$(window_of "Recorders on the line")"
sleep 2
read -r tx ty tw th <<<"$(geometry "$table")"
xdotool windowmove "$table" $((mx + mw + 8)) "$my"
sleep 1
read -r tx ty tw th <<<"$(geometry "$table")"
take status "$mx" "$my" $((tx + tw - mx)) $((mh > th ? mh : th))
xdotool windowunmap "$table"

# The trend as it opens.
xdotool mousemove $((mx + mw / 2)) $((my + 100))
xdotool windowfocus "$main" 2>/dev/null || true
sleep 0.5
xdotool key ctrl+t
trend="$(window_of "Trend")"
sleep 3
read -r gx gy gw gh <<<"$(geometry "$trend")"
xdotool mousemove $((gx + gw - 5)) $((gy + gh - 5))
sleep 1
take trend "$gx" "$gy" "$gw" "$gh"
"$shot" "$out/screen$suffix.png"
echo "$out/screen$suffix.png"
