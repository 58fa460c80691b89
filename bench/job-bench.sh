#!/bin/bash
# Phase times of whole repair jobs (reference analysis, scan, the check that the first pictures
# decode, audio repair, mux, conversion).
# usage: bench/job-bench.sh [BUILD_DIR] [SECONDS]   (defaults: build, 60)
# The recordings are generated once into BUILD_DIR/job-bench-data and reused:
#   large:   about 1 GB of 1080p H.264 + AAC, cut so that its moov box is gone; repaired with no
#            conversion, where the whole job is set against the scan alone (the data passes
#            through the mux once, so the aim is a job under three times the scan)
#   camera:  SECONDS of 1280x720 x264 defaults (B-frames) + AAC cut at 70%, with and without
#            the conversion
set -euo pipefail

build=${1:-build}
seconds=${2:-60}
bin=$build/bin
data=$build/job-bench-data
mkdir -p "$data"

ffmpeg_quiet=(ffmpeg -nostdin -hide_banner -loglevel error -y)

# make NAME SECONDS SIZE ARGS...: NAME.mp4 of the test picture and a tone, made once.
make_clip() {
    local out=$data/$1.mp4 duration=$2 size=$3
    shift 3
    [ -s "$out" ] && return 0
    "${ffmpeg_quiet[@]}" -f lavfi -i "testsrc2=size=$size:rate=25:duration=$duration" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$duration" "$@" -f mp4 "$out.part"
    mv "$out.part" "$out"
}

# cut NAME FRACTION: NAME-cut.mp4, the first FRACTION of the bytes (the index at the end is lost).
cut_clip() {
    local src=$data/$1.mp4 dst=$data/$1-cut.mp4
    [ -s "$dst" ] && return 0
    local size
    size=$(stat -c %s "$src")
    head -c "$(awk -v s="$size" -v f="$2" 'BEGIN { printf "%d", s * f }')" "$src" > "$dst.part"
    mv "$dst.part" "$dst"
}

# Lossless pictures: the test pattern compresses too well for a high bit rate target alone.
large_args=(-c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p -threads 4 -c:a aac -b:a 128k)
make_clip large-ref 2 1920x1080 "${large_args[@]}"
make_clip large 300 1920x1080 "${large_args[@]}"
cut_clip large 0.95

camera_args=(-ac 2 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k)
make_clip camera-ref 3 1280x720 "${camera_args[@]}"
make_clip "camera-$seconds" "$seconds" 1280x720 "${camera_args[@]}"
cut_clip "camera-$seconds" 0.7

# run LABEL DAMAGED REFERENCE FORMAT: the figures of one job, the faster of two runs (writing a
# gigabyte leaves dirty pages whose write-back can slow the next run down).
run() {
    local label=$1 damaged=$2 reference=$3 format=$4 out=$data/out best="" best_total="" figures total
    echo "== $label, format: $format, $(stat -c %s "$damaged") bytes"
    cat "$damaged" > /dev/null  # warm the cache
    for _ in 1 2; do
        rm -rf "$out"
        figures=$("$bin/job_bench" "$damaged" "$reference" "$out" "$format" 2>/dev/null | grep -E '^[a-z_]+: ')
        total=$(echo "$figures" | sed -n 's/^total_s: //p')
        if [ -z "$best_total" ] || awk -v a="$total" -v b="$best_total" 'BEGIN { exit !(a < b) }'; then
            best=$figures
            best_total=$total
        fi
    done
    rm -rf "$out"
    echo "$best"
    echo "$best" | awk -F': ' '$1 == "scan_s" { scan = $2 } $1 == "total_s" { total = $2 }
        END { printf "job_to_scan: %.2f\n", (scan > 0 ? total / scan : 0) }'
}

run large "$data/large-cut.mp4" "$data/large-ref.mp4" none
for format in "Re-Encode (Keep same quality)" none; do
    run camera "$data/camera-$seconds-cut.mp4" "$data/camera-ref.mp4" "$format"
done
