#!/usr/bin/env bash
# The whole test suite: set-up, optimised build with warnings as errors, every test,
# then the same suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --workflow --preset release
cmake --workflow --preset asan
