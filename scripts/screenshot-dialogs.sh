#!/usr/bin/env bash
# Takes the documentation's screenshots of the debug and settings dialogs:
# the real server under Xvfb with one peer; a double-click on the peer's row
# opens the debug dialog, the "设置" button the settings dialog.
# usage: scripts/screenshot-dialogs.sh [BUILD_DIR]   (default: build/default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
bin=$build/bin
out=$root/docs/images
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/setup.sh)"; exit 1; }
done
mkdir -p "$out"

NS_PREFIX=shot
# shellcheck source=lib/xvfb-session.sh
source "$root/scripts/lib/xvfb-session.sh"
start_xvfb

"$bin/vantorctl" peer --name bench1 --analog 2,5 --din 1,5 --dout 3,7 --every 1 \
  >/dev/null 2>"$work/peer.log" &
pids+=($!)
"$bin/vantor" 2>"$work/server.log" &
server=$!
pids+=($server)
until_ok 200 shown Vantor || fail "the window did not show"
main=$(find_window Vantor)
sleep 2.5  # two refreshes: the peer is in the list

# A point of the main window given in its template's dialog units (287 x 136).
click_dlu() {
  eval "$(xdotool getwindowgeometry --shell "$main")"
  xdotool mousemove $((X + $1 * WIDTH / 287)) $((Y + $2 * HEIGHT / 136)) click --repeat "$3" 1
}

# The debug dialog for the peer's row (the list starts at 57; its first row
# lies under the header).
click_dlu 30 72 1
click_dlu 30 72 2
until_ok 50 shown "Vantor 调试" || fail "the double-click did not open the debug dialog"
"$bin/vantorctl" set-output 7 1 >/dev/null  # followed by box 7, looped back to lamp 7
sleep 4  # the lamps, the followed box and a few seconds of the analog view
import -window "$(find_window "Vantor 调试")" "$out/debug-dialog.png"
echo "screenshot: $out/debug-dialog.png"
xdotool windowfocus --sync "$(find_window "Vantor 调试")" key Escape
until_ok 50 gone "Vantor 调试" || fail "Escape did not close the debug dialog"

click_dlu 263 124 1  # "设置"
until_ok 50 shown "设置" || fail "设置 did not open the settings dialog"
sleep 0.5
import -window "$(find_window "设置")" "$out/settings-dialog.png"
echo "screenshot: $out/settings-dialog.png"
xdotool windowfocus --sync "$(find_window "设置")" key Escape
until_ok 50 gone "设置" || fail "Escape did not close the settings dialog"

"$bin/vantorctl" quit >/dev/null 2>&1 || fail "vantorctl quit"
wait "$server" || fail "the server ended with $?"
