#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to a full test run: installs what
# is missing, builds with warnings as errors and runs every test, runs
# clang-tidy on the sources, then runs the thread tests under ThreadSanitizer
# and everything under AddressSanitizer with UndefinedBehaviorSanitizer, and
# every fuzz target for a short while (FUZZ_SECONDS each, 9 by default: about
# 90 s for all nine with their start-up).
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}

scripts/setup.sh

echo "== build (warnings as errors) and all tests"
cmake --preset ci >/dev/null
cmake --build --preset ci -j"$JOBS"
ctest --preset ci -j"$JOBS"

# The client library as a program outside this tree sees it: installed into
# a prefix of its own, the example configured and built against the package.
echo "== client example against the installed package"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build/ci --prefix "$prefix/usr" >/dev/null
cmake -S examples/client -B "$prefix/example" -DCMAKE_PREFIX_PATH="$prefix/usr" \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Wpedantic -Werror" >/dev/null
cmake --build "$prefix/example" -j"$JOBS"
mkdir -p "$prefix/config"
printf '[HK]\nMODE=3\n' >"$prefix/config/AcqCfg.ini"
out=$(VANTOR_CONFIG_DIR="$prefix/config" VANTOR_IPC_NAMESPACE=ci-example \
  "$prefix/example/vantor-client")
grep -q "mode 3: simulated" <<<"$out"

# The Debian packages of the CI build (configured for /usr): contents, lintian,
# desktop files, metainfo, and a run of the programs unpacked elsewhere.
echo "== Debian packages"
scripts/build-packages.sh build/ci

# The checks kept in .clang-tidy are errors. Sources only (the tests are not
# linted), with the CI build's compile commands; headers are checked through
# the sources that include them.
echo "== clang-tidy on src/, tools/, korbel/, emulation/"
# Each file's "N warnings generated." line counts the suppressed ones: dropped.
find src tools korbel emulation -name '*.cpp' -print0 | sort -z |
  xargs -0 -n1 -P"$JOBS" clang-tidy --quiet -p build/ci 2>&1 |
  sed '/^[0-9]* warnings\? generated\.$/d'

echo "== thread tests under ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$JOBS"
ctest --preset tsan -j"$JOBS" -L threads

echo "== all tests under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$JOBS"
ctest --preset asan -j"$JOBS"

if [[ -x fuzz/run ]]; then
  echo "== fuzzing (${FUZZ_SECONDS:-9} s per target)"
  fuzz/run "${FUZZ_SECONDS:-9}"
fi
