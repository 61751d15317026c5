#!/usr/bin/env bash
# End to end: the real program on Xvfb with a PulseAudio null sink, another program (xclip)
# copying to the clipboard, the sink's monitor recorded to prove that speech is heard.
# clipboard_e2e.sh VELARN AUDIO_PROBE ARTEFACT_DIR
set -euo pipefail
velarn_built=$1
probe=$2
artefacts=$3
mkdir -p "$artefacts"

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=desktop_env.sh
. "$here/desktop_env.sh"

# Text on the clipboard before the program starts is not read.
printf '早上好，今天天气很好。' > "$D/before.txt"
copy UTF8_STRING "$D/before.txt"

# The program, from a directory of its own (EngineCacheDir is made beside it).
mkdir -p "$D/prog"
cp "$velarn_built" "$D/prog/velarn"
SDL_AUDIODRIVER=pulseaudio "$D/prog/velarn" > "$D/velarn.log" 2>&1 &
velarn=$!
pids+=($velarn)
wait_for 30 sh -c "xwininfo -root -tree | grep -q 'Velarn'" || fail "the window was not shown"
cache=$(find "$D/prog" -maxdepth 1 -type d -regextype posix-extended -regex '.*/[0-9a-f]{32}' | head -n1)
[ -n "$cache" ] || fail "no EngineCacheDir beside the program"

start=$(offset)
sleep 3
[ "$(heard "$start" | field loud_ms)" -eq 0 ] || fail "the text on the clipboard at start-up was read"

# A copy of Chinese text is heard.
printf '%.0s春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。' $(seq 1 12) > "$D/long.txt"
start=$(offset)
copy UTF8_STRING "$D/long.txt"
wait_for 15 sh -c "[ \$('$probe' '$D/rec.raw' $start | sed -n 's/.*loud_ms=\([0-9]*\).*/\1/p') -ge 1000 ]" ||
  fail "the copied text was not heard: $(heard "$start")"
echo "first copy heard: $(heard "$start")"

# Copying an image during reading changes nothing: the reading goes on.
printf '\x89PNG\r\n\x1a\n' > "$D/image.png"
copy image/png "$D/image.png"
start=$(offset)
sleep 3
[ "$(heard "$start" | field loud_ms)" -ge 1000 ] || fail "copying an image stopped the reading"

xwd -root -silent > "$artefacts/window.xwd" || true

# A second copy during reading stops the first text (a minute of speech) and reads the new,
# short one.
printf '你好，世界。今天天气很好。' > "$D/short.txt"
start=$(offset)
copy UTF8_STRING "$D/short.txt"
sleep 8
figures=$(heard "$start")
echo "second copy: $figures"
[ "$(echo "$figures" | field loud_ms)" -ge 300 ] || fail "the second copy was not heard"
[ "$(echo "$figures" | field last_ms)" -le 5000 ] || fail "the first text went on after the second copy"

# Esc closes the window: the process ends with 0 and EngineCacheDir is gone.
xdotool search --onlyvisible --name 'Velarn' windowfocus --sync key Escape
code=0
wait_for 15 sh -c "! kill -0 $velarn" || fail "the program did not end after the close request"
wait "$velarn" || code=$?
[ "$code" -eq 0 ] || fail "exit code $code after closing"
[ ! -e "$cache" ] || fail "EngineCacheDir is still there"
echo "PASS"
