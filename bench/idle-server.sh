#!/usr/bin/env bash
# Idle server figures: CPU share of one core and resident memory of the
# server with no peers, measured over a few seconds each: headless, and,
# when Xvfb and trayer are installed, with its window hidden in the tray and
# with its window shown.
set -euo pipefail
BIN=${1:-build/default/bin}
SECONDS_TO_MEASURE=${2:-10}

cfg=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$cfg"' EXIT
hz=$(getconf CLK_TCK)

# measure LABEL COMMAND...: one server run, its figures on one line.
measure() {
  local label=$1
  shift
  VANTOR_IPC_NAMESPACE="idle$$_" VANTOR_CONFIG_DIR=$cfg "$@" 2>/dev/null &
  local pid=$!
  sleep 3  # past start-up (and the window's first refreshes)
  ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
  local t0 t1 rss_kb cpu
  t0=$(ticks)
  sleep "$SECONDS_TO_MEASURE"
  t1=$(ticks)
  rss_kb=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
  cpu=$(awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$SECONDS_TO_MEASURE" \
    'BEGIN { printf "%.2f", (b - a) * 100 / hz / s }')
  kill "$pid"
  wait "$pid" || true
  echo "idle server, $label: ${cpu} % of one core, $((rss_kb / 1024)).$(((rss_kb % 1024) * 10 / 1024)) MiB resident (${SECONDS_TO_MEASURE} s, no peers)"
}

measure "headless" "$BIN/vantor" --headless

if ! command -v Xvfb >/dev/null || ! command -v trayer >/dev/null; then
  echo "idle server with its window: skipped (Xvfb or trayer missing: scripts/setup.sh)"
  exit 0
fi
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$cfg/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [[ -s $cfg/display ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$cfg/display")"
unset WAYLAND_DISPLAY
measure "window shown (no tray host)" "$BIN/vantor"
trayer --edge top --align right --widthtype request --height 24 2>/dev/null &
pids+=($!)
sleep 1
measure "window hidden in the tray" "$BIN/vantor"
