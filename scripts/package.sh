#!/usr/bin/env bash
# Builds the Debian package build-package/kestrix_<version>_<arch>.deb and
# prints its path. KESTRIX_PACKAGE_VERSION overrides the version (the upgrade
# test builds a higher one).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh dpkg-dev
dir=build-package
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DKESTRIX_TESTS=OFF \
  -DKESTRIX_PACKAGE_VERSION="${KESTRIX_PACKAGE_VERSION:-$(sed -n 's/^project(kestrix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)}" >/dev/null
cmake --build "$dir" -j"$(nproc)" --target kestrix kestrix-collect kestrix-send kestrix-sim >/dev/null
(cd "$dir" && cpack -G DEB >/dev/null)
deb="$(ls -t "$dir"/kestrix_*.deb | head -n 1)"
# /opt belongs to no package, and a package that lists it makes dpkg warn at
# purge that it cannot remove it: the data part is made again without it.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && ar x "$OLDPWD/$deb" && mkdir root && tar -xpf data.tar.* -C root && rm data.tar.* &&
 (cd root && find . -mindepth 1 ! -path ./opt | LC_ALL=C sort) > list &&
 tar -C root --no-recursion --numeric-owner -cf - -T list | gzip -9n > data.tar.gz &&
 rm -f repacked.deb && ar rc repacked.deb debian-binary control.tar.* data.tar.gz)
mv "$work/repacked.deb" "$deb"
echo "$deb"
