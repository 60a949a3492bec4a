#!/usr/bin/env bash
# Configures and builds into build/ (the program is build/kestrix), or into
# $BUILD_DIR; further arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${BUILD_DIR:-build}"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
