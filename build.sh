#!/usr/bin/env bash
# Set-up, build, launch and test Halvora on Debian 12.
#   bash build.sh run     install what is missing, build, launch the program
#   bash build.sh test    install what is missing, build, run every test
#   bash build.sh build   install what is missing, build
set -euo pipefail
cd "$(dirname "$0")"

packages=(g++ cmake ninja-build pkg-config libgtest-dev qt6-base-dev arj zip unzip procps)

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
    *) echo "usage: bash build.sh run|test|build" >&2; exit 2 ;;
esac
