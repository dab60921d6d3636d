#!/usr/bin/env bash
# Installs what the project needs (only what is missing), then configures and
# builds it in build/ (Release with debug info). Safe to run again.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(
  cmake g++ make pkg-config ccache libgtest-dev libgmock-dev
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-documentation-tools libqt6help6 qt6-qpa-plugins
  libgl-dev fonts-ipafont-gothic xvfb cups printer-driver-cups-pdf poppler-utils
  clang libclang-rt-14-dev
  qt6-charts-dev libqt6opengl6-dev libpaho-mqttpp-dev libpaho-mqtt-dev libssl-dev mosquitto mosquitto-clients openssl libsystemd-dev dpkg-dev
  lintian desktop-file-utils
  libmodbus-dev mbpoll
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=()
  if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# ccache keeps the objects of earlier builds (this one, the sanitizer and
# the fuzzing builds of the test command) for the next run.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
cmake --build "$root/build" -j"$(nproc)"
