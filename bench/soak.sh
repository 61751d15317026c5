#!/usr/bin/env bash
# Reading soak, on a private Xvfb with a PulseAudio null sink: the program reads a long text
# again and again (a fresh copy whenever reading is over, a new text every round so that the
# engine's cache keeps growing as in real use) for the given minutes, and its resident memory,
# threads and open files are printed every minute. Checks nothing.
# soak.sh VELARN AUDIO_PROBE [MINUTES]   (default 30)
set -euo pipefail
velarn_built=$1
probe=$2
minutes=${3:-30}
# shellcheck source=../tests/e2e/desktop_env.sh
. "$(cd "$(dirname "$0")/../tests/e2e" && pwd)/desktop_env.sh"

mkdir -p "$D/prog"
cp "$velarn_built" "$D/prog/velarn"
SDL_AUDIODRIVER=pulseaudio "$D/prog/velarn" > "$D/velarn.log" 2>&1 &
velarn=$!
pids+=($velarn)
wait_for 30 sh -c "xwininfo -root -tree | grep -q 'Velarn'" || fail "the window was not shown"
status_field() { awk -v k="$1:" '$1 == k { print $2 }' "/proc/$velarn/status"; }
figures() {
  echo "$1: resident $(status_field VmRSS) kB, threads $(status_field Threads)," \
    "open files $(find "/proc/$velarn/fd" -mindepth 1 -maxdepth 1 | wc -l)"
}

digits=(零 一 二 三 四 五 六 七 八 九)
round=0
copy_round() {
  round=$((round + 1))
  printf '%.0s第%s轮：春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。' $(seq 1 8) \
    "${digits[$((round % 10))]}${digits[$((round / 10 % 10))]}" > "$D/soak.txt"
  copy UTF8_STRING "$D/soak.txt"
}
copy_round
sleep 20
figures "start (after the first 20 s of reading)"
end=$((SECONDS + minutes * 60))
next_report=$((SECONDS + 60))
while [ "$SECONDS" -lt "$end" ]; do
  kill -0 "$velarn" 2>/dev/null || fail "the program ended"
  s=$(offset)
  sleep 3
  # Silent for 3 s: the reading is over, copy the next round.
  [ "$(heard "$s" | field loud_ms)" -eq 0 ] && copy_round
  if [ "$SECONDS" -ge "$next_report" ]; then
    figures "after $(((SECONDS - end + minutes * 60) / 60)) min, round $round"
    next_report=$((next_report + 60))
  fi
done
figures "end, $round rounds"
