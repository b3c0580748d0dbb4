#!/usr/bin/env bash
# Sets up a Debian machine for Quorvantis, builds it, and then either starts
# it on the sample puzzle or runs the whole test suite.
#
#   ./dev.sh run    build and start `quorvantis sample.txt`
#   ./dev.sh test   build with AddressSanitizer and UndefinedBehaviorSanitizer
#                   and run every unit and end-to-end test through CTest
set -euo pipefail
cd "$(dirname "$0")"

# clang and its runtime build the fuzz targets; without them those tests are left out.
packages=(build-essential cmake ninja-build libncurses-dev libgtest-dev tmux fortune-mod clang libclang-rt-dev groff-base)

install_missing() {
    local missing=() package
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    ((${#missing[@]})) || return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

case "${1:-}" in
run)
    install_missing
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANTIS_TESTS=OFF
    cmake --build build/release
    exec ./build/release/quorvantis sample.txt
    ;;
test)
    install_missing
    cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANTIS_SANITIZE=ON
    cmake --build build/test
    ctest --test-dir build/test --output-on-failure --parallel 2
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
