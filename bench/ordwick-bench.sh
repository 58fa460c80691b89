#!/usr/bin/env bash
# Reading speed and peak memory of Ordwick on a 1080p reference of about 60 s at a high bit
# rate (a few hundred MB). The reference is generated once and reused; every timed run reads
# it from a warm page cache. Sizes are in MiB (1048576 bytes). Then the analysis of a hostile
# reference whose 500,000 video samples each show a header word of their own (header_words_*).
#
#   bench/ordwick-bench.sh [BUILD_DIR [DATA_DIR]]
#
# BUILD_DIR defaults to build/ beside this script's folder; DATA_DIR to BUILD_DIR/bench-data.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
data=${2:-$build/bench-data}
ordwick=$build/bin/Ordwick
header_words_bench=$build/bin/header_words_bench
source "$here/header-constant.sh"
access_code=$(header_constant kReferenceAccessCode media/access_codes.h)
runs=${ORDWICK_BENCH_RUNS:-3}

for program in "$ordwick" "$header_words_bench"; do
    [[ -x $program ]] || { echo "no $(basename "$program") in $build/bin (build it first)" >&2; exit 1; }
done
for tool in ffmpeg ffprobe /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

mkdir -p "$data"
reference=$data/reference-1080p-60s.mp4
if [[ ! -s $reference ]]; then
    echo "generating $reference ..." >&2
    ffmpeg -nostdin -hide_banner -loglevel error -y \
        -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=60 \
        -f lavfi -i sine=frequency=440:sample_rate=48000:duration=60 \
        -c:v libx264 -preset ultrafast -b:v 60M -maxrate 60M -bufsize 120M -pix_fmt yuv420p \
        -c:a aac -b:a 128k -f mp4 "$reference.part"
    mv "$reference.part" "$reference"
fi

bytes=$(stat -c %s "$reference")
largest=$(ffprobe -v error -show_entries packet=size -of csv=p=0 "$reference" | sort -n | tail -n 1)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Wall-clock seconds of one run of "$@"; its peak resident memory (kB) ends $scratch/time.
timed() {
    local start end
    start=$(date +%s.%N)
    /usr/bin/time -f "%M" -o "$scratch/time" "$@" >/dev/null || true
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# Warm the cache, then keep the fastest run (and the largest peak memory seen).
cat "$reference" >/dev/null
best=""
peak_kb=0
for ((i = 0; i < runs; ++i)); do
    seconds=$(timed "$ordwick" "$reference" "$access_code" "$scratch/ref.xml")
    kb=$(tail -n 1 "$scratch/time")
    if [[ -z $best ]] || smaller "$seconds" "$best"; then best=$seconds; fi
    if ((kb > peak_kb)); then peak_kb=$kb; fi
done
# The fixed cost of starting the program (loading its libraries): a run refused for a wrong
# access code reads nothing.
startup=""
for ((i = 0; i < runs; ++i)); do
    seconds=$(timed "$ordwick" "$reference" wrong-code "$scratch/none.xml")
    if [[ -z $startup ]] || smaller "$seconds" "$startup"; then startup=$seconds; fi
done
[[ -s $scratch/ref.xml ]] || { echo "Ordwick wrote no document" >&2; exit 1; }

awk -v bytes="$bytes" -v s="$best" -v start="$startup" -v kb="$peak_kb" -v largest="$largest" 'BEGIN {
    mib = 1048576
    printf "file_mb: %.1f\n", bytes / mib
    printf "seconds: %.3f\n", s
    printf "mb_per_s: %.0f\n", (s > 0 ? bytes / mib / s : 0)
    printf "startup_seconds: %.3f\n", start
    printf "analysis_mb_per_s: %.0f\n", (s > start ? bytes / mib / (s - start) : 0)
    printf "peak_rss_mb: %.1f\n", kb / 1024
    printf "largest_sample_mb: %.2f\n", largest / mib
    printf "rss_beyond_largest_sample_mb: %.1f\n", kb / 1024 - largest / mib
}'
"$header_words_bench"
