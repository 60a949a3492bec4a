#!/usr/bin/env bash
# Starts the Firebird server (127.0.0.1:3050) when it is not running yet.
set -euo pipefail
if (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null; then exit 0; fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO /etc/init.d/firebird3.0 start
for _ in $(seq 1 50); do
  (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null && exit 0
  sleep 0.2
done
echo "the Firebird server did not start" >&2
exit 1
