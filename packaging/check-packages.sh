#!/usr/bin/env bash
# Checks the built packages in DIR: each holds what it must and nothing of the
# tests, lintian finds no error or warning, the desktop files and metainfo
# validate, and the programs unpacked into a scratch root run from there.
#   packaging/check-packages.sh DIR
# It starts a real server (fixed UDP ports): never beside another test run.
set -euo pipefail
dir=$1
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
fail() { echo "check-packages: $*" >&2; exit 1; }
deb() { local f=("$dir/$1"_*.deb); [[ -f ${f[0]} ]] || fail "no package $1 in $dir"; echo "${f[0]}"; }

contains() {  # package, then paths (without the leading .) it must hold
  local pkg=$1 list
  shift
  list=$(dpkg-deb -c "$(deb "$pkg")" | awk '{print substr($6, 2)}')
  for path in "$@"; do
    grep -qxF -- "$path" <<<"$list" || fail "$pkg lacks $path"
  done
  if grep -E 'emulated|libch365|/test|\.a$|__pycache__' <<<"$list"; then
    fail "$pkg holds files for tests only (above)"
  fi
}

echo "== contents"
contains vantor /usr/bin/vantor /usr/bin/vantor-window /usr/bin/vantorctl /usr/bin/vantor-boardsim \
  /usr/bin/vantor-mqtt "/usr/lib/$arch/vantor/libkorbel.so" "/usr/lib/$arch/vantor/libSkinMagicNX.so" \
  /usr/share/vantor/NXmagic.skn /usr/share/doc/vantor/README.md /usr/share/doc/vantor/copyright \
  /usr/share/doc/vantor/changelog.gz /usr/share/applications/vantor.desktop \
  /etc/xdg/autostart/vantor.desktop /usr/share/metainfo/org.vantor.Vantor.metainfo.xml \
  /usr/share/icons/hicolor/48x48/apps/vantor.png /usr/share/icons/hicolor/256x256/apps/vantor.png \
  /usr/lib/systemd/user/vantor.service /usr/lib/systemd/user/vantor-mqtt.service \
  /usr/share/man/man1/vantor.1.gz /usr/share/man/man1/vantorctl.1.gz \
  /usr/share/man/man1/vantor-boardsim.1.gz /usr/share/man/man1/vantor-mqtt.1.gz \
  /usr/share/man/man1/vantor-window.1.gz /usr/lib/python3/dist-packages/vantor/__main__.py
contains libvantorclient3 "/usr/lib/$arch/libvantorclient.so.3" /usr/share/doc/libvantorclient3/copyright
contains libvantorclient-dev "/usr/lib/$arch/libvantorclient.so" /usr/include/vantor/CHardWare.h \
  "/usr/lib/$arch/cmake/VantorClient/VantorClientConfig.cmake" "/usr/lib/$arch/pkgconfig/vantorclient.pc"
# Without dpkg-shlibdeps CPack quietly leaves out the libraries' packages.
depends=$(dpkg-deb -f "$(deb vantor)" Depends)
for needed in libqt6widgets6 libsystemd0 fonts-wqy-microhei python3; do
  grep -q "$needed" <<<"$depends" || fail "vantor does not depend on $needed: $depends"
done
version=$(dpkg-deb -f "$(deb vantor)" Version)
src=$(cd "$(dirname "$0")" && pwd)
head -1 "$src/deb/changelog" | grep -qF "($version)" || fail "deb/changelog does not start with $version"
grep -qF "<release version=\"$version\"" "$src/desktop/org.vantor.Vantor.metainfo.xml" ||
  fail "the metainfo has no release $version"
dpkg-deb -f "$(deb libvantorclient-dev)" Depends | grep -q "libvantorclient3 (= " ||
  fail "libvantorclient-dev does not depend on its library's exact version"
dpkg-deb -I "$(deb vantor)" conffiles | grep -qx /etc/xdg/autostart/vantor.desktop ||
  fail "the autostart entry is not a conffile"

echo "== lintian"
lintian --fail-on error,warning --tag-display-limit 0 "$dir"/*.deb >"$dir/lintian.log" 2>&1 ||
  { cat "$dir/lintian.log"; fail "lintian found errors or warnings (above)"; }

scratch=$(mktemp -d)
server=""
cleanup() {
  [[ -n "$server" ]] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
for f in "$dir"/*.deb; do dpkg-deb -x "$f" "$scratch/root"; done
root=$scratch/root

echo "== desktop entries and metainfo"
desktop-file-validate "$root/usr/share/applications/vantor.desktop" \
  "$root/etc/xdg/autostart/vantor.desktop"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/org.vantor.Vantor.metainfo.xml"

echo "== the unpacked programs, run from elsewhere"
mkdir -p "$scratch/elsewhere" "$scratch/config" "$scratch/crash"
# No port device: the simulated board, never a probe of real ports as root.
export VANTOR_IPC_NAMESPACE="pkg$$" VANTOR_CONFIG_DIR="$scratch/config" VANTOR_CRASH_DIR="$scratch/crash" \
  VANTOR_PORT_DEVICE="$scratch/no-port-device"
cd "$scratch/elsewhere"
"$root/usr/bin/vantor" --headless 2>"$scratch/server.log" &
server=$!
# The block exists a moment before the server has written its status.
for _ in $(seq 1 100); do
  "$root/usr/bin/vantorctl" dump >"$scratch/dump" 2>&1 && grep -q "simulated board" "$scratch/dump" && break
  sleep 0.1
done
grep -q "simulated board" "$scratch/dump" || { cat "$scratch/server.log"; fail "vantorctl dump: $(cat "$scratch/dump")"; }
grep -q "libkorbel" "$scratch/server.log" && grep -i "missing\|not found" "$scratch/server.log" &&
  fail "the unpacked server did not find its system library"
PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -m vantor dump >"$scratch/pydump" ||
  fail "python3 -m vantor dump failed"
"$root/usr/bin/vantorctl" quit --wait 5 >/dev/null
wait "$server"
server=""
echo "check-packages: all three packages pass"
