#!/bin/bash
# Phase times of one whole repair job (reference analysis, scan, audio repair, mux,
# conversion) on a generated camera recording cut at 70% of its bytes.
# usage: bench/job-bench.sh [BUILD_DIR] [SECONDS]   (defaults: build, 60)
# The recordings are generated once into BUILD_DIR/job-bench-data and reused.
set -euo pipefail

build=${1:-build}
seconds=${2:-60}
bin=$build/bin
data=$build/job-bench-data
mkdir -p "$data"

# make NAME SECONDS: a 1280x720 H.264 (x264 defaults, B-frames) + AAC camera clip, made once.
make_clip() {
    local out=$data/$1.mp4
    [ -s "$out" ] && return 0
    ffmpeg -nostdin -hide_banner -loglevel error -y \
        -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$2" \
        -f lavfi -i "sine=frequency=440:beep_factor=4:sample_rate=48000:duration=$2" -ac 2 \
        -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k -f mp4 "$out.part"
    mv "$out.part" "$out"
}

make_clip reference 3
make_clip "camera-$seconds" "$seconds"
damaged=$data/camera-$seconds-cut.mp4
if [ ! -s "$damaged" ]; then
    size=$(stat -c %s "$data/camera-$seconds.mp4")
    head -c "$(awk -v s="$size" 'BEGIN { printf "%d", s * 0.7 }')" "$data/camera-$seconds.mp4" > "$damaged.part"
    mv "$damaged.part" "$damaged"
fi
echo "damaged_bytes: $(stat -c %s "$damaged")"

for format in "Re-Encode (Keep same quality)" none; do
    out=$data/out
    rm -rf "$out"
    echo "== format: $format"
    "$bin/job_bench" "$damaged" "$data/reference.mp4" "$out" "$format" 2>/dev/null | grep -E '^[a-z_]+: '
done
