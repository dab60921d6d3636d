#!/usr/bin/env bash
# The Debian package end to end, as a plant PC meets it: builds the .deb from
# build/ (cpack), checks it with lintian (no errors) and desktop-file-validate,
# installs it, and runs the installed programs as the users who run them:
#  - a throwaway ordinary user in dialout: the simulator (its link in the
#    user's folder), rdx-exchange against it, and the window program
#    offscreen - first start (defaults made in ~/.local/share/rdx512, nothing
#    in the program folder), then with changed settings and the port set to
#    "Simulated recorders": it polls, logs a CSV, stores its settings at the
#    end and starts with them again;
#  - the service as its own user rdx512 against a simulator;
# and finally purges the package and checks that nothing it made is left.
# Needs root (skipped otherwise) and a machine without the package
# installed. About a minute.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
package=rdx512-monitor
folder=/usr/lib/rdx512

if [ "$(id -u)" != 0 ]; then
  echo "deb-test: skipped (installing a package needs root)"
  exit 0
fi
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
  echo "deb-test: skipped ($package is installed on this machine; it is not replaced)"
  exit 0
fi

fail() { echo "deb-test: FAILED: $*" >&2; exit 1; }
step() { echo "deb-test: $*"; }

work="$(mktemp -d)"
chmod 755 "$work"
user="rdxtest$$"
pids=()
had_user=no
getent passwd rdx512 >/dev/null && had_user=yes
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  dpkg -P "$package" >/dev/null 2>&1 || true  # leaves no trace in dpkg's records
  getent passwd "$user" >/dev/null && userdel "$user" 2>/dev/null || true
  if [ "$had_user" = no ] && getent passwd rdx512 >/dev/null; then
    userdel rdx512 2>/dev/null || true
    getent group rdx512 >/dev/null && groupdel rdx512 2>/dev/null || true
    rm -rf /var/lib/rdx512
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# as USER COMMAND...: becomes the command, run as that user with a clean
# session environment of the user's own. Called in a subshell: "(as ...)",
# or "as ... &", where $! is then the program itself (setpriv: no fork).
as() {
  local who="$1" home
  shift
  home="$(getent passwd "$who" | cut -d: -f6)"
  exec env -i HOME="$home" USER="$who" LOGNAME="$who" PATH=/usr/bin:/bin LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    setpriv --reuid="$who" --regid="$(id -g "$who")" --init-groups -- "$@"
}
wait_for() {  # wait_for SECONDS TEST...
  local tenths=$(($1 * 10))
  shift
  for _ in $(seq "$tenths"); do "$@" && return 0; sleep 0.1; done
  return 1
}
value_rows() {  # rows with a value in the CSV files of a folder
  local n=0 csv
  for csv in "$1"/*.csv; do [ -e "$csv" ] && n=$((n + $(grep -c '^"[^"]*",-\?[0-9]' "$csv" || true))); done
  echo "$n"
}
has_rows() { [ "$(value_rows "$1")" -ge "$2" ]; }
# A settings record: port, speed, recorders, then a 1 s cycle in seconds,
# "Default file", logging running (resumed at start).
settings_record() { printf '%s%s%s\001\000\000\000\000\000\001\000\001\000' "$1" 9600 "$2"; }

(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb="$(ls -t "$build"/${package}_*.deb | head -1)"

step "lintian $(basename "$deb")"
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
grep -q '^E: ' "$work/lintian.log" && fail "lintian reports errors"

apt-get install -y --no-install-recommends "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt install $deb"; }
for file in "$folder/RDXMON-1_V104" "$folder/libRDX500Comm3.so" "$folder/rdx512-logd" "$folder/rdx512-sim" \
            "$folder/rdx-exchange" "$folder/RDXMON-1.qch" /usr/share/applications/rdxmon.desktop \
            /usr/share/icons/hicolor/128x128/apps/rdxmon.png /usr/share/man/man1/RDXMON-1_V104.1.gz \
            /usr/share/man/man8/rdx512-logd.8.gz /usr/share/man/man1/rdx512-sim.1.gz \
            /usr/share/doc/$package/copyright /usr/share/doc/$package/changelog.gz \
            /usr/bin/RDXMON-1_V104 /usr/bin/rdx512-logd /usr/bin/rdx512-sim /usr/bin/rdx-exchange \
            /lib/systemd/system/rdx512-logd.service /usr/lib/sysusers.d/rdx512-logd.conf; do
  [ -e "$file" ] || fail "$file not installed"
done
desktop-file-validate /usr/share/applications/rdxmon.desktop || fail "desktop entry"
id -nG rdx512 | grep -qw dialout || fail "the service's user rdx512 is not in the dialout group"
[ "$(stat -c %U:%a /var/lib/rdx512)" = rdx512:750 ] || fail "/var/lib/rdx512 is not the service's own folder"
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify rdx512-logd.service || fail "unit file"
fi
# Bounded, and onto pseudo-terminals only with the simulator's drop-in.
unit=/lib/systemd/system/rdx512-logd.service
grep -q '^MemoryMax=' "$unit" && grep -q '^TasksMax=' "$unit" || fail "the unit sets no MemoryMax or TasksMax"
! grep -q 'char-pts' "$unit" || fail "the unit allows pseudo-terminals in production"
grep -q '^DeviceAllow=char-pts' /usr/share/doc/rdx512-monitor/examples/rdx512-logd-simulator.conf \
  || fail "the simulator's drop-in is not installed"

# --- An ordinary user in dialout, with a home of its own.
useradd --create-home --home-dir "$work/home" --groups dialout --shell /bin/sh "$user"
mine="$work/home/.local/share/rdx512"

step "as $user: rdx512-sim, its link in the user's folder"
as "$user" rdx512-sim --addresses 1-2 --ready-file "$work/home/sim-ready" >"$work/sim.log" 2>&1 &
pids+=($!)
wait_for 5 test -e "$work/home/sim-ready" || { cat "$work/sim.log"; fail "the simulator did not start"; }
[ -L "$mine/COM1" ] || fail "rdx512-sim run by $user made no link $mine/COM1"
[ "$(stat -c %a "$mine")" = 700 ] || fail "$mine is not the user's alone"

step "as $user: rdx-exchange --port 1 --address 2"
(as "$user" rdx-exchange --port 1 --address 2) >"$work/exchange.log" 2>&1 || { cat "$work/exchange.log"; fail "rdx-exchange"; }
head -1 "$work/exchange.log" | grep -q '^I02!00  RDX-512' || { cat "$work/exchange.log"; fail "rdx-exchange: no reply of 02"; }
kill "${pids[0]}"; wait "${pids[0]}" 2>/dev/null || true; pids=()

step "as $user: first start of the monitor (defaults made in $mine)"
as "$user" RDXMON-1_V104 >"$work/monitor1.log" 2>&1 &
pids=($!)
# It writes the defaults, then waits on the operator's OK for its message.
wait_for 10 test -s "$mine/RDX512INIT.SET" || { cat "$work/monitor1.log"; fail "the installed monitor kept nothing in $mine"; }
sleep 0.5
kill -TERM "${pids[0]}"
status=0; wait "${pids[0]}" || status=$?; pids=()
[ "$status" = 0 ] || { cat "$work/monitor1.log"; fail "the monitor ended with $status after SIGTERM"; }
[ "$(od -An -tx1 "$mine/RDX512INIT.SET" | tr -d ' \n')" = "434f4d31393630302031""3c000000000000000000" ] ||
  fail "the default settings in $mine are not the 20 bytes of the defaults"
[ "$(ls "$folder" | wc -l)" = 6 ] || fail "the monitor left files in $folder: $(ls "$folder")"

step "as $user: settings changed (2 recorders on COM2, Simulated recorders, logging at 1 s), two starts"
settings_record COM2 " 2" >"$work/init.set"
install -o "$user" -m 0644 "$work/init.set" "$mine/RDX512INIT.SET"
printf 'COM2=simulated\n' | install -o "$user" -m 0644 /dev/stdin "$mine/RDX512PORT.INI"
for run in 2 3; do
  before=$(value_rows "$mine")
  touch -d '1 hour ago' "$mine/RDX512INIT.SET"
  as "$user" RDXMON-1_V104 >"$work/monitor$run.log" 2>&1 &
  pids=($!)
  wait_for 20 has_rows "$mine" $((before + 2)) || { cat "$work/monitor$run.log"; fail "start $run: no CSV rows logged in $mine"; }
  [ -L "$mine/COM2" ] || fail "start $run: the simulated recorders' link $mine/COM2 is missing"
  kill -TERM "${pids[0]}"
  status=0; wait "${pids[0]}" || status=$?; pids=()
  [ "$status" = 0 ] || { cat "$work/monitor$run.log"; fail "start $run: the monitor ended with $status"; }
  cmp -s "$work/init.set" "$mine/RDX512INIT.SET" || fail "start $run: the settings were not kept"
  [ "$(find "$mine/RDX512INIT.SET" -mmin -5)" ] || fail "start $run: the settings were not stored at the end"
  wait_for 3 test ! -e "$mine/COM2" || fail "start $run: the simulator did not end with the monitor"
done
[ "$(stat -c %s "$mine/RDX512NAME.SET")" = 3720 ] || fail "the names file in $mine is not 186 records"
[ "$(find "$mine" -maxdepth 1 -type f ! -user "$user" | wc -l)" = 0 ] || fail "files in $mine not owned by $user"
[ "$(ls "$folder" | wc -l)" = 6 ] || fail "the monitor left files in $folder: $(ls "$folder")"
step "as $user: $(value_rows "$mine") rows logged in $(ls "$mine"/*.csv | wc -l) CSV files: $(cd "$mine" && ls | tr '\n' ' ')"

step "as rdx512: the service against a simulator"
service="$work/service"
install -d -o rdx512 -g rdx512 -m 0750 "$service"
settings_record COM8 " 2" | install -o rdx512 -m 0640 /dev/stdin "$service/RDX512INIT.SET"
as rdx512 rdx512-sim --dir "$service" --port-name COM8 --addresses 1-2 --ready-file "$service/ready" >"$work/sim.log" 2>&1 &
pids=($!)
wait_for 5 test -e "$service/ready" || { cat "$work/sim.log"; fail "the service's simulator did not start"; }
as rdx512 rdx512-logd --folder "$service" 2>"$work/service.log" &
pids=($! "${pids[@]}")
wait_for 10 has_rows "$service" 3 || { cat "$work/service.log"; fail "the service logged $(value_rows "$service") rows in 10 s"; }
kill -TERM "${pids[0]}"
status=0; wait "${pids[0]}" || status=$?
cat "$work/service.log"
[ "$status" = 0 ] || fail "the service ended with status $status after SIGTERM"
[ "$(find "$service" -name '*.csv' -user rdx512 | wc -l)" -ge 1 ] || fail "the service's log is not its own"
kill "${pids[1]}"; wait "${pids[1]}" 2>/dev/null || true; pids=()

step "apt purge"
apt-get purge -y "$package" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt purge"; }
left=()
for path in "$folder" /usr/bin/RDXMON-1_V104 /usr/bin/rdx512-logd /usr/bin/rdx512-sim /usr/bin/rdx-exchange \
            /usr/share/applications/rdxmon.desktop /usr/share/icons/hicolor/128x128/apps/rdxmon.png \
            /usr/share/man/man1/RDXMON-1_V104.1.gz /usr/share/doc/$package /lib/systemd/system/rdx512-logd.service \
            /usr/lib/sysusers.d/rdx512-logd.conf /var/lib/rdx512; do
  [ -e "$path" ] && left+=("$path")
done
getent passwd rdx512 >/dev/null && left+=("user rdx512")
getent group rdx512 >/dev/null && left+=("group rdx512")
dpkg-query -W "$package" >/dev/null 2>&1 && left+=("dpkg's record")
((${#left[@]} == 0)) || fail "left after purge: ${left[*]}"
echo "deb-test: passed ($(basename "$deb"): lintian without errors, the monitor, the simulator and" \
     "rdx-exchange run by an ordinary user, the service by rdx512, purged without a trace)"
