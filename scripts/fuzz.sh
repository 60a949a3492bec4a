#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for SECONDS
# (default 10) from its seed corpus: scripts/fuzz.sh [SECONDS]
# New inputs go to build-fuzz/corpus/; a crash leaves build-fuzz/crash-* and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-10}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKESTRIX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null
status=0
passed=0
failed=0
for seeds in tests/fuzz/corpus/*/; do
  target="$(basename "$seeds")"
  mkdir -p "build-fuzz/corpus/$target"
  if build-fuzz/tests/fuzz/"$target" "build-fuzz/corpus/$target" "$seeds" -max_total_time="$seconds" \
       -artifact_prefix="build-fuzz/crash-$target-" -print_final_stats=1 > "build-fuzz/$target.log" 2>&1; then
    runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "build-fuzz/$target.log" | grep -o '[0-9]*$')"
    echo "$target: ${runs:-?} executions, no finding"
    passed=$((passed + 1))
  else
    echo "$target: FINDING, see build-fuzz/$target.log"; tail -30 "build-fuzz/$target.log"
    status=1
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
exit $status
