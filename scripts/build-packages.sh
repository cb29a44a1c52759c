#!/usr/bin/env bash
# Builds the Debian packages (vantor, libvantorclient3, libvantorclient-dev)
# and checks them: their contents, lintian, and the programs run from the
# packages unpacked into a scratch root (no installation on this machine).
#   scripts/build-packages.sh [BUILD_DIR]
# Without BUILD_DIR it configures and builds the `package` preset (prefix
# /usr, no tests) in build/package. The packages land in BUILD_DIR/packages.
# Install them with `sudo apt install ./BUILD_DIR/packages/*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}

build=${1:-}
if [[ -z "$build" ]]; then
  scripts/setup.sh
  cmake --preset package >/dev/null
  cmake --build --preset package -j"$JOBS"
  build=build/package
fi
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
[[ "$prefix" == /usr ]] || { echo "build-packages: $build is configured for $prefix, not /usr" >&2; exit 1; }

rm -rf "$build/packages"
# CPack warns that the private libraries have no soname: they need none.
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
shopt -s nullglob
debs=("$build"/packages/*.deb)
((${#debs[@]} == 3)) || { echo "build-packages: expected 3 packages, got ${debs[*]}" >&2; exit 1; }
for deb in "${debs[@]}"; do
  echo "== $(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
done

exec packaging/check-packages.sh "$build/packages"
