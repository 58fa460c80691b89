#!/bin/bash
# Cost of a reference whose movie box holds 250,000 empty 'trak' boxes, against a plain one:
# Ordwick's analysis of it, the size of the description it writes, and the repair of an
# 11 MB recording by that description.
# usage: bench/track-count-bench.sh [BUILD_DIR]   (default: build)
# The clips are generated once into BUILD_DIR/track-count-bench-data and reused.
set -euo pipefail

build=${1:-build}
bin=$build/bin
data=$build/track-count-bench-data
mkdir -p "$data"

ffmpeg_quiet=(ffmpeg -nostdin -hide_banner -loglevel error -y)
clip_args=(-c:v libx264 -preset ultrafast -b:v 1500k -pix_fmt yuv420p -c:a aac -b:a 128k)

# make NAME SECONDS: a 320x240 H.264 + AAC MP4 with its movie box at the end, made once.
make_clip() {
    local out=$data/$1.mp4
    [ -s "$out" ] && return 0
    "${ffmpeg_quiet[@]}" -f lavfi -i "testsrc2=size=320x240:rate=25:duration=$2" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$2" "${clip_args[@]}" -f mp4 "$out.part"
    mv "$out.part" "$out"
}

make_clip reference 2
make_clip recording 60
if [ ! -s "$data/damaged.mp4" ]; then
    # The first 95% of the bytes: the movie box at the end is lost, as in a recording cut off.
    size=$(stat -c %s "$data/recording.mp4")
    head -c $((size * 95 / 100)) "$data/recording.mp4" > "$data/damaged.mp4"
fi
[ -s "$data/reference-traks.mp4" ] ||
    "$bin/trak_padding_bench" "$data/reference.mp4" "$data/reference-traks.mp4" 250000

access_code=$(sed -n 's/.*kAccessCode\[\] = "\(.*\)";.*/\1/p' "$(dirname "$0")/../reference/analysis_entry.h")

run_case() {
    local label=$1 reference=$2
    local out=$data/out-$label
    mkdir -p "$out"
    echo "== $label: reference $(stat -c %s "$reference") bytes, damaged $(stat -c %s "$data/damaged.mp4") bytes"
    local start end
    start=$(date +%s.%N)
    "$bin/Ordwick" "$reference" "$access_code" "$data/$label.xml" > /dev/null
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "ordwick_seconds: %.3f\n", b - a }'
    echo "description_bytes: $(stat -c %s "$data/$label.xml")"
    echo "description_tracks: $(grep -c '<track>' "$data/$label.xml" || true)"
    "$bin/repair_bench" "$data/damaged.mp4" "$data/$label.xml" "$out/" | grep -E '^(return|seconds|video_bytes): ' |
        sed 's/^/repair_/'
}

run_case plain "$data/reference.mp4"
run_case traks "$data/reference-traks.mp4"
