#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to a running server: installs
# what is missing, builds the server and its tools (Release) and starts
# `vantor` on the simulated board with the default configuration directory:
# in the tray on a desktop, headless otherwise (pass --headless to force it).
# Ctrl+C stops it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default >/dev/null
# Only what a server run needs, not the tests and benchmarks: the server and
# its window, the tools beside it, and the libraries it loads at run time
# (the system library and the skin).
cmake --build --preset default -j2 --target \
  vantor vantor-window vantorctl vantor-boardsim korbel SkinMagicNX
exec build/default/bin/vantor "$@"
