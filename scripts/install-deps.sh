#!/usr/bin/env bash
# Installs the Debian packages Kestrix needs to build, run and test.
# Runs as root or through sudo; does nothing when everything is there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev
  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils
  libpcap-dev iproute2
  xvfb xauth fonts-dejavu-core qt6-translations-l10n
  libx11-dev xdotool xclip
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
