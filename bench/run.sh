#!/usr/bin/env bash
# Times whole conversions with the release build and prints a Markdown table for README.md:
# generated copper layers of 1, 10, 20 and 50 MiB, a small example board (start-up cost) and the
# largest boards of the test corpus beside the repository (when present). Each figure is the
# median of several runs: wall and CPU seconds, peak memory, PDF size; the peer's wall time and
# peak memory on the same input in the same run (gerbv's PDF export, `gerbv -x pdf`, when it is
# installed) and the ratios; and the floor: reading the input plus deflating our own content at
# level 6 on one thread. Then the stages of the 10 MiB conversion.
#
#   bench/run.sh [--runs N] [--sizes "1 10 20 50"] [--no-corpus] [--no-profile] [--no-peer]
#                [--build DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=5
sizes="1 10 20 50"
corpus=1
profile=1
peer=1
build=build/release
while (($#)); do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --sizes) sizes="$2"; shift 2 ;;
    --no-corpus) corpus=0; shift ;;
    --no-profile) profile=0; shift ;;
    --no-peer) peer=0; shift ;;
    --build) build="$2"; shift 2 ;;
    *) echo "Usage: bench/run.sh [--runs N] [--sizes \"1 10 20 50\"] [--no-corpus] [--no-profile] [--no-peer] [--build DIR]" >&2
       exit 2 ;;
  esac
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  if [ "$build" = build/release ]; then
    cmake --preset release >/dev/null
  else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLOTVANE_BENCH=ON >/dev/null
  fi
fi
cmake --build "$build" --target plotvane gen_gerber pdf_floor timeit bench_phases >/dev/null
bin=$(cd "$build" && pwd)
data="$bin/bench-data"
mkdir -p "$data"

# No graphical session: the converter would otherwise ask the desktop to open every PDF.
unset DISPLAY WAYLAND_DISPLAY

# The peer: gerbv's PDF export of the same file, timed in the same loop.
gerbv=""
if ((peer)); then gerbv=$(command -v gerbv || true); fi
if [ -n "$gerbv" ]; then
  peer_name="gerbv $(dpkg-query -W -f='${Version}' gerbv 2>/dev/null || true)"
  peer_note="Peer: ${peer_name% } (\`gerbv -x pdf\`), run beside us on every input in the same loop."
elif ((peer)); then
  peer_note="Peer: gerbv is not installed, its columns are empty."
else
  peer_note="Peer: not run (--no-peer)."
fi

inputs=()
labels=()
for s in $sizes; do
  f="synthetic-${s}mib.gbr"
  [ -f "$data/$f" ] || "$bin/bench/gen_gerber" "${s}M" "$data/$f"
  inputs+=("$f")
  labels+=("$s")
done
cp -f examples/demo-top-copper.gbr "$data/small-demo-top-copper.gbr"
inputs+=("small-demo-top-copper.gbr")
labels+=("small")
corpus_dir=../shared/corpus
if ((corpus)) && [ -f "$corpus_dir/INDEX.tsv" ]; then
  mkdir -p "$data/corpus"
  while IFS=$'\t' read -r path _; do
    name="corpus/$(basename "$path")"  # the file's own name, without its source folders
    cp -f "$corpus_dir/$path" "$data/$name"
    inputs+=("$name")
    labels+=("corpus")
  done < <(tail -n +2 "$corpus_dir/INDEX.tsv" | sort -t$'\t' -k2,2nr | head -n 3)
fi

field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
size_text() { awk "BEGIN { b = $1; if (b < 1048576) printf \"%.0f KiB\", b / 1024; else printf \"%.2f MiB\", b / 1048576 }"; }
pdf_of() {
  local f="$1" dir name ext
  dir=$(dirname "$f")
  name=$(basename "$f")
  if [[ "$name" == *.* ]]; then
    ext="${name##*.}"
    echo "$dir/${name%.*}_${ext}.pdf"
  else
    echo "$dir/${name}_.pdf"
  fi
}

echo "Machine: $(nproc) processors, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1);" \
     "load average at start $(cut -d' ' -f1-3 /proc/loadavg); $(date -u +%Y-%m-%d)."
echo "Medians of $runs runs. $peer_note"
echo
echo "| input | size | wall s | CPU s | peak MiB | PDF | peer wall s | peer peak MiB | faster than peer | memory vs peer | floor s | wall / floor |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for i in "${!inputs[@]}"; do
  f="${inputs[$i]}"
  label="${labels[$i]}"
  t=$(cd "$data" && "$bin/bench/timeit" "$runs" "$bin/plotvane" "$f")
  if [ "$(field status "$t")" != 0 ]; then
    echo "| $f | conversion failed | | | | | | | | | | |"
    continue
  fi
  wall=$(field wall "$t")
  cpu=$(field cpu "$t")
  rss=$(field rss_kb "$t")
  pdf="$data/$(pdf_of "$f")"
  fl=$("$bin/bench/pdf_floor" "$data/$f" "$pdf" "$runs")
  floor=$(calc "%.3f" "$(field read_wall "$fl") + $(field deflate_wall "$fl")")
  in_size=$(stat -c %s "$data/$f")
  out_size=$(stat -c %s "$pdf")
  name="$f"
  [ "$label" = corpus ] && name="corpus board ${f#corpus/}"
  [ "$label" = small ] && name="small board ${f#small-}"
  [ "$label" != corpus ] && [ "$label" != small ] && name="generated copper layer, ${label} MiB"
  peer=" | | | "  # the peer's four cells
  if [ -n "$gerbv" ]; then
    # gerbv reports what it cannot read on standard error and goes on; only its times count.
    p=$(cd "$data" && "$bin/bench/timeit" "$runs" "$gerbv" -x pdf -o "$data/peer.pdf" "$f" 2>/dev/null)
    if [ "$(field status "$p")" != 0 ] || [ ! -s "$data/peer.pdf" ]; then
      peer="failed | | | "
    else
      pwall=$(field wall "$p")
      prss=$(field rss_kb "$p")
      peer="$(calc "%.3f" "$pwall") | $(calc "%.0f" "$prss / 1024") | $(calc "%.1f x" "$pwall / $wall")"
      peer="$peer | $(calc "%.0f %%" "100 * $rss / $prss")"
    fi
    rm -f "$data/peer.pdf"
  fi
  ratio="-"  # a floor under a millisecond makes no meaningful multiple
  [ "$(calc "%d" "($floor >= 0.001)")" = 1 ] && ratio=$(calc "%.2f" "$wall / $floor")
  printf "| %s | %s | %.3f | %.3f | %s | %s | %s | %s | %s |\n" \
    "$name" "$(size_text "$in_size")" "$wall" "$cpu" "$(calc "%.0f" "$rss / 1024")" \
    "$(size_text "$out_size")" "$peer" "$floor" "$ratio"
done

if ((profile)) && [[ " $sizes " == *" 10 "* ]]; then
  echo
  echo "Stages of the 10 MiB conversion (CPU seconds on one thread, medians of 3 runs):"
  echo
  "$bin/bench/bench_phases" "$data/synthetic-10mib.gbr" 3
fi
