#!/usr/bin/env bash
# Writes a picture of the main window after a download of 3,000 events from
# kestrix-sim and their load into a fresh database, as the acceptance test
# drives it under Xvfb: scripts/screenshot.sh [FILE.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-docs/window.png}")"
scripts/build.sh
KESTRIX_ACCEPTANCE_SCREENSHOT="$out" build/tests/test_acceptance \
  --gtest_filter='OperatorTest.ADownloadAndALoadInIpModeShowEveryCounterWhole'
[ -s "$out" ] || { echo "no picture written (is Xvfb installed?)" >&2; exit 1; }
echo "wrote $out"
