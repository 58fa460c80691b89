#!/bin/bash
# Speed and memory of a repair run on large generated recordings, from a warm cache.
# usage: bench/repair-bench.sh [BUILD_DIR]   (default: build)
# The recordings are generated once into BUILD_DIR/repair-bench-data and reused.
#   video:  about 1 GB of 1080p H.264 + AAC MP4, cut so that its moov box is gone
#   audio:  a MOV whose bytes are about half 24-bit PCM, with small H.264 pictures
#   junk:   the video recording with 100 MB of random bytes and 200 MB of 0xFF between pictures
#   zeros:  the video recording with 200 MB of its media data overwritten with zeros (a hole)
#   hole:   the start of the video recording, then 200 MB of zeros: the hole's own speed
# "video-preview" repairs the video recording as the window's shown row with Preview on; its
# preview_ratio is its time over the video run's (aim: at most 1.2).
set -euo pipefail

build=${1:-build}
bin=$build/bin
data=$build/repair-bench-data
mkdir -p "$data"

ffmpeg_quiet=(ffmpeg -nostdin -hide_banner -loglevel error -y)

# make NAME SECONDS VIDEO_SIZE AUDIO_FILTER CONTAINER ARGS...: the clip NAME.CONTAINER, made once.
make_clip() {
    local name=$1 seconds=$2 size=$3 audio=$4 container=$5
    shift 5
    local out=$data/$name.$container
    [ -s "$out" ] && return 0
    "${ffmpeg_quiet[@]}" -f lavfi -i "testsrc2=size=$size:rate=25:duration=$seconds" \
        -f lavfi -i "$audio:duration=$seconds" "$@" -f "$container" "$out.part"
    mv "$out.part" "$out"
}

# cut NAME.EXT FRACTION: NAME-cut.EXT, the first FRACTION of the bytes (the index at the end is lost).
cut_clip() {
    local src=$data/$1 dst=$data/${1%.*}-cut.${1##*.}
    [ -s "$dst" ] && return 0
    local size
    size=$(stat -c %s "$src")
    head -c "$(awk -v s="$size" -v f="$2" 'BEGIN { printf "%d", s * f }')" "$src" > "$dst.part"
    mv "$dst.part" "$dst"
}

# Lossless pictures: the test pattern compresses too well for a high bit rate target alone.
video_args=(-c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p -c:a aac -b:a 128k)
make_clip video-ref 2 1920x1080 "sine=frequency=440:sample_rate=48000" mp4 "${video_args[@]}"
make_clip video 300 1920x1080 "sine=frequency=440:sample_rate=48000" mp4 "${video_args[@]}"
cut_clip video.mp4 0.95

# zero_region NAME MODE: a 200 MB run of zeros in the video recording; MODE "inside" overwrites
# its media data from 400 MB on, "alone" puts the run behind the recording's first megabyte.
zero_region() {
    local dst=$data/$1.mp4
    [ -s "$dst" ] && return 0
    if [ "$2" = inside ]; then
        cp "$data/video-cut.mp4" "$dst.part"
        dd if=/dev/zero of="$dst.part" bs=1M seek=400 count=200 conv=notrunc status=none
    else
        { head -c 1048576 "$data/video-cut.mp4"; head -c 209715200 /dev/zero; } > "$dst.part"
    fi
    mv "$dst.part" "$dst"
}
zero_region video-zeros inside
zero_region video-hole alone

# video-junk: the video recording with 100 MB of random bytes put in before the picture at 100 s
# and 200 MB of 0xFF (erased flash) before the one at 200 s; every picture stays whole.
video_position() {
    ffprobe -v error -read_intervals "$1%+#1" -select_streams v -show_entries packet=pos -of csv=p=0 \
        "$data/video.mp4" | head -n 1
}
junk_region() {
    local dst=$data/video-junk.mp4
    [ -s "$dst" ] && return 0
    local first second
    first=$(video_position 100)
    second=$(video_position 200)
    local cut=$data/video-cut.mp4
    {
        head -c "$first" "$cut"
        head -c 104857600 /dev/urandom
        dd if="$cut" bs=1M iflag=skip_bytes,count_bytes skip="$first" count="$((second - first))" status=none
        dd if=/dev/zero bs=1M count=200 status=none | tr '\000' '\377'
        tail -c +"$((second + 1))" "$cut"
    } > "$dst.part"
    mv "$dst.part" "$dst"
}
junk_region

# 2.3 Mbit/s of PCM against about as much video.
audio_args=(-c:v libx264 -preset ultrafast -b:v 2300k -maxrate 2300k -bufsize 4600k -pix_fmt yuv420p
            -c:a pcm_s24le -ac 2)
make_clip audio-ref 2 320x240 "sine=frequency=440:sample_rate=48000" mov "${audio_args[@]}"
make_clip audio 900 320x240 "sine=frequency=440:sample_rate=48000" mov "${audio_args[@]}"
cut_clip audio.mov 0.95

source "$(dirname "$0")/header-constant.sh"
access_code=$(header_constant kReferenceAccessCode media/access_codes.h)
# The names of the engine's streams, as the engine takes them.
video_stream=$(header_constant kVideoStreamFileName media/work_file_names.h)
raw_audio=$(header_constant kRawAudioFileName media/work_file_names.h)

# run_case LABEL DAMAGED REFERENCE [REPAIR_BENCH OPTIONS...]; leaves the fastest time in best_seconds.
best_seconds=""
run_case() {
    local label=$1 damaged=$2 reference=$3
    shift 3
    local options=("$@")
    local out=$data/out-$label
    mkdir -p "$out"
    "$bin/Ordwick" "$reference" "$access_code" "$data/$label-ref.xml" > /dev/null
    cat "$damaged" > /dev/null  # warm the cache
    local start end cat_seconds
    start=$(date +%s.%N)
    cat "$damaged" > /dev/null
    end=$(date +%s.%N)
    cat_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    echo "== $label: $(stat -c %s "$damaged") bytes"
    # Writing about a gigabyte leaves dirty pages whose write-back can slow the next run down:
    # three runs, the figures of the fastest.
    local figures="" seconds="" run_figures run_seconds all=""
    for _ in 1 2 3; do
        run_figures=$("$bin/repair_bench" "${options[@]}" "$damaged" "$data/$label-ref.xml" "$out/" | grep -E '^[a-z_]+: ')
        run_seconds=$(echo "$run_figures" | sed -n 's/^seconds: //p')
        all="$all $run_seconds"
        if [ -z "$seconds" ] || awk -v a="$run_seconds" -v b="$seconds" 'BEGIN { exit !(a < b) }'; then
            figures=$run_figures
            seconds=$run_seconds
        fi
    done
    echo "$figures"
    echo "all_seconds:$all"
    echo "cat_seconds: $cat_seconds"
    awk -v r="$seconds" -v c="$cat_seconds" 'BEGIN { printf "ratio_to_cat: %.2f\n", (c > 0 ? r / c : 0) }'
    # The repair writes about as much as it reads: a plain copy shows what the disk cache allows.
    start=$(date +%s.%N)
    cp "$damaged" "$out/copy.bin"
    end=$(date +%s.%N)
    rm -f "$out/copy.bin"
    local copy_seconds
    copy_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    echo "copy_seconds: $copy_seconds"
    awk -v r="$seconds" -v c="$copy_seconds" 'BEGIN { printf "ratio_to_copy: %.2f\n", (c > 0 ? r / c : 0) }'
    best_seconds=$seconds
}

run_case video "$data/video-cut.mp4" "$data/video-ref.mp4"
without_preview=$best_seconds
run_case video-preview "$data/video-cut.mp4" "$data/video-ref.mp4" --preview
awk -v p="$best_seconds" -v v="$without_preview" 'BEGIN { printf "preview_ratio: %.2f\n", (v > 0 ? p / v : 0) }'
run_case junk "$data/video-junk.mp4" "$data/video-ref.mp4"
# Every picture and all the sound found: the same streams as from the recording without junk.
same() { cmp -s "$data/out-video/$1" "$data/out-junk/$1" && echo yes || echo no; }
echo "junk_same_video: $(same "$video_stream")"
echo "junk_same_audio: $(same "$raw_audio")"
run_case zeros "$data/video-zeros.mp4" "$data/video-ref.mp4"
run_case hole "$data/video-hole.mp4" "$data/video-ref.mp4"
run_case audio "$data/audio-cut.mov" "$data/audio-ref.mov"
