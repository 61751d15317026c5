# A private desktop for the end-to-end test and the window benchmark: Xvfb, a PulseAudio
# null sink with its monitor recorded to $D/rec.raw, and helpers. Source it; set `probe` to
# the audio_probe program first.
D=$(mktemp -d /tmp/velarn-e2e.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  exec 5>&- 2>/dev/null || true
  wait "${pids[@]}" 2>/dev/null || true
  rm -rf "$D"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -f "$D/velarn.log" ] && sed 's/^/  velarn: /' "$D/velarn.log" >&2
  exit 1
}
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local until=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$until" ] || return 1
    sleep 0.1
  done
}

# The X server.
exec 5> >(cat > "$D/displayfd")
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset > "$D/xvfb.log" 2>&1 &
pids+=($!)
wait_for 10 test -s "$D/displayfd" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$D/displayfd")"
exec 5>&-
wait_for 10 xdpyinfo || fail "Xvfb does not answer"

# The sound server with a null sink, private to this test. Without shared memory: under many
# short streams PulseAudio 16 logged blocks from unknown memfds, and once aborted.
mkdir -p "$D/home" "$D/run"
chmod 700 "$D/run"
export HOME=$D/home XDG_RUNTIME_DIR=$D/run
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --load=module-native-protocol-unix \
  --load="module-null-sink sink_name=nullsink rate=16000 channels=1" > "$D/pulse.log" 2>&1 &
pids+=($!)
wait_for 10 pactl info || fail "PulseAudio did not start"
pactl set-default-sink nullsink
# A short latency, so that the recording's length tells the time of each sample closely.
parec -d nullsink.monitor --format=s16le --rate=16000 --channels=1 --raw --latency-msec=10 \
  > "$D/rec.raw" &
pids+=($!)
wait_for 10 test -s "$D/rec.raw" || fail "nothing recorded from the null sink"

offset() { stat -c %s "$D/rec.raw"; }
heard() {  # heard FROM_BYTE: prints the probe's figures for the recording since FROM_BYTE
  "$probe" "$D/rec.raw" "$1"
}
field() { sed -n "s/.*$1=\([-0-9]*\).*/\1/p"; }
copy() {  # copy TYPE FILE: another program takes the clipboard
  [ -n "${copier:-}" ] && kill "$copier" 2>/dev/null || true
  xclip -selection clipboard -loops 20 -t "$1" -i "$2" &
  copier=$!
  pids+=($copier)
  sleep 0.2
}

