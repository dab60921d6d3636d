#!/usr/bin/env bash
# The Debian package end to end: builds the .deb from build/ (cpack), installs
# it with dpkg -i, checks the unit file, runs the installed logging service
# against the installed simulator until it has logged a few rows, ends it
# with SIGTERM and removes the package with dpkg -r. Needs root (skipped
# otherwise) and a machine without the package installed. About 30 s.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
package=rdx512-monitor
folder=/opt/rdx512

if [ "$(id -u)" != 0 ]; then
  echo "deb-test: skipped (dpkg -i needs root)"
  exit 0
fi
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
  echo "deb-test: skipped ($package is installed on this machine; it is not replaced)"
  exit 0
fi

fail() { echo "deb-test: FAILED: $*" >&2; exit 1; }

work="$(mktemp -d)"
sim_pid="" service_pid=""
had_user=no
getent passwd rdx512 >/dev/null && had_user=yes
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  dpkg -P "$package" >/dev/null 2>&1 || true  # leaves no trace in dpkg's records
  # The package keeps the service's user and data folder; the test does not.
  if [ "$had_user" = no ] && getent passwd rdx512 >/dev/null; then
    userdel rdx512 2>/dev/null || true
    getent group rdx512 >/dev/null && groupdel rdx512 2>/dev/null || true
    rm -rf /var/lib/rdx512
  fi
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb="$(ls -t "$build"/${package}_*.deb | head -1)"
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i $deb"; }

for file in "$folder/RDXMON-1_V104" "$folder/libRDX500Comm3.so" "$folder/rdx512-logd" "$folder/rdx512-sim" \
            "$folder/RDXMON-1.qch" "$folder/rdxmon.png" /usr/share/applications/rdxmon.desktop \
            /usr/bin/rdx512-logd /lib/systemd/system/rdx512-logd.service /usr/lib/sysusers.d/rdx512-logd.conf; do
  [ -e "$file" ] || fail "$file not installed"
done
grep -q "^Exec=$folder/RDXMON-1_V104" "$folder/rdxmon.desktop" || fail "desktop entry does not name $folder"
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

# The settings: COM8 (the simulator's link beside the installed program),
# 9600 bit/s, 2 recorders, a 1 s cycle; the service logs at once.
data="$work/data"
mkdir "$data"
printf 'COM89600 2\001\000\000\000\000\000\001\000\001\000' >"$data/RDX512INIT.SET"
rdx512-sim --dir "$folder" --port-name COM8 --addresses 1-2 --ready-file "$work/ready" >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/ready" ] && break; sleep 0.1; done
[ -e "$work/ready" ] || fail "simulator did not start"

rdx512-logd --folder "$data" 2>"$work/service.log" &
service_pid=$!
rows=0
for _ in $(seq 100); do
  for csv in "$data"/*.csv; do
    [ -e "$csv" ] && rows=$(grep -c '^"[^"]*",-\?[0-9]' "$csv" || true)
  done
  [ "$rows" -ge 3 ] && break
  sleep 0.1
done
kill -TERM "$service_pid"
status=0
wait "$service_pid" || status=$?
service_pid=""
cat "$work/service.log"
[ "$rows" -ge 3 ] || fail "the installed service logged $rows rows with values in 10 s"
[ "$status" = 0 ] || fail "the service ended with status $status after SIGTERM"

kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""
dpkg -r "$package" >"$work/dpkg.log" || { cat "$work/dpkg.log"; fail "dpkg -r"; }
[ ! -e "$folder/rdx512-logd" ] && [ ! -e /usr/bin/rdx512-logd ] && [ ! -e /lib/systemd/system/rdx512-logd.service ] \
  || fail "files left after dpkg -r"
echo "deb-test: passed ($(basename "$deb"): installed, $rows rows logged by the installed service, removed)"
