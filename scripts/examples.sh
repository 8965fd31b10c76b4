#!/usr/bin/env bash
# Builds Plotvane and converts the bundled example boards into one PDF beside the first of them.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target plotvane
./build/release/plotvane examples/*.gbr
