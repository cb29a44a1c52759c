#!/usr/bin/env bash
# Takes the README's screenshot of the operator window: the real server
# under Xvfb with a tray host and three peers, shown from the tray menu.
# usage: scripts/screenshot-window.sh [BUILD_DIR]   (default: build/default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
mkdir -p "$root/docs/images"
"$root/tests/window/xvfb-e2e.sh" "$build/bin" "$root/docs/images/operator-window.png"
