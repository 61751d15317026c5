#!/usr/bin/env bash
# Builds Velarn and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh release -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec build/release/app/velarn
