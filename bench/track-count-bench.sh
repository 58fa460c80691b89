#!/bin/bash
# Cost of hostile references against a plain one: a movie box that ends with 250,000 empty
# 'trak' boxes, and a reference holding 1,000 copies of its video track. For each: Ordwick's
# time and peak memory, the size of the description it writes, and the repair of an 11 MB
# recording by that description. Last, the engine's reading of a description of 1,000,000
# header words (37 MB), which it refuses unread.
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
if [ ! -s "$data/reference-copies.mp4" ]; then
    # The video, the sound, then 998 more copies of the video: 1,000 tracks.
    maps=(-map 0:v -map 0:a)
    for ((i = 0; i < 998; ++i)); do maps+=(-map 0:v); done
    "${ffmpeg_quiet[@]}" -i "$data/reference.mp4" "${maps[@]}" -c copy -max_streams 2000 -f mp4 \
        "$data/reference-copies.mp4.part"
    mv "$data/reference-copies.mp4.part" "$data/reference-copies.mp4"
fi

source "$(dirname "$0")/header-constant.sh"
access_code=$(header_constant kReferenceAccessCode media/access_codes.h)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

run_case() {
    local label=$1 reference=$2
    local out=$data/out-$label
    mkdir -p "$out"
    echo "== $label: reference $(stat -c %s "$reference") bytes, damaged $(stat -c %s "$data/damaged.mp4") bytes"
    local start end
    start=$(date +%s.%N)
    /usr/bin/time -f "%M" -o "$scratch/time" "$bin/Ordwick" "$reference" "$access_code" "$data/$label.xml" > /dev/null
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "ordwick_seconds: %.3f\n", b - a }'
    awk '{ printf "ordwick_peak_rss_mb: %.1f\n", $1 / 1024 }' "$scratch/time"
    echo "description_bytes: $(stat -c %s "$data/$label.xml")"
    echo "description_tracks: $(grep -c '<track>' "$data/$label.xml" || true)"
    "$bin/repair_bench" "$data/damaged.mp4" "$data/$label.xml" "$out/" | grep -E '^(return|seconds|video_bytes): ' |
        sed 's/^/repair_/'
}

run_case plain "$data/reference.mp4"
run_case traks "$data/reference-traks.mp4"
run_case copies "$data/reference-copies.mp4"

# The plain description with 1,000,000 more words for type 1, written without white space.
words=$data/header-words.xml
grep -A3 '<type>1</type>' "$data/plain.xml" | grep -q '<hexcode>' ||
    { echo "the plain description has no words for type 1" >&2; exit 1; }
awk -v n=1000000 '{ print } /<type>1<\/type>/ { type1 = 1 }
    type1 && /<hexcode>/ { for (i = 0; i < n; ++i) printf "<bytes><value>%d</value></bytes>", 16777215 - i; type1 = 0 }' \
    "$data/plain.xml" > "$words"
echo "== header words: description $(stat -c %s "$words") bytes"
out=$data/out-words
mkdir -p "$out"
"$bin/repair_bench" "$data/damaged.mp4" "$words" "$out/" | grep -E '^(return|seconds|peak_rss_mb): ' | sed 's/^/repair_/'
