#!/usr/bin/env bash
# Sets up a Debian machine for Quorvantis, builds it, and then either starts
# it on the sample puzzle or runs the whole test suite.
#
#   ./dev.sh run    build and start `quorvantis sample.txt`
#   ./dev.sh test   build with clang, AddressSanitizer, UndefinedBehaviorSanitizer
#                   and the fuzz targets, and run every test through CTest
set -euo pipefail
cd "$(dirname "$0")"

# What building and running need.
run_packages=(build-essential cmake ninja-build libncurses-dev fortune-mod)
# What the tests add: clang and its runtime for libFuzzer, GoogleTest, tmux
# for the end-to-end tests, groff for checking the man page.
test_packages=(clang libclang-rt-dev libgtest-dev tmux groff-base)

install_missing() {
    local missing=() package
    for package in "$@"; do
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
    install_missing "${run_packages[@]}"
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANTIS_WERROR=ON \
        -DQUORVANTIS_TESTS=OFF
    cmake --build build/release
    exec ./build/release/quorvantis sample.txt
    ;;
test)
    install_missing "${run_packages[@]}" "${test_packages[@]}"
    # clang for the whole build, since libFuzzer comes only with clang. CMake
    # cannot change the compiler of a build directory, so one made with
    # another compiler is started afresh.
    grep -qs '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang' build/test/CMakeCache.txt || rm -rf build/test
    cmake -S . -B build/test -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
        -DQUORVANTIS_SANITIZE=ON -DQUORVANTIS_FUZZ=ON -DQUORVANTIS_WERROR=ON
    cmake --build build/test
    ctest --test-dir build/test --output-on-failure --parallel 2
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
