#!/usr/bin/env bash
# Writes a picture of the main window as it opens: scripts/screenshot.sh [FILE.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/window.png}"
QT_QPA_PLATFORM=offscreen build/kestrix-screenshot "$out"
echo "wrote $out"
