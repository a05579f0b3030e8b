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

packages=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev)
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

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2

if [ "$mode" = run ]; then
    exec build/app/quillory
fi

QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j2
