#!/usr/bin/env bash
# Builds the Debian package of Plotvane in build/release: installs what building needs and
# what cpack needs to derive the package's dependencies (dpkg-shlibdeps, file), builds the
# program, and prints the package's path. Install it with: apt install ./build/release/plotvane_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh package
cmake --preset release -DPLOTVANE_TESTS=OFF -DPLOTVANE_BENCH=OFF >/dev/null
cmake --build --preset release --target plotvane
(cd build/release && cpack -G DEB >/dev/null)
ls build/release/plotvane_*.deb
