#!/usr/bin/env bash
# Runs one Windows executable under Wine; ctest's emulator for the Windows
# build (see setup.sh windows). Usage: wine-test.sh QT_DIR PROGRAM [ARGS...]
#
# On Windows the program takes its Documents folder from the shell and its
# settings from the registry, not from HOME, so every run gets a throwaway
# Wine prefix of its own: a copy of a template booted once, with the profile's
# folders made real folders instead of Wine's links into the Unix home.
#
# Wine links Documents, Desktop and the like to $HOME and keeps its Recycle
# Bin in $HOME/.local/share/Trash, so Wine never sees the real home: a test
# that empties its Documents would otherwise empty the user's home folder.
# So every path this script removes, links or hands to Wine as a home is
# checked first to lie inside the folder it belongs in.
set -euo pipefail

die() {
    echo "wine-test.sh: $*" >&2
    exit 2
}

# Refuses `path` unless it lies strictly inside `root`, an absolute folder
# that is not "/" itself, with no ".." on the way.
require_inside() {
    local path=$1 root=$2
    case $root in /?*) ;; *) die "refusing $path: '$root' is no folder of its own" ;; esac
    case $path in
        */../* | */..) die "refusing $path: it climbs out with '..'" ;;
        "${root%/}"/?*) ;;
        *) die "refusing $path: it is not inside $root" ;;
    esac
}

[ $# -ge 2 ] || die "usage: wine-test.sh QT_DIR PROGRAM [ARGS...]"
qt=$1
shift

[ -n "${XDG_CACHE_HOME:-}" ] || [ -n "${HOME:-}" ] || die "neither XDG_CACHE_HOME nor HOME is set"
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quillory
case $cache in /?*/quillory) ;; *) die "refusing the cache folder $cache" ;; esac
template=$cache/wine-prefix
require_inside "$template" "$cache"
tmp_root=$(cd "${TMPDIR:-/tmp}" && pwd -P) || die "no temporary folder ${TMPDIR:-/tmp}"
export WINEDEBUG=${WINEDEBUG:--all}
# No prompts to download Mono or Gecko while booting.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

unlink_profile_folders() {
    local folder
    for folder in "$1"/drive_c/users/*/*; do
        require_inside "$folder" "$1"
        if [ -L "$folder" ]; then rm "$folder" && mkdir "$folder"; fi
    done
}

unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_DOCUMENTS_DIR XDG_DESKTOP_DIR
mkdir -p "$cache"
# A failed mktemp must stop the run here: an empty prefix would put the
# template into "/" and the home at "/home".
prefix=$(mktemp -d "$tmp_root/quillory-wine.XXXXXX") || die "mktemp could not make a prefix"
require_inside "$prefix" "$tmp_root"
if [ ! -d "$prefix" ] || [ -L "$prefix" ]; then die "refusing $prefix: not a folder of its own"; fi
# shellcheck disable=SC2317 # run by the trap
cleanup() {
    HOME=$prefix/home WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT
child=
# Bash runs a trap only once the foreground command ends: the program runs
# in the background, so that ctest stopping the run stops it too.
trap '[ -z "$child" ] || kill "$child" 2>/dev/null; exit 143' TERM INT
(
    flock 9
    # Named after what the template holds: a changed recipe boots a new one.
    if [ ! -f "$template/.quillory-template-3" ]; then
        rm -rf "$template" "$template.home"
        mkdir -p "$template.home"
        HOME=$template.home WINEPREFIX=$template wineboot -i >/dev/null 2>&1 || true
        # Wine ignores SetErrorMode() and starts winedbg on an unhandled
        # exception, whose crash dialog would wait for a click under X. With
        # no debugger to start (an empty command; a missing one means
        # winedbg) the process ends with the exception's code, as on an
        # unattended Windows.
        HOME=$template.home WINEPREFIX=$template wine reg add \
            'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f \
            >/dev/null 2>&1 || true
        HOME=$template.home WINEPREFIX=$template wine reg add \
            'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
        HOME=$template.home WINEPREFIX=$template wineserver -w || true
        unlink_profile_folders "$template"
        touch "$template/.quillory-template-3"
    fi
    # Wine only reads the system DLLs: share them. What a run writes
    # (registry, profile) is copied for real.
    cp -al "$template/." "$prefix/"
    for writable in system.reg user.reg userdef.reg drive_c/users; do
        rm -rf "${prefix:?}/$writable"
        cp -a "$template/$writable" "$prefix/$writable"
    done
) 9>"$cache/wine-prefix.lock"
unlink_profile_folders "$prefix"
mkdir "$prefix/home" "$prefix/work"
# A scratch working folder: a path that comes out empty (QDir("") is the
# working directory) reaches nothing but this.
cd "$prefix/work" || die "no working folder in $prefix"
export HOME=$prefix/home
export WINEPREFIX=$prefix
mingw_runtime="Z:/usr/lib/gcc/x86_64-w64-mingw32/12-posix;Z:/usr/x86_64-w64-mingw32/lib"
export WINEPATH="Z:$qt/bin;$mingw_runtime${WINEPATH:+;$WINEPATH}"
# Wine hands a Windows process no QT_* variable from the host (so not ctest's
# QT_QPA_PLATFORM), but passes each WINEQT_* on without its WINE: the
# platform and every other Qt setting reach the program that way.
export QT_PLUGIN_PATH="Z:$qt/plugins"
while IFS= read -r variable; do
    export "WINE$variable=${!variable}"
done < <(compgen -e | grep '^QT_')
# Wine's X11 driver loads Mesa into every process, which starts llvmpipe's
# rasterizer threads and a shader-cache writer; a test once hung at exit
# beside them. Nothing here draws with OpenGL, so none are started.
export LP_NUM_THREADS=0 MESA_SHADER_CACHE_DISABLE=true
# Tells the tests that the profile they write to is a throwaway one.
export QUILLORY_TEST_PROFILE=isolated

# Without a console QtTest logs through OutputDebugString, which no one
# reads; a log file and a copy on standard output keep ctest's report.
log=
if [ -z "${QUILLORY_WINE_PLAIN:-}" ] && grep -qa Qt6Test "$1" && ! printf '%s\n' "$@" | grep -qx -- -o; then
    log=$prefix/test.log
    set -- "$@" -o "$log,txt"
fi

# Ends a hung run before ctest's own timeout would, so that the cleanup
# above still stops its wineserver. A shell script runs here with the prefix
# set up, to drive Windows programs itself.
case "$1" in
    *.sh) runner=bash ;;
    *) runner=wine ;;
esac
timeout -k 10 "${QUILLORY_WINE_TIMEOUT:-1200}" $runner "$@" &
child=$!
status=0
stopped=0
# A test process must exit by itself once its tests have run: one that
# hangs at exit hangs the user's program too (a worker's thread-local state
# torn down in the wrong order, say). Once the log says the run is finished,
# the process gets a minute; after that it is stopped and the run fails,
# whatever the log's verdict.
if [ -n "$log" ]; then
    finished_for=0
    while kill -0 "$child" 2>/dev/null; do
        if grep -qa '^\*\*\*\*\*\*\*\*\* Finished testing of' "$log" 2>/dev/null; then
            finished_for=$((finished_for + 1))
            if [ "$finished_for" -gt 60 ]; then
                echo "wine-test.sh: FAIL: the tests finished but the process did not exit within a minute; stopped" >&2
                kill "$child" 2>/dev/null || true
                stopped=1
                status=1
                break
            fi
        fi
        sleep 1
    done
fi
if [ "$stopped" -eq 0 ]; then
    wait "$child" || status=$?
else
    wait "$child" 2>/dev/null || true
fi
child=
timeout 60 wineserver -w || true
if [ -n "$log" ] && [ -f "$log" ]; then cat "$log"; fi
exit $status
