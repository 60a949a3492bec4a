#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kestrix on a demo database
# (build/DB/CBASE.FDB, embedded engine) with a simulated controller on 127.0.0.1.
# Run through sudo, the program itself runs as the user who asked for it; the
# right to send MAC-mode frames goes to the built frame-sending helper alone.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh libcap2-bin
scripts/build.sh

as_user=()
if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
  runtime="/run/user/$(id -u "$SUDO_USER")"
  as_user=(runuser -u "$SUDO_USER" -- env DISPLAY="${DISPLAY:-}" WAYLAND_DISPLAY="${WAYLAND_DISPLAY:-}"
           XAUTHORITY="${XAUTHORITY:-$(getent passwd "$SUDO_USER" | cut -d: -f6)/.Xauthority}")
  [ -d "$runtime" ] && as_user+=(XDG_RUNTIME_DIR="$runtime")
  setcap cap_net_raw=ep build/kestrix-send
  # The program keeps settings.ini and its database next to itself.
  chown "$SUDO_USER" build
  mkdir -p build/DB && chown "$SUDO_USER" build/DB
  [ -e build/settings.ini ] && chown "$SUDO_USER" build/settings.ini
fi

"${as_user[@]}" scripts/make-db.sh --demo build/DB
"${as_user[@]}" build/kestrix-sim &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
"${as_user[@]}" build/kestrix
