#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kestrix on a demo database
# (build/DB/CBASE.FDB, embedded engine) with a simulated controller on 127.0.0.1.
# Run through sudo, the program itself runs as the user who asked for it, with
# the right to send MAC-mode frames granted to the built program.
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
  setcap cap_net_raw,cap_net_admin=eip build/kestrix
  # Where the Firebird server is installed, the embedded engine shares its lock
  # files, which belong to group firebird.
  if getent group firebird >/dev/null; then
    if ! id -nG "$SUDO_USER" | grep -qw firebird; then
      usermod -a -G firebird "$SUDO_USER"
      echo "added $SUDO_USER to group firebird (lock files of the embedded engine)"
    fi
    if [ -d /tmp/firebird ]; then chgrp -R firebird /tmp/firebird && chmod -R g+rwX /tmp/firebird; fi
  fi
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
