#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine is missing, builds, and then either
# starts the program (`run`) or runs the whole test suite headless (`test`).
set -euo pipefail

mode=${1:-}
case "$mode" in
    run|test) ;;
    *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

cd "$(dirname "$0")/.."

packages=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libglib2.0-dev)
# The validators for the menu entry and the AppStream data (tst_desktopfiles).
if [ "$mode" = test ]; then packages+=(desktop-file-utils appstream); fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi

# CI fails on a new warning in our own code; a build to run only shows it.
werror=OFF
if [ "$mode" = test ]; then werror=ON; fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLORY_WARNINGS_AS_ERRORS=$werror
cmake --build build -j2

if [ "$mode" = run ]; then
    exec build/app/quillory
fi

QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j2

# The whole suite once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer (g++'s own runtimes); any report fails the run.
sanitizers="-fsanitize=address,undefined"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLORY_WARNINGS_AS_ERRORS=ON \
    -DCMAKE_CXX_FLAGS="$sanitizers -fno-omit-frame-pointer -fno-sanitize-recover=all" \
    -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" -DCMAKE_SHARED_LINKER_FLAGS="$sanitizers" \
    -DCMAKE_MODULE_LINKER_FLAGS="$sanitizers"
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan --output-on-failure -j2
