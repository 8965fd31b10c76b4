#!/usr/bin/env bash
# Builds Plotvane and converts the bundled example boards into one PDF beside the first of them.
# Installs only what building and running need (scripts/setup.sh build); the test suite is not
# configured here, scripts/test.sh does that in the same build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build
cmake --preset release -DPLOTVANE_TESTS=OFF -DPLOTVANE_BENCH=OFF >/dev/null
cmake --build --preset release --target plotvane
./build/release/plotvane examples/*.gbr
