# A private PulseAudio server for the tests: a null sink playing a 1000 Hz tone, whose monitor
# is the default capture source. Sourced, not run.
#
# start_audio_server exports XDG_RUNTIME_DIR and PULSE_SERVER for everything started after it,
# and VIREO_TEST_PULSE=1 so that the tests needing a capture fail, rather than skip, when the
# server cannot be reached. stop_audio_server kills the server by its pid file and removes its
# directory; it is safe to call when nothing was started.

audio_server_dir=

start_audio_server() {
  audio_server_dir=$(mktemp -d)
  chmod 700 "$audio_server_dir"
  export XDG_RUNTIME_DIR=$audio_server_dir
  export PULSE_SERVER=unix:$audio_server_dir/pulse/native
  pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=testsink" \
    --load="module-sine sink=testsink frequency=1000" \
    --log-target=file:"$audio_server_dir/pulse.log" 2>/dev/null
  local tries=0
  until pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ "$tries" -ge 100 ]; then
      echo "The test audio server did not start; see $audio_server_dir/pulse.log" >&2
      return 1
    fi
    sleep 0.1
  done
  pactl set-default-source testsink.monitor
  export VIREO_TEST_PULSE=1
}

stop_audio_server() {
  [ -n "$audio_server_dir" ] || return 0
  local pid_file=$audio_server_dir/pulse/pid
  if [ -f "$pid_file" ]; then
    local pid
    pid=$(cat "$pid_file")
    kill "$pid" 2>/dev/null || true
    local tries=0
    while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 50 ]; do
      tries=$((tries + 1))
      sleep 0.1
    done
  fi
  rm -rf "$audio_server_dir"
  audio_server_dir=
}
