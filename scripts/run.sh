#!/usr/bin/env bash
# The README's run command: installs what is missing, builds, and runs the
# monitor against the built-in recorder simulator (12 recorders) in a fresh
# program folder. Without a display it runs under Xvfb, saves a screenshot to
# out/monitor.png and stops; with a display it keeps running until File > eXit.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
exec bash "$root/scripts/run-monitor.sh"
