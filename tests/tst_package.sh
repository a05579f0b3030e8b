#!/usr/bin/env bash
# Makes the portable ZIP, unpacks it and starts its quillory.exe under Wine
# with nothing but what the ZIP holds, waits for the window and closes it as
# the user does (WM_CLOSE); the program must then end with status 0. Then
# makes the installer, installs and uninstalls it silently: the Start menu
# entry comes and goes, the user's library and settings stay.
# Runs inside scripts/wine-test.sh's prefix. Usage: tst_package.sh CPACK BUILD_DIR
# Exits 77 (skipped) without an X display or xdotool to find the window.
set -euo pipefail
cpack=$1
build=$2

[ -n "${DISPLAY:-}" ] || { echo "SKIP: the windows platform needs an X display (xvfb-run)"; exit 77; }
command -v xdotool >/dev/null || { echo "SKIP: xdotool is missing"; exit 77; }
tmp_root=${TMPDIR:-/tmp}
work=$(mktemp -d "$tmp_root/quillory-package.XXXXXX")
case $work in "$tmp_root"/quillory-package.??????) ;; *) echo "FAIL: bad work folder '$work'"; exit 1 ;; esac
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cpack" -G ZIP -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log"; fail "cpack could not make the ZIP"; }
zip=$(ls "$work"/out/*.zip)
(cd "$work" && cmake -E tar xf "$zip") || fail "could not unpack $zip"
exe=$(find "$work" -path "$work/out" -prune -o -name quillory.exe -print)
[ -n "$exe" ] || fail "no quillory.exe in $zip"
(cd "$(dirname "$exe")" && echo "unpacked:" *)

# Only what the ZIP holds: no Qt or MinGW folders on the search path.
unset WINEPATH QT_PLUGIN_PATH
export QT_QPA_PLATFORM=windows
wine "$exe" &
program=$!

window=
tries=0
while [ -z "$window" ] && [ $tries -lt 120 ]; do
    kill -0 $program 2>/dev/null || { wait $program || true; fail "the program ended before its window showed"; }
    # Other tests show windows of that name on the same display: only this
    # program's counts.
    window=$(xdotool search --all --pid $program --onlyvisible --name '^Quillory$' 2>/dev/null | head -n1) || true
    sleep 0.5
    tries=$((tries + 1))
done
[ -n "$window" ] || { kill $program; fail "no window within a minute"; }
echo "window $window is up"
# Closed by its title bar's route; taskkill without /f sends WM_CLOSE.
wine taskkill /im quillory.exe >/dev/null 2>&1 || true

tries=0
while kill -0 $program 2>/dev/null && [ $tries -lt 60 ]; do
    sleep 0.5
    tries=$((tries + 1))
done
if kill -0 $program 2>/dev/null; then
    # What is still shown tells our shutdown from Wine's.
    shown=
    for id in $(xdotool search --all --pid $program --onlyvisible --name '.' 2>/dev/null); do
        shown="$shown '$(xdotool getwindowname "$id" 2>/dev/null)'"
    done
    threads=$(cat /proc/$program/task/*/comm 2>/dev/null | sort | uniq -c | tr -s ' \n' ' ')
    kill $program
    fail "the program did not end after its window was closed (windows shown:${shown:- none}; threads:$threads)"
fi
status=0
wait $program || status=$?
[ $status -eq 0 ] || fail "the program ended with status $status"
echo "PASS: the ZIP's program started, showed its window and closed with status 0"

"$cpack" -G NSIS -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log"; fail "cpack could not make the installer"; }
installer=$(ls "$work"/out/*.exe)
settings='HKCU\Software\Brantova\Quillory'
wine reg add "$settings" /v Language /d Perl /f >/dev/null 2>&1
profile=$(winepath -u "$(wine cmd /c echo %USERPROFILE% 2>/dev/null | tr -d '\r')" 2>/dev/null)
# The snippet below is written into this profile: never outside the prefix.
case $profile in
    */../* | */..) fail "profile '$profile' climbs out of the prefix" ;;
    "$WINEPREFIX"/?*) ;;
    *) fail "profile '$profile' is not in the prefix" ;;
esac
snippet="$profile/Documents/My Snippets/Perl/Loops/each.spt"
mkdir -p "$(dirname "$snippet")"
# shellcheck disable=SC2016 # Perl's $x, not the shell's
printf 'iterate\nfor my $x (@list) {}\n' > "$snippet"

wine "$installer" /S '/D=C:\Quillory' || fail "the installer failed"
[ -f "$WINEPREFIX/drive_c/Quillory/quillory.exe" ] || fail "nothing installed in C:\\Quillory"
entry=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'Quillory.lnk' | head -n1)
[ -n "$entry" ] || fail "no Start menu entry"
echo "installed, with the Start menu entry ${entry#"$WINEPREFIX"/}"

# _?= keeps the uninstaller in place, so that it runs to its end before returning.
wine 'C:\Quillory\Uninstall.exe' /S '_?=C:\Quillory' || fail "the uninstaller failed"
[ ! -f "$WINEPREFIX/drive_c/Quillory/quillory.exe" ] || fail "the program is still installed"
[ ! -f "$entry" ] || fail "the Start menu entry is still there"
wine reg query "$settings" /v Language 2>/dev/null | grep Perl >/dev/null \
    || fail "the uninstaller removed the settings"
# shellcheck disable=SC2016
[ "$(cat "$snippet")" = "$(printf 'iterate\nfor my $x (@list) {}')" ] \
    || fail "the uninstaller touched the library"
echo "PASS: the installer installed and uninstalled, leaving the library and the settings"
