#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the suite, the same
# suite built with AddressSanitizer + UndefinedBehaviorSanitizer, and a short
# run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh firebird3.0-server tshark clang libclang-rt-14-dev
scripts/start-firebird-server.sh
export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

scripts/build.sh
(cd build && ctest --output-on-failure -j"$jobs")

BUILD_DIR=build-asan scripts/build.sh -DKESTRIX_SANITIZE=ON
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j"$jobs")

scripts/fuzz.sh "${FUZZ_SECONDS:-10}"
