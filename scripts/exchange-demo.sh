#!/usr/bin/env bash
# Demo: builds the project, starts the recorder simulator on a pseudo-terminal
# in a temporary folder and runs one full exchange with a recorder through the
# link library, printing the reply.
#   scripts/exchange-demo.sh [ADDRESS] [BAUD]      (defaults 1 and 9600)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
address="${1:-1}"
baud="${2:-9600}"

bash "$root/scripts/setup.sh"
bin="$root/build/bin"
work="$(mktemp -d)"
sim_pid=""
cleanup() {
  if [[ -n "$sim_pid" ]]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/rdx512-sim" --dir "$work" --baud "$baud" --ready-file "$work/ready" &
sim_pid=$!
for _ in $(seq 100); do
  [[ -e "$work/ready" ]] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "run: the simulator did not start" >&2; exit 1; }
  sleep 0.05
done
[[ -e "$work/ready" ]] || { echo "run: the simulator did not come up" >&2; exit 1; }

echo "Reply of recorder $address at $baud bit/s:"
"$bin/rdx-exchange" --device "$work/COM1" --address "$address" --baud "$baud"
