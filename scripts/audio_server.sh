# A private PulseAudio server for the tests: a null sink playing a 1000 Hz tone, whose monitor
# is the default capture source. Sourced, not run.
#
# start_audio_server exports XDG_RUNTIME_DIR and PULSE_SERVER for everything started after it,
# and VIREO_TEST_PULSE=1 so that the tests needing a capture fail, rather than skip, when the
# server cannot be reached. stop_audio_server kills the server by its pid file and removes its
# directory; it is safe to call when nothing was started.
#
# The server stays in the caller's session instead of daemonizing into one of its own. With the
# kernel's session autogroups a process only competes by its nice level inside its own session,
# and two continuous runs of the capture tests, one per core, were seen to keep a process of
# another session off the processor for up to 10 s. The server's main thread hands every captured
# fragment to the clients, so such a stall leaves the tests without a single full buffer.

audio_server_dir=

start_audio_server() {
  audio_server_dir=$(mktemp -d)
  chmod 700 "$audio_server_dir"
  export XDG_RUNTIME_DIR=$audio_server_dir
  export PULSE_SERVER=unix:$audio_server_dir/pulse/native
  # Started from a subshell that ends at once, so that nobody has to reap it but init, as with a
  # daemon; the caller's pipes are not held open.
  (pulseaudio --daemonize=no --exit-idle-time=-1 -n \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=testsink" \
    --load="module-sine sink=testsink frequency=1000" \
    --log-target=file:"$audio_server_dir/pulse.log" </dev/null >/dev/null 2>&1 &)
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
