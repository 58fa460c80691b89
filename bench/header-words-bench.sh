#!/usr/bin/env bash
# Time the reference analysis takes on a reference whose 500,000 video samples each show a
# header word of their own (a hostile file), and how many words its document keeps.
#
#   bench/header-words-bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build/ beside this script's folder.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
bench=$build/bin/header_words_bench
[[ -x $bench ]] || { echo "no header_words_bench in $build/bin (build it first)" >&2; exit 1; }
exec "$bench"
