#!/usr/bin/env bash
# One diagnostic per input, as the dialog runs it, with its figures (aims: under 2 s for any
# file, at most 100 MB of memory); seconds_before_decoding and seconds_decoding split the time
# at "Decoding attempts started". The inputs are made here with the ffmpeg tool, once, into the
# build folder: a 720p x264 recording cut before its index (over 7 MiB, matching a built-in
# preset), a 720p x264 recording with sound at the encoder's default settings cut before its
# index (the candidates decode a few of its pictures and then fail: every attempt is made), a
# 1080p x265 recording, and 20 MB of noise (no preset matches: the walk's worst case).
#
#   bench/diagnose-bench.sh [BUILD_DIR]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
bench=$build/bin/diagnose_bench
[[ -x $bench ]] || { echo "no diagnose_bench in $build/bin (build it first)" >&2; exit 1; }
inputs=$build/bench-inputs
mkdir -p "$inputs"

make_clip() {  # make_clip NAME FFMPEG-ARGS...
    local out=$inputs/$1
    shift
    [[ -s $out ]] && return
    ffmpeg -nostdin -hide_banner -loglevel error -y "$@" "$out.part.mp4"
    mv -f "$out.part.mp4" "$out"
}
cut_clip() {  # cut_clip NAME: the first nine tenths of NAME.mp4, its index lost
    local out=$inputs/$1-cut.mp4
    [[ -s $out ]] || head -c $(( $(stat -c %s "$inputs/$1.mp4") * 9 / 10 )) "$inputs/$1.mp4" > "$out"
}

make_clip x264-720p.mp4 -f lavfi -i testsrc2=size=1280x720:rate=25:duration=12 \
    -c:v libx264 -preset veryfast -profile:v high -pix_fmt yuv420p -b:v 6M -an
make_clip x264-720p-default.mp4 -f lavfi -i testsrc2=size=1280x720:rate=30:duration=12 \
    -f lavfi -i sine=frequency=440:sample_rate=48000:duration=12 \
    -c:v libx264 -b:v 7M -pix_fmt yuv420p -c:a aac
cut_clip x264-720p
cut_clip x264-720p-default
make_clip x265-1080p.mp4 -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=4 \
    -c:v libx265 -preset veryfast -x265-params log-level=error -tag:v hvc1 -b:v 8M -an
noise=$inputs/noise.bin
[[ -s $noise ]] || head -c 20000000 /dev/urandom > "$noise"

for input in "$inputs/x264-720p-cut.mp4" "$inputs/x264-720p-default-cut.mp4" "$inputs/x265-1080p.mp4" "$noise"; do
    # The log lines go to the terminal as the dialog shows them; the figures follow.
    echo "input: $(basename "$input")"
    "$bench" "$input" | sed -e 's/^\([0-9][0-9]:[0-9][0-9]:[0-9][0-9] - \)/  \1/'
done
