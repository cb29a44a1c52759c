#!/usr/bin/env bash
# CI on a throw-away machine only: installs the built packages for real with
# apt, checks what an administrator gets (the programs on PATH, man pages,
# menu entry, the user unit, the Python reader against the installed server),
# then removes them again. Needs root.
#   packaging/install-smoke.sh DIR
set -euo pipefail
dir=$(cd "$1" && pwd)
export DEBIAN_FRONTEND=noninteractive
if dpkg-query -W -f='${Status}' vantor 2>/dev/null | grep -q "install ok installed"; then
  echo "install-smoke: vantor is installed on this machine already: not touching it" >&2
  exit 1
fi
apt-get install -y -qq "$dir"/*.deb >/dev/null
trap 'apt-get purge -y -qq vantor libvantorclient3 libvantorclient-dev >/dev/null' EXIT

for page in vantor vantorctl vantor-boardsim vantor-mqtt; do
  test -f "/usr/share/man/man1/$page.1.gz" || { echo "no man page $page" >&2; exit 1; }
done
test -f /usr/share/applications/vantor.desktop
test -f /usr/lib/systemd/user/vantor.service
command -v vantor vantorctl >/dev/null

work=$(mktemp -d)
export VANTOR_IPC_NAMESPACE="smoke$$" VANTOR_CONFIG_DIR="$work/config" VANTOR_CRASH_DIR="$work/crash" \
  VANTOR_PORT_DEVICE="$work/no-port-device"
vantor --headless 2>"$work/server.log" &
server=$!
for _ in $(seq 1 100); do
  /usr/bin/python3 -m vantor dump >"$work/dump" 2>&1 && grep -q "simulated board" "$work/dump" && break
  sleep 0.1
done
grep -q "simulated board" "$work/dump" || { cat "$work/server.log" "$work/dump"; exit 1; }
vantorctl quit --wait 5 >/dev/null
wait "$server"
rm -rf "$work"
# The byte code compiled at installation goes with the package.
apt-get purge -y -qq vantor libvantorclient3 libvantorclient-dev >/dev/null
trap - EXIT
if [[ -e /usr/lib/python3/dist-packages/vantor ]]; then
  echo "install-smoke: purging left /usr/lib/python3/dist-packages/vantor behind" >&2
  exit 1
fi
echo "install-smoke: the installed packages work"
