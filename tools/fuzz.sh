#!/usr/bin/env bash
# fuzz.sh [seconds]: builds the libFuzzer targets with clang into build/fuzz and runs each for a
# bounded time (default 20 s) on its corpus in tests/fuzz/corpus/<name>/. Fails on a crash; the
# crashing input is left in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build/fuzz -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELARN_FUZZ=ON \
  -DVELARN_WITH_QT=OFF -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14 >/dev/null
cmake --build build/fuzz --target velarn_fuzzers -j "$(nproc)"
mkdir -p build/fuzz/artifacts
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
while read -r name; do
  [ -n "$name" ] || continue
  corpus=tests/fuzz/corpus/$name
  work=build/fuzz/corpus/$name  # new inputs land here, the seeds in the tree stay as they are
  mkdir -p "$corpus" "$work"
  binary=$(find build/fuzz -type f -name "$name" -perm -u+x | head -n 1)
  echo "=== fuzz $name for ${seconds}s"
  "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/"$name"- "$work" "$corpus" 2>&1 | tail -n 12
done < build/fuzz/fuzzers.txt
echo "=== every fuzzer ran without a crash"
