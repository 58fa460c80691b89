#!/usr/bin/env bash
# Makes the diagnostic's built-in presets from clips generated here with the ffmpeg tool, and
# writes the plain documents under resources/presets/ (the build enciphers them).
#
#   tools/presets/make-presets.sh [BUILD_DIR]
#
# Each preset is made from several clips of one encoder setting (different pictures and bit
# rates), so that its size ranges are wide; the clips go to a temporary folder and are removed.
# A maintainer adds a preset for a camera the same way, from healthy recordings of it:
#   BUILD_DIR/bin/preset_maker "NAME" resources/presets/h264_presets.xml \
#       resources/presets/sps_list.xml RECORDING...
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
maker=$build/bin/preset_maker
[ -x "$maker" ] || cmake --build "$build" --target preset_maker
out=$root/resources/presets
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/clips"

# Written in the scratch folder and moved into place at the end, so that a run that fails
# leaves the committed documents as they were.
h264_doc=$work/h264_presets.xml
h265_doc=$work/h265_presets.xml
sps_doc=$work/sps_list.xml

# Pictures: moving test pattern, fractal zoom, noisy pattern (large frames), still bars (small).
sources=(
    "testsrc2=size=%s:rate=%s"
    "mandelbrot=size=%s:rate=%s"
    "testsrc2=size=%s:rate=%s,noise=alls=14:allf=t+u"
    "smptehdbars=size=%s:rate=%s"
)

# preset NAME DOCUMENT SIZE FPS SECONDS "BITRATES" ENCODER-OPTIONS...
preset() {
    local name=$1 doc=$2 size=$3 fps=$4 seconds=$5 rates=$6
    shift 6
    local clips=() n=0 pattern rate
    for pattern in "${sources[@]}"; do
        for rate in $rates; do
            n=$((n + 1))
            local clip=$work/clips/clip$n.mp4
            # shellcheck disable=SC2059
            ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi \
                -i "$(printf "$pattern" "$size" "$fps"),format=yuv420p" -t "$seconds" \
                "$@" -b:v "$rate" -an -f mp4 "$clip"
            clips+=("$clip")
        done
    done
    "$maker" "$name" "$doc" "$sps_doc" "${clips[@]}"
    rm -f "${clips[@]}"
}

x264() { echo -c:v libx264 -preset veryfast "$@"; }
x265() { echo -c:v libx265 -preset veryfast -x265-params log-level=error -tag:v hvc1 "$@"; }

# shellcheck disable=SC2046
{
preset "x264 baseline 480p 30fps" "$h264_doc" 640x480 30 3 "400k 1500k 5M" $(x264 -profile:v baseline)
preset "x264 main 720p 30fps" "$h264_doc" 1280x720 30 3 "1M 4M 10M" $(x264 -profile:v main)
preset "x264 main 720p 30fps cavlc" "$h264_doc" 1280x720 30 3 "1M 4M 10M" $(x264 -profile:v main -coder 0)
preset "x264 high 720p 25fps" "$h264_doc" 1280x720 25 3 "1M 4M 10M" $(x264 -profile:v high)
preset "x264 high 720p 60fps" "$h264_doc" 1280x720 60 3 "2M 6M 16M" $(x264 -profile:v high)
preset "x264 high 1080p 24fps" "$h264_doc" 1920x1080 24 3 "2M 8M 20M" $(x264 -profile:v high)
preset "x264 high 1080p 30fps" "$h264_doc" 1920x1080 30 3 "2M 8M 20M" $(x264 -profile:v high)
preset "x264 high 1080i 30fps" "$h264_doc" 1920x1080 30 3 "2M 8M 20M" $(x264 -profile:v high -flags +ilme+ildct -top 1)
preset "x264 high 2160p 30fps" "$h264_doc" 3840x2160 30 1 "8M 30M 60M" $(x264 -profile:v high)
preset "x265 main 720p 60fps" "$h265_doc" 1280x720 60 3 "1M 4M 10M" $(x265 -profile:v main)
preset "x265 main 1080p 30fps" "$h265_doc" 1920x1080 30 3 "2M 8M 20M" $(x265 -profile:v main)
preset "x265 main10 1080p 30fps" "$h265_doc" 1920x1080 30 3 "2M 8M 20M" $(x265 -profile:v main10 -pix_fmt yuv420p10le)
preset "x265 main 2160p 30fps" "$h265_doc" 3840x2160 30 1 "8M 30M 60M" $(x265 -profile:v main)
}
mv -f "$h264_doc" "$h265_doc" "$sps_doc" "$out/"
echo "written: $out/h264_presets.xml $out/h265_presets.xml $out/sps_list.xml"
