#!/usr/bin/env bash
# Builds and runs every test in three configurations: normal, AddressSanitizer+UBSan, and
# ThreadSanitizer (the code without Qt: shared state, waits, workers, engine component).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

run_config() {
  local name=$1
  shift
  echo "=== $name: build"
  tools/build.sh "$name" "$@"
  echo "=== $name: test"
  ctest --test-dir "build/$name" --output-on-failure -j "$(nproc)"
}

run_config normal -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_config asan -DCMAKE_BUILD_TYPE=Debug -DVELARN_SANITIZE=address
run_config tsan -DCMAKE_BUILD_TYPE=Debug -DVELARN_SANITIZE=thread -DVELARN_WITH_QT=OFF
tools/fuzz.sh 20
echo "=== all configurations passed"
