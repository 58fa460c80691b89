#!/usr/bin/env bash
# Speed of the audio-repair stand-in: one hour of 48 kHz stereo AAC (128 kbit/s), as the repair
# engine leaves it, re-framed by Brannoc. The aim is under 20 seconds. A one-minute source is
# generated once and repeated to the hour.
# Then a hole the card left: 100 MB of zeros between two frames of a minute of mono AAC, where
# a decoder takes zero bytes for sound. The aim is at least 1 GB/s (input_gb_per_s); its figures
# carry the prefix "zero_region_".
#
#   bench/brannoc-bench.sh [BUILD_DIR [DATA_DIR]]
#
# BUILD_DIR defaults to build/ beside this script's folder; DATA_DIR to BUILD_DIR/bench-data.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
data=${2:-$build/bench-data}
brannoc=$build/bin/Brannoc
bench=$build/bin/brannoc_bench
for program in "$brannoc" "$bench"; do
    [[ -x $program ]] || { echo "no $(basename "$program") in $build/bin (build it first)" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "missing ffmpeg" >&2; exit 1; }

mkdir -p "$data"
source=$data/tone-48k-stereo-60s.aac
if [[ ! -s $source ]]; then
    echo "generating $source ..." >&2
    ffmpeg -nostdin -hide_banner -loglevel error -y \
        -f lavfi -i "sine=frequency=440:beep_factor=4:sample_rate=48000:duration=60" \
        -f lavfi -i "anoisesrc=color=pink:sample_rate=48000:duration=60:amplitude=0.2" \
        -filter_complex "[0:a][1:a]amerge=inputs=2[a]" -map "[a]" \
        -c:a aac -b:a 128k -f adts "$source.part"
    mv "$source.part" "$source"
fi

mono=$data/tone-48k-mono-60s.aac
if [[ ! -s $mono ]]; then
    echo "generating $mono ..." >&2
    ffmpeg -nostdin -hide_banner -loglevel error -y \
        -f lavfi -i "sine=frequency=440:beep_factor=4:sample_rate=48000:duration=60" \
        -ac 1 -c:a aac -b:a 64k -f adts "$mono.part"
    mv "$mono.part" "$mono"
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$bench" "$brannoc" "$source" "$scratch" 3600
"$bench" "$brannoc" "$mono" "$scratch" 60 100 | sed 's/^/zero_region_/'

