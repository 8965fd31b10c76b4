#!/usr/bin/env bash
# The whole test suite: set-up, optimised build with warnings as errors, every test,
# then the same suite again under AddressSanitizer and UndefinedBehaviorSanitizer, then each
# libFuzzer target (clang, in build/fuzz) for a short bounded time so that regressions show,
# and last the benchmark once at its smallest size as a smoke test (no timing is judged).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh test
cmake --workflow --preset release
# ctest shows output only for failing tests: repeat the corpus test's summary line here.
grep -h '^Corpus: ' build/release/Testing/Temporary/LastTest.log || true
cmake --workflow --preset asan
fuzz/run.sh all 60
bench/run.sh --sizes 1 --runs 1 --no-corpus --no-profile
