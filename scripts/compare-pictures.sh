#!/usr/bin/env bash
# Compares our pages with gerbv's pictures of the same files (build/<preset>/page-compare) and
# prints one row per file and a summary: every file of the corpus beside the repository, or the
# files given (paths as given, or relative to the corpus folder).
#
#   scripts/compare-pictures.sh [--build DIR] [--jobs N] [--hatched] [--ink-only] [--diff DIR]
#                               [--diff-scale N] [--bound PERCENT] [FILE...]
#
# Columns: dark pixels of the reference and of our page, agreement (dark in both / dark in
# either), the reference's ink we miss and our ink the reference lacks beyond 2 pixels (in
# percent of that picture's ink, and clr- / clr+ the same pixels in percent of the other
# picture's clear board area, which catches filled clearances in a plane), spots (groups of
# missing or extra pixels), the registration shift, and the result: PASS or FAIL against the
# bound (1.5 %; --ink-only: the ink percentages alone), NO-PAGE (we made no page), NO-REF (gerbv
# made no picture), REF-UNRELIABLE (gerbv said it dropped part of the file, or drew nothing;
# figures shown, not counted), ERROR. --diff DIR writes a difference picture per file (red
# missing, blue extra). More: build/release/page-compare --help. Exit status 1 when a file fails.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
corpus="$repo/../shared/corpus"

build="$repo/build/release"
jobs=1
tool_args=()
files=()
while (($#)); do
  case "$1" in
    --build) build=$(cd "$2" 2>/dev/null && pwd || echo "$2"); shift 2 ;;
    --jobs) jobs="$2"; shift 2 ;;
    --hatched|--ink-only) tool_args+=("$1"); shift ;;
    --diff) mkdir -p "$2"; tool_args+=(--diff "$(cd "$2" && pwd)"); shift 2 ;;
    --diff-scale|--bound) tool_args+=("$1" "$2"); shift 2 ;;
    -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "compare-pictures.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) files+=("$1"); shift ;;
  esac
done

for tool in gerbv pdftoppm pdftotext; do
  command -v "$tool" >/dev/null || { echo "compare-pictures.sh: $tool is not installed" >&2; exit 2; }
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  if [ "$build" = "$repo/build/release" ]; then
    (cd "$repo" && cmake --preset release >/dev/null)
  else
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
fi
cmake --build "$build" --target plotvane page-compare >/dev/null

# Names as the table shows them: relative to the corpus when the file is there.
names=()
if ((${#files[@]} == 0)); then
  [ -f "$corpus/INDEX.tsv" ] || { echo "compare-pictures.sh: no corpus at $corpus" >&2; exit 2; }
  while IFS=$'\t' read -r path _; do names+=("$path"); done < <(tail -n +2 "$corpus/INDEX.tsv")
else
  for f in "${files[@]}"; do
    if [ -f "$f" ]; then
      names+=("$(realpath "$f")")
    elif [ -f "$corpus/$f" ]; then
      names+=("$f")
    else
      echo "compare-pictures.sh: no such file: $f" >&2
      exit 2
    fi
  done
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# Every job takes every jobs-th file; the rows are put back in the list's order.
for ((j = 0; j < jobs; ++j)); do
  (
    cd "$corpus" 2>/dev/null || cd /
    part=()
    for ((i = j; i < ${#names[@]}; i += jobs)); do part+=("${names[$i]}"); done
    ((${#part[@]})) || exit 0
    "$build/page-compare" --rows-only "${tool_args[@]}" "${part[@]}" >"$out/rows.$j" || true
  ) &
done
wait

"$build/page-compare" --heading
for ((i = 0; i < ${#names[@]}; ++i)); do
  sed -n "$((i / jobs + 1))p" "$out/rows.$((i % jobs))"
done | tee "$out/all"

awk '
  { for (k = 1; k <= NF; ++k) if ($k ~ /^(PASS|FAIL|NO-PAGE|NO-REF|REF-UNRELIABLE|ERROR)$/) { n[$k]++; break } }
  END {
    printf "compared %d: %d pass, %d fail; left out: %d without our page, %d without a reference, %d with an unreliable reference, %d errors\n",
      n["PASS"] + n["FAIL"], n["PASS"], n["FAIL"], n["NO-PAGE"], n["NO-REF"], n["REF-UNRELIABLE"], n["ERROR"]
    exit (n["FAIL"] + n["ERROR"] > 0)
  }' "$out/all"
