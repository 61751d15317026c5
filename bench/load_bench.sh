#!/usr/bin/env bash
# Load benchmark: the end-to-end load scenario (10 MB copy: time to first sound and the longest
# window-thread stall; the copy storm: threads, open files, resident memory before, at peak and
# after) with its stall bound lifted, so that it prints the figures whatever they are.
# load_bench.sh VELARN AUDIO_PROBE CLIPBOARD_STORM
set -euo pipefail
exec "$(cd "$(dirname "$0")/../tests/e2e" && pwd)/load_e2e.sh" "$1" "$2" "$3" 1000000000 1000000000
