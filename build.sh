#!/usr/bin/env bash
# Set-up, build, launch and test Halvora on Debian 12.
#   bash build.sh run     install what is missing, build, launch the program
#   bash build.sh test    install what is missing, build, run every test
#   bash build.sh build   install what is missing, build
#   bash build.sh shots   install what is missing, build, render every window to build/shots/*.png
set -euo pipefail
cd "$(dirname "$0")"

# Liberation stands in for Arial, Times New Roman and Courier New with the same
# metrics; DejaVu is the Cyrillic sans behind everything else.
packages=(g++ cmake ninja-build pkg-config libgtest-dev qt6-base-dev arj zip unzip procps
          fonts-liberation2 fonts-dejavu-core)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

build() {
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j2
}

cmd=${1:-run}
install_missing
build
case "$cmd" in
    run) exec ./build/halvora ;;
    test) ctest --test-dir build --output-on-failure -j2 --timeout 900 ;;
    build) ;;
    shots)
        rm -rf build/shots
        ctest --test-dir build --output-on-failure -R '^test_shots$'
        ls build/shots ;;
    *) echo "usage: bash build.sh run|test|build|shots" >&2; exit 2 ;;
esac
