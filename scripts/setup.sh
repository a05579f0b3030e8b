#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine is missing, builds, and then either
# starts the program (`run`), runs the whole test suite headless (`test`), or
# cross-builds the Windows version and runs its suite under Wine (`windows`).
# `test` ends with the Windows leg whenever the prepared Windows Qt is there.
#
# The Windows leg uses the Qt for Windows in QUILLORY_WINDOWS_QT, or unpacks
# ../shared/toolchains/qt6.4.2-mingw64.tar.xz (beside the clone) into the
# cache folder once.
set -euo pipefail

mode=${1:-}
case "$mode" in
    run|test|windows) ;;
    *) echo "usage: $0 run|test|windows" >&2; exit 2 ;;
esac

cd "$(dirname "$0")/.."

install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo apt-get update
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
    fi
}

windows_qt_archive=../shared/toolchains/qt6.4.2-mingw64.tar.xz
[ -n "${XDG_CACHE_HOME:-}" ] || [ -n "${HOME:-}" ] || { echo "neither XDG_CACHE_HOME nor HOME is set" >&2; exit 2; }
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quillory
# Everything this script deletes lies in its own cache folder.
case $cache in
    */../* | */..) echo "refusing the cache folder $cache" >&2; exit 2 ;;
    /?*/quillory) ;;
    *) echo "refusing the cache folder $cache" >&2; exit 2 ;;
esac
grammars=$cache/tree-sitter

# The highlighter's runtime and grammars: each package pinned in
# syntax/grammars.lock, fetched with npm into the cache, checked against the
# lock's sha512 and unpacked there (only the C sources, the queries and the
# licences), one folder per package; CMake compiles them from there
# (QUILLORY_TREE_SITTER_DIR). A package whose folder records the pinned hash
# is not fetched again.
fetch_grammars() {
    # nodesource's nodejs brings its own npm, which Debian's npm conflicts with.
    if ! command -v npm >/dev/null; then install_missing npm; fi
    install_missing openssl
    mkdir -p "$grammars/tarballs"
    local folder package integrity tarball actual
    while read -r folder package integrity; do
        case "$folder" in
            ''|'#'*) continue ;;
            *[!a-z_-]*) echo "syntax/grammars.lock: refusing the folder name $folder" >&2; return 1 ;;
        esac
        if [ "$(cat "$grammars/$folder/.integrity" 2>/dev/null)" = "$integrity" ]; then
            continue
        fi
        tarball=$(cd "$grammars/tarballs" && npm pack --silent "$package" | tail -n 1)
        actual=sha512-$(openssl dgst -sha512 -binary "$grammars/tarballs/$tarball" | base64 -w 0)
        if [ "$actual" != "$integrity" ]; then
            rm -f "$grammars/tarballs/$tarball"
            echo "$package: the download's sha512 is not the one in syntax/grammars.lock" >&2
            return 1
        fi
        rm -rf "${grammars:?}/$folder"
        mkdir -p "$grammars/$folder"
        tar -tzf "$grammars/tarballs/$tarball" \
            | grep -E '^package/(LICENSE|common/[^/]+[.]h$|(([^/]+/)?(src|queries)|vendor/tree-sitter/lib/(src|include))/)' \
            | tar -xzf "$grammars/tarballs/$tarball" -C "$grammars/$folder" --strip-components=1 -T -
        printf '%s\n' "$integrity" > "$grammars/$folder/.integrity"
    done < syntax/grammars.lock
}

windows_leg() {
    # The compiler, Wine to run the tests, NSIS for the installer, an X
    # server for the windows platform, and the tools the tests read with.
    install_missing cmake ninja-build qt6-base-dev qt6-base-dev-tools \
        g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 nsis xvfb xauth icoutils xdotool
    fetch_grammars
    local qt=${QUILLORY_WINDOWS_QT:-}
    if [ -z "$qt" ]; then
        qt=$cache/qt6.4.2-mingw64
        if [ ! -f "$qt.unpacked" ] || [ "$windows_qt_archive" -nt "$qt.unpacked" ]; then
            rm -rf "$qt" "$qt.unpacked"
            mkdir -p "$cache"
            tar -C "$cache" -xJf "$windows_qt_archive"
            touch "$qt.unpacked"
        fi
    fi
    cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLORY_WARNINGS_AS_ERRORS=ON \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
        -DCMAKE_PREFIX_PATH="$qt" -DQUILLORY_TREE_SITTER_DIR="$grammars" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/scripts/wine-test.sh;$qt"
    cmake --build build-windows -j2
    (cd build-windows && cpack -G "ZIP;NSIS")
    # The windows platform draws on an X server; the tests pick offscreen
    # where they can.
    xvfb-run -a ctest --test-dir build-windows --output-on-failure -j2
}

if [ "$mode" = windows ]; then
    windows_leg
    exit
fi

packages=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libglib2.0-dev)
# The validators for the menu entry and the AppStream data (tst_desktopfiles),
# and the shell scripts' linter.
if [ "$mode" = test ]; then packages+=(desktop-file-utils appstream shellcheck); fi
install_missing "${packages[@]}"
fetch_grammars

if [ "$mode" = test ]; then
    # Any finding fails CI: these scripts delete folders and fake a Windows home.
    shellcheck scripts/*.sh tests/*.sh bench/*.sh
fi

# CI fails on a new warning in our own code; a build to run only shows it.
werror=OFF
if [ "$mode" = test ]; then werror=ON; fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLORY_WARNINGS_AS_ERRORS=$werror \
    -DQUILLORY_TREE_SITTER_DIR="$grammars"
cmake --build build -j2

if [ "$mode" = run ]; then
    exec build/app/quillory
fi

QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j2

# The whole suite once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer (g++'s own runtimes); any report fails the run.
sanitizers="-fsanitize=address,undefined"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLORY_WARNINGS_AS_ERRORS=ON \
    -DQUILLORY_TREE_SITTER_DIR="$grammars" \
    -DCMAKE_CXX_FLAGS="$sanitizers -fno-omit-frame-pointer -fno-sanitize-recover=all" \
    -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" -DCMAKE_SHARED_LINKER_FLAGS="$sanitizers" \
    -DCMAKE_MODULE_LINKER_FLAGS="$sanitizers"
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan --output-on-failure -j2

if [ -n "${QUILLORY_WINDOWS_QT:-}" ] || [ -f "$windows_qt_archive" ]; then
    windows_leg
else
    echo "No Windows Qt ($windows_qt_archive): the Windows leg is left out."
fi
