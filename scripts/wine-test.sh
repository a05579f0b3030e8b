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
set -u

qt=$1
shift

cache=${XDG_CACHE_HOME:-$HOME/.cache}/quillory
template=$cache/wine-prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No prompts to download Mono or Gecko while booting.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

unlink_profile_folders() {
    local folder
    for folder in "$1"/drive_c/users/*/*; do
        if [ -L "$folder" ]; then rm "$folder" && mkdir "$folder"; fi
    done
}

unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_DOCUMENTS_DIR XDG_DESKTOP_DIR
mkdir -p "$cache"
prefix=$(mktemp -d "${TMPDIR:-/tmp}/quillory-wine.XXXXXX")
cleanup() {
    HOME=$prefix/home WINEPREFIX=$prefix wineserver -k 2>/dev/null
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
        HOME=$template.home WINEPREFIX=$template wineboot -i >/dev/null 2>&1
        # Wine ignores SetErrorMode() and starts winedbg on an unhandled
        # exception, whose crash dialog would wait for a click under X. With
        # no debugger to start (an empty command; a missing one means
        # winedbg) the process ends with the exception's code, as on an
        # unattended Windows.
        HOME=$template.home WINEPREFIX=$template wine reg add \
            'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f \
            >/dev/null 2>&1
        HOME=$template.home WINEPREFIX=$template wine reg add \
            'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        HOME=$template.home WINEPREFIX=$template wineserver -w
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
cd "$prefix/work"
export HOME=$prefix/home
export WINEPREFIX=$prefix
mingw_runtime="Z:/usr/lib/gcc/x86_64-w64-mingw32/12-posix;Z:/usr/x86_64-w64-mingw32/lib"
export WINEPATH="Z:$qt/bin;$mingw_runtime${WINEPATH:+;$WINEPATH}"
export QT_PLUGIN_PATH=$qt/plugins
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
    *.sh) runner=sh ;;
    *) runner=wine ;;
esac
timeout -k 10 "${QUILLORY_WINE_TIMEOUT:-1200}" $runner "$@" &
child=$!
status=0
wait "$child" || status=$?
child=
timeout 60 wineserver -w
if [ -n "$log" ] && [ -f "$log" ]; then cat "$log"; fi
exit $status
