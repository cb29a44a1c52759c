#!/usr/bin/env bash
# Idle server figures: CPU share of one core and resident memory of
# `vantor --headless` with no peers, measured over a few seconds.
set -euo pipefail
BIN=${1:-build/default/bin}
SECONDS_TO_MEASURE=${2:-10}

ns="idle$$_"
cfg=$(mktemp -d)
trap 'kill $pid 2>/dev/null || true; rm -rf "$cfg"' EXIT
VANTOR_IPC_NAMESPACE=$ns VANTOR_CONFIG_DIR=$cfg "$BIN/vantor" --headless 2>/dev/null &
pid=$!
sleep 2  # past start-up

ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks)
sleep "$SECONDS_TO_MEASURE"
t1=$(ticks)
rss_kb=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
cpu=$(awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$SECONDS_TO_MEASURE" \
  'BEGIN { printf "%.2f", (b - a) * 100 / hz / s }')
echo "idle server: ${cpu} % of one core, $((rss_kb / 1024)).$(( (rss_kb % 1024) * 10 / 1024 )) MiB resident (${SECONDS_TO_MEASURE} s, no peers)"
