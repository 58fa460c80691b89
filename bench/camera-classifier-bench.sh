#!/usr/bin/env bash
# Time the camera classifier takes for one 350,000-byte window holding no signature (its worst
# case; a reference without any signature costs two such windows).
#
#   bench/camera-classifier-bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build/ beside this script's folder.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
bench=$build/bin/camera_classifier_bench
[[ -x $bench ]] || { echo "no camera_classifier_bench in $build/bin (build it first)" >&2; exit 1; }
exec "$bench"
