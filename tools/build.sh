#!/usr/bin/env bash
# build.sh NAME [cmake options...]: configures and builds build/NAME.
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1
shift
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "build/$name" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "build/$name" -j "$(nproc)"
