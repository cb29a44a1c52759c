# Sourced by the scripts that drive the real window on an X server of their
# own (tests/window/xvfb-e2e.sh, scripts/screenshot-dialogs.sh): a scratch
# directory, the processes to end on exit, a private namespace, Xvfb, and
# waiting for windows. The caller sets NS_PREFIX first.

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$work"/*.log; do echo "--- $f"; cat "$f"; done; exit 1; }

export VANTOR_IPC_NAMESPACE="${NS_PREFIX}$$_" VANTOR_CONFIG_DIR="$work/config" \
  VANTOR_CRASH_DIR="$work/crash"
unset WAYLAND_DISPLAY

# until CMD succeeds, for up to $1 tenths of a second
until_ok() { local n=$1; shift; for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }
# the visible window titled exactly $1
find_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
shown() { [[ -n $(find_window "$1") ]]; }
gone() { [[ -z $(find_window "$1") ]]; }

# An X server of our own (1024 x 768); DISPLAY names it.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=($!)
  for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
  [[ -s $work/display ]] || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$work/display")"
}
