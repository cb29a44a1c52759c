#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to a running server: installs
# what is missing, builds (Release) and starts `vantor` on the simulated board
# with the default configuration directory: in the tray on a desktop, headless
# otherwise (pass --headless to force it). Ctrl+C stops it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j2
exec build/default/bin/vantor "$@"
