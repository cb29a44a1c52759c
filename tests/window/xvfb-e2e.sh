#!/usr/bin/env bash
# The real vantor on an X server (Xvfb), as an operator meets it: without a
# tray host the window stays shown until one comes up; with one (trayer) it starts hidden, the
# tray menu's "显示窗口..." shows it at the bottom-right corner with the
# peers in its list, and "退出" ends the process with code 0.
#
# usage: xvfb-e2e.sh BIN_DIR [SCREENSHOT.png]
set -euo pipefail

bin=$1
shot=${2:-}
for tool in Xvfb trayer xdotool import; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/setup.sh)"; exit 77; }
done

NS_PREFIX=xvfb
# shellcheck source=../../scripts/lib/xvfb-session.sh
source "$(dirname "$0")/../../scripts/lib/xvfb-session.sh"
start_xvfb

log_has() { grep -q "$2" "$work/$1.log"; }

start_server() {
  "$bin/vantor" 2>"$work/$1.log" &
  server=$!
  pids+=($server)
  until_ok 200 log_has "$1" "running with the operator window" || fail "$1: the window did not start"
}
quit_server() {
  "$bin/vantorctl" quit >"$work/quit.log" 2>&1 || fail "vantorctl quit"
  wait "$server" || fail "the server ended with $?"
}

# 1. No tray host: the window stays reachable; a tray host that comes up
# later (a panel starting after the autostarted server) takes it in.
start_server notray
until_ok 100 log_has notray "no system tray" || fail "no trace line about the missing tray"
sleep 0.5  # well past the 100 ms hide timer
shown Vantor || fail "without a tray the window must stay shown"
echo "ok: without a tray the window stays shown"
# With a tray host at the top edge, out of the window's corner.
trayer --edge top --align right --widthtype request --height 24 --transparent false \
  2>"$work/trayer.log" &
pids+=($!)
until_ok 100 xdotool search --name '^panel$' || fail "trayer did not start"
tray=$(xdotool search --name '^panel$' | head -1)
until_ok 100 log_has notray "system tray found" || fail "the late tray host was not found"
until_ok 50 gone Vantor || fail "the window did not hide behind the late tray"
quit_server
echo "ok: a tray host started later takes the window in"

# 2. The tray host already there at start-up.

for i in 0 1 2; do
  "$bin/vantorctl" peer --name "bench$i" --analog "$i,$((i + 4))" --din "$i" --dout "$i" \
    --freq $((200 + i)) --every 1 >/dev/null 2>"$work/peer$i.log" &
  pids+=($!)
done

start_server tray
until_ok 50 log_has tray "peers:" || fail "the window did not start its timers"
log_has tray "no system tray" && fail "the tray host was not found"
until_ok 50 gone Vantor || fail "the window did not hide behind the tray"

open_tray_menu() {
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  xdotool mousemove $((X + WIDTH - 12)) $((Y + HEIGHT / 2)) click 1
  sleep 0.5
}
open_tray_menu
xdotool key Down Return  # the first item: "显示窗口..."
until_ok 50 shown Vantor || fail "显示窗口... did not show the window"
win=$(find_window Vantor)
eval "$(xdotool getwindowgeometry --shell "$win")"
right=$((X + WIDTH)) bottom=$((Y + HEIGHT))
((right == 1024 && bottom == 768)) ||
  fail "window at ${X},${Y} ${WIDTH}x${HEIGHT}: its bottom-right corner is not the screen's"
echo "ok: shown at the bottom-right corner (${X},${Y} ${WIDTH}x${HEIGHT})"

if [[ -n $shot ]]; then
  sleep 2.5  # two refreshes: the peers are in the list, their LEDs lit
  import -window "$win" "$shot"
  echo "screenshot: $shot"
fi

open_tray_menu
xdotool key Up Return  # the last item: "退出"
wait "$server" || fail "退出: the server ended with $?"
"$bin/vantorctl" dump >"$work/dump.log" 2>&1 || true
grep -q "^server: no " "$work/dump.log" || fail "readers still see a server: $(head -3 "$work/dump.log")"
echo "ok: 退出 ended the server with code 0; readers see it gone"
