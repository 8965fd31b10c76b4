#!/usr/bin/env bash
# Runs a libFuzzer target for a bounded time with bounded memory.
#
#   fuzz/run.sh TARGET SECONDS    TARGET: reader, excellon, conversion, metafile (or fuzz_<name>)
#   fuzz/run.sh all SECONDS       each target in turn, SECONDS each
#
# Builds the targets with clang in build/fuzz (PLOTVANE_FUZZ_BUILD overrides the folder).
# Seeds are read at run time: examples/, fuzz/seeds/ (small boards of the reader features
# the examples lack: clear polarity, step and repeat, aperture blocks, holes, thermal, moire
# and exposure-off macro primitives) and ../shared/corpus for the Gerber targets,
# fuzz/seeds/excellon and ../shared/corpus/drill for the drill reader, and for the metafile
# target the page recordings of the Gerber files, written into the build folder. Inputs
# that add coverage are kept in <build>/corpus/<target>, findings go to
# <build>/artifacts/<target>/, the fuzzer's output to <build>/logs/<target>.log.
# The exit status is not 0 when a target found a crash, a leak, a timeout or ran out of
# memory.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "Usage: fuzz/run.sh reader|excellon|conversion|metafile|all SECONDS" >&2
  exit 2
fi
what=${1#fuzz_}
seconds=$2
build=${PLOTVANE_FUZZ_BUILD:-build/fuzz}
case $build in /*) ;; *) build=$root/$build ;; esac
corpus_dir=$root/../shared/corpus

case $what in
  reader|excellon|conversion|metafile) targets=("$what") ;;
  all) targets=(reader excellon conversion metafile) ;;
  *) echo "Unknown fuzz target: $1" >&2; exit 2 ;;
esac

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DPLOTVANE_FUZZ=ON -DPLOTVANE_TESTS=OFF -DPLOTVANE_BENCH=OFF \
    -DPLOTVANE_WERROR=ON
fi
build_targets=()
for t in "${targets[@]}"; do build_targets+=("fuzz_$t"); done
[[ " ${targets[*]} " == *" metafile "* ]] && build_targets+=(fuzz_emf_seeds)
cmake --build "$build" --target "${build_targets[@]}"

# The Gerber seed folders that exist here.
gerber_seeds=()
for d in "$root/examples" "$root/fuzz/seeds" "$corpus_dir"; do
  [ -d "$d" ] && gerber_seeds+=("$d")
done

# Page recordings of the example and corpus files, made once per build folder.
emf_seeds() {
  local dir=$build/seeds/emf
  if [ ! -f "$dir/.complete" ]; then
    rm -rf "$dir"
    mkdir -p "$dir"
    local files=()
    for d in "${gerber_seeds[@]}"; do
      while IFS= read -r -d '' f; do files+=("$f"); done \
        < <(find "$d" -type f ! -name '*.md' ! -name '*.tsv' -print0 | sort -z)
    done
    if ((${#files[@]})); then
      "$build/fuzz/fuzz_emf_seeds" "$dir" "${files[@]}" > /dev/null 2>&1 || true
    fi
    touch "$dir/.complete"
  fi
  echo "$dir"
}

status=0
for t in "${targets[@]}"; do
  exe=$build/fuzz/fuzz_$t
  mkdir -p "$build/corpus/$t" "$build/artifacts/$t" "$build/logs"
  case $t in
    reader) seeds=("${gerber_seeds[@]}"); max_len=16384; dict=(-dict="$root/fuzz/gerber.dict") ;;
    excellon) seeds=("$root/fuzz/seeds/excellon")
      [ -d "$corpus_dir/drill" ] && seeds+=("$corpus_dir/drill")
      max_len=16384; dict=(-dict="$root/fuzz/excellon.dict") ;;
    conversion) seeds=("${gerber_seeds[@]}"); max_len=8192; dict=(-dict="$root/fuzz/gerber.dict") ;;
    metafile) seeds=("$(emf_seeds)"); max_len=32768; dict=() ;;
  esac
  log=$build/logs/$t.log
  echo "fuzz_$t: ${seconds}s (log $log)"
  rc=0
  # The timeout is wall time at nice 10: a file at the copy bound (a small step and repeat of
  # 800,000 tracks) needs about 5 s of CPU under the sanitizers, and much longer on a busy machine.
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    nice -n 10 "$exe" -max_total_time="$seconds" -timeout=90 -rss_limit_mb=2048 \
      -max_len="$max_len" "${dict[@]}" -print_final_stats=1 -artifact_prefix="$build/artifacts/$t/" \
      "$build/corpus/$t" "${seeds[@]}" > "$log" 2>&1 || rc=$?
  # The last progress line (executions, coverage, features, corpus) and the totals.
  grep -E '^#[0-9]+' "$log" | tail -n 1 || true
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true
  if [ "$rc" -ne 0 ]; then
    echo "fuzz_$t FAILED (status $rc); see $log and $build/artifacts/$t/" >&2
    grep -E 'ERROR: |runtime error|SUMMARY' "$log" | head -n 5 >&2 || true
    status=1
  fi
done
exit $status
