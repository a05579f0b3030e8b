#!/usr/bin/env bash
# Installs the build into a scratch root and checks what a desktop sees there:
# the menu entry must reach the installed executable and icon, the AppStream
# data must name the same component and this version, and both files must
# pass the freedesktop validators. Without the validators the layout is still
# checked and the test reports a skip (exit 77), so a missing tool never
# passes for a clean result.
#
# usage: tst_desktopfiles.sh CMAKE BUILD_DIR APP_ID VERSION
set -euo pipefail

cmake=$1 build=$2 id=$3 version=$4
tmp_root=${TMPDIR:-/tmp}
stage=$(mktemp -d "$tmp_root/quillory-desktop.XXXXXX")
# The install below goes into it, and the trap deletes it.
case $stage in "$tmp_root"/quillory-desktop.??????) ;; *) echo "FAIL: bad scratch root '$stage'"; exit 1 ;; esac
trap 'rm -rf "$stage"' EXIT INT TERM

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

DESTDIR="$stage" "$cmake" --install "$build" --prefix /usr >"$stage/install.log" 2>&1 || {
    cat "$stage/install.log"; echo "FAIL: cmake --install"; exit 1
}
root=$stage/usr
desktop=$root/share/applications/$id.desktop
metainfo=$root/share/metainfo/$id.metainfo.xml

# First value of a key in the [Desktop Entry] group.
entry() {
    sed -n '/^\[Desktop Entry\]/,/^\[/{s/^'"$1"'=//p}' "$desktop" | head -n 1
}

if [ ! -f "$desktop" ]; then
    fail "no menu entry at ${desktop#"$stage"}"
else
    command=$(entry Exec | cut -d ' ' -f 1)
    case $command in
        */*) fail "Exec names a path ($command); the menu should find it on PATH" ;;
        '') fail "Exec is missing" ;;
        *) [ -x "$root/bin/$command" ] || fail "Exec=$command is not an installed executable" ;;
    esac
    [ "$(entry Icon)" = "$id" ] || fail "Icon is '$(entry Icon)', expected $id"
fi

# Each hicolor PNG must really be as large as the folder it sits in says, or
# the theme picks a blurred or clipped icon.
for size in 16 32 48 64 128 256; do
    png=$root/share/icons/hicolor/${size}x$size/apps/$id.png
    if [ ! -f "$png" ]; then
        fail "no ${size}x$size icon"
        continue
    fi
    # IHDR width and height: big-endian words at bytes 16 and 20.
    read -r -a b <<<"$(od -An -tu1 -j16 -N8 "$png")"
    set -- "${b[@]}"
    width=$(( ($1 << 24) + ($2 << 16) + ($3 << 8) + $4 ))
    height=$(( ($5 << 24) + ($6 << 16) + ($7 << 8) + $8 ))
    if [ "$width" -ne "$size" ] || [ "$height" -ne "$size" ]; then
        fail "${size}x$size icon is ${width}x$height"
    fi
done

if [ ! -f "$metainfo" ]; then
    fail "no AppStream data at ${metainfo#"$stage"}"
else
    grep -q "<id>$id</id>" "$metainfo" || fail "AppStream id is not $id"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
        || fail "AppStream launchable is not $id.desktop"
    grep -q "<release version=\"$version\"" "$metainfo" \
        || fail "AppStream has no release $version"
    grep -q '<screenshot' "$metainfo" || fail "AppStream has no screenshot"
fi

ls "$root"/share/man/man1/quillory.1* >/dev/null 2>&1 || fail "no manual page"

missing=""
if command -v desktop-file-validate >/dev/null 2>&1; then
    [ ! -f "$desktop" ] || desktop-file-validate "$desktop" || fail "desktop-file-validate"
else
    missing="$missing desktop-file-validate"
fi
if command -v appstreamcli >/dev/null 2>&1; then
    [ ! -f "$metainfo" ] || appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
else
    missing="$missing appstreamcli"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
if [ -n "$missing" ]; then
    echo "SKIP: layout checked, but not installed:$missing (apt-get install desktop-file-utils appstream)"
    exit 77
fi
echo "PASS: installed desktop files are complete and valid"
