#!/usr/bin/env bash
# Window benchmark, on a private Xvfb with a PulseAudio null sink (as the end-to-end test):
#  - process start to the window shown;
#  - a copy to the first audible sample at the sink, when idle;
#  - a copy arriving in the middle of a long chunk to the first sample of the new text.
# window_bench.sh VELARN AUDIO_PROBE [ROUNDS]. Prints figures; checks nothing.
set -euo pipefail
velarn_built=$1
probe=$2
rounds=${3:-3}
# shellcheck source=../tests/e2e/desktop_env.sh
. "$(cd "$(dirname "$0")/../tests/e2e" && pwd)/desktop_env.sh"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
mkdir -p "$D/prog"
cp "$velarn_built" "$D/prog/velarn"
title='Velarn在线朗读 by orvik'

start_program() {  # sets `velarn` and `shown_ms`, the milliseconds from the start to the window
  local t0 t1
  t0=$(now_ms)
  SDL_AUDIODRIVER=pulseaudio "$D/prog/velarn" > "$D/velarn.log" 2>&1 &
  velarn=$!
  pids+=($velarn)
  until xwininfo -name "$title" 2>/dev/null | grep -q IsViewable; do
    kill -0 "$velarn" 2>/dev/null || fail "the program ended"
  done
  t1=$(now_ms)
  shown_ms=$((t1 - t0))
}
close_program() {
  xdotool search --onlyvisible --name Velarn windowfocus --sync key Escape >/dev/null 2>&1 || true
  wait "$velarn" || true
}
quiet() {  # waits until the sink has been silent for a second
  local s
  for _ in $(seq 1 60); do
    s=$(offset)
    sleep 1
    [ "$(heard "$s" | field loud_ms)" -eq 0 ] && return 0
  done
  fail "the sink never fell silent"
}

# An idle null sink delays its first sound: keep it busy with silence first.
head -c 64000 /dev/zero | pacat --format=s16le --rate=16000 --channels=1 --raw

for i in $(seq 1 "$rounds"); do
  start_program
  echo "start to window shown: $shown_ms ms"
  close_program
done

start_program
# A new text every round: the engine keeps the audio of texts it has spoken.
digits=(零 一 二 三 四 五 六 七 八 九)
for i in $(seq 1 "$rounds"); do
  printf '你好，世界%s。' "${digits[$((i % 10))]}" > "$D/short.txt"
  quiet
  s=$(offset)
  copy UTF8_STRING "$D/short.txt"
  sleep 3
  echo "idle copy to first sound: $(heard "$s" | field first_ms) ms"
done

# One long chunk: Han characters with no break for the chunk cut to use.
for i in $(seq 1 "$rounds"); do
  printf '%.0s春眠不觉晓处处闻啼鸟夜来风雨声花落知多少' $(seq 1 20) > "$D/long.txt"
  printf '%s' "${digits[$((i % 10))]}" >> "$D/long.txt"
  printf '%.0s天' $(seq 1 "$((i + 3))") > "$D/next.txt"
  quiet
  s=$(offset)
  copy UTF8_STRING "$D/long.txt"
  wait_for 15 sh -c "[ \$('$probe' '$D/rec.raw' $s | sed -n 's/.*loud_ms=\([0-9]*\).*/\1/p') -ge 1500 ]" ||
    fail "the long chunk was not heard"
  s=$(offset)
  copy UTF8_STRING "$D/next.txt"
  sleep 3
  echo "copy during a long chunk to the new text's first sound: $(heard "$s" | field resume_ms) ms"
done
close_program
