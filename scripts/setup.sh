# Shared set-up of the scripts: the Debian packages the project needs, installed when missing,
# and the configure-and-build step. Sourced, not run.

# The one list of packages this project builds, tests and runs with.
VANTOREL_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qtbase5-dev
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
    libboost-dev libfaad-dev zlib1g-dev
    libgtest-dev
    xvfb xauth fonts-dejavu-core  # scripts/screenshots; the font tools/pictures draws with
    time                          # /usr/bin/time: the benches' peak memory
)

VANTOREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

install_missing_packages() {
    local missing=()
    local p
    for p in "${VANTOREL_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build <build-dir> [cmake options...]
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$VANTOREL_ROOT" -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$(nproc)"
}
