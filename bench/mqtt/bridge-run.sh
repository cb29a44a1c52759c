#!/usr/bin/env bash
# MQTT bridge figures: a Mosquitto broker on a free loopback port, the server
# headless, and vantor-mqtt publishing all 16 analog channels; then
# bench_mqtt_bridge subscribes, watches the block and prints latency, rates,
# the bridge's CPU share and sequence continuity.
#   bench/mqtt/bridge-run.sh [BIN] [SECONDS] [extra vantor-mqtt options...]
#   BRIDGE_WRAP="valgrind --tool=callgrind" runs the bridge under a profiler.
# Uses the server's fixed UDP ports: run it under flock /tmp/vantor-ports.lock.
set -euo pipefail
BIN=${1:-build/default/bin}
SECONDS_TO_MEASURE=${2:-10}
shift $(($# > 2 ? 2 : $#))

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
# set_tcp_nodelay: as docs/mqtt.md advises for a broker that forwards samples.
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nset_tcp_nodelay true\n' \
  "$port" >"$work/broker.conf"
/usr/sbin/mosquitto -c "$work/broker.conf" 2>"$work/broker.log" &
pids+=($!)
for _ in $(seq 100); do grep -q running "$work/broker.log" && break; sleep 0.1; done

export VANTOR_IPC_NAMESPACE="mqttbench$$_" VANTOR_CONFIG_DIR="$work"
"$BIN/vantor" --headless 2>"$work/server.log" &
pids+=($!)

channels=$(seq -s, 0 15)
# shellcheck disable=SC2086
${BRIDGE_WRAP:-} "$BIN/vantor-mqtt" --port "$port" --station bench --channels "$channels" "$@" \
  2>"$work/bridge.log" &
bridge=$!
pids+=($bridge)

if ! "$BIN/bench_mqtt_bridge" --port "$port" --station bench --pid "$bridge" \
  --seconds "$SECONDS_TO_MEASURE"; then
  tail -n 5 "$work/broker.log" "$work/server.log" "$work/bridge.log" >&2
  exit 1
fi
