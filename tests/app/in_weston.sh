#!/bin/sh
# Runs a command as a client of a weston of its own and ends the compositor afterwards:
#   in_weston.sh BACKEND COMMAND [ARGUMENT...]
# BACKEND is weston's back end: "headless" (a memory surface, no input devices) or "x11" (a
# window on the X display named by DISPLAY, with a keyboard and pointer, so that windows are
# given the focus). The compositor's debug interface is on, for its screenshooter and scene
# graph.
set -eu
backend=$1
shift
runtime=$(mktemp -d)
export XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY=vireo-test
weston --backend="$backend-backend.so" --use-pixman --width=1024 --height=768 --debug \
  --no-config --socket="$WAYLAND_DISPLAY" --log="$runtime/weston.log" &
weston_pid=$!
trap 'kill "$weston_pid"; wait "$weston_pid" || true; rm -rf "$runtime"' EXIT
tries=0
until [ -S "$runtime/$WAYLAND_DISPLAY" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 100 ] || ! kill -0 "$weston_pid" 2>/dev/null; then
    echo "weston did not start:" >&2
    cat "$runtime/weston.log" >&2
    exit 1
  fi
  sleep 0.1
done
status=0
"$@" || status=$?
exit "$status"
