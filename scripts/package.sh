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
ls -t "$dir"/kestrix_*.deb | head -n 1
