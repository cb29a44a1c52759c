#!/usr/bin/env bash
# Soak and load test: scripts/soak.sh SECONDS [vantor-soak options]
# Builds what it needs in build/default (or in $SOAK_BUILD_DIR, e.g.
# build/asan; a build directory named after a preset is configured with that
# preset when it is not yet), then runs the real server under load for
# SECONDS, half on the simulated board and half on the emulated card, holding
# the lock of the link's fixed UDP ports for the whole run (another test or
# soak that uses them waits). Exit code 0: nothing violated. See docs/soak.md.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $# -lt 1 ]]; then
  echo "usage: scripts/soak.sh SECONDS [vantor-soak options]" >&2
  exit 2
fi
build=${SOAK_BUILD_DIR:-build/default}
if [[ ! -f $build/CMakeCache.txt ]]; then
  preset=$(basename "$build")
  if [[ $build != build/$preset ]]; then
    echo "soak.sh: $build is not configured" >&2
    exit 2
  fi
  cmake --preset "$preset" >/dev/null
fi
cmake --build "$build" -j"${JOBS:-2}" --target vantor-soak >/dev/null
# A sanitizer build reports leaks of the system libraries that are not ours.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
exec flock /tmp/vantor-ports.lock "$build/bin/vantor-soak" "$@"
