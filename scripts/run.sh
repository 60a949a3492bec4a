#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kestrix on a demo database
# (build/DB/CBASE.FDB, embedded engine) with a simulated controller on 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
scripts/make-demo-db.sh build/DB
build/kestrix-sim &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
build/kestrix
