#!/usr/bin/env bash
# Installs the Debian 12 packages Vantor needs to build and test. Idempotent:
# when everything is there it only checks and returns.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  clang libclang-rt-dev   # libFuzzer and the sanitizers' runtimes
  clang-tidy              # with run-clang-tidy, for the lint step of the tests
  qt6-base-dev qt6-base-dev-tools libqt6test6 libxcb1-dev  # the operator window and its tests
  fonts-wqy-microhei      # the operator texts are Chinese
  xvfb trayer xdotool imagemagick x11-utils      # the window under Xvfb with a tray, screenshots
  mosquitto mosquitto-clients libmosquitto-dev libinih-dev   # the MQTT bridge and its tests
  dpkg-dev file lintian desktop-file-utils appstream   # build the Debian packages and check them
  bsdextrautils           # col, for the man pages' check against --help
  python3                 # the Python reader package (standard library only) and its tests
  scdoc groff-base        # the man pages, and groff's check of them
  libsystemd-dev systemd  # sd_notify readiness of the service; systemd-analyze verify of the units
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "setup: run as root or install sudo" >&2; exit 1; }
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
