#!/usr/bin/env bash
# Reads the Windows executable's resources back: the icon group IDI_ICON1 with
# its six images, and the version record with the project's version and the
# names Explorer shows. Usage: tst_winresources.sh EXE VERSION
# Exits 77 (skipped) without icoutils' wrestool and icotool.
set -euo pipefail
exe=$1
version=$2

for tool in wrestool icotool iconv od; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
tmp_root=${TMPDIR:-/tmp}
work=$(mktemp -d "$tmp_root/quillory-resources.XXXXXX")
case $work in "$tmp_root"/quillory-resources.??????) ;; *) echo "FAIL: bad work folder '$work'"; exit 1 ;; esac
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

wrestool -x --type=group_icon --name=IDI_ICON1 -o "$work/icon.ico" "$exe" \
    || fail "no icon group IDI_ICON1"
sizes=$(icotool -l "$work/icon.ico" | sed -n 's/.*--width=\([0-9]*\) --height=\([0-9]*\).*/\1x\2/p' \
    | sort -n | tr '\n' ' ')
[ "$sizes" = "16x16 24x24 32x32 48x48 64x64 256x256 " ] || fail "icon images: $sizes"

wrestool -x --raw --type=version -o "$work/version.bin" "$exe" || fail "no version record"
# The fixed part: after its signature 0xFEEF04BD come the structure's version
# and then the file version as two 32-bit words, most significant first.
hex=$(od -An -tx1 -v "$work/version.bin" | tr -d ' \n')
fixed=${hex#*bd04effe}
[ "$fixed" != "$hex" ] || fail "no fixed version information"
word() { echo "$fixed" | cut -c "$1-$(($1 + 7))" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/'; }
ms=$(word 9)
ls=$(word 17)
fixed_version=$((0x${ms%????})).$((0x${ms#????})).$((0x${ls%????})).$((0x${ls#????}))
[ "$fixed_version" = "$version" ] || fail "file version $fixed_version, expected $version"

# The strings, UTF-16 and NUL-separated: each name is followed by its value.
iconv -f UTF-16LE -t UTF-8 "$work/version.bin" 2>/dev/null | tr -s '\000' '\n' > "$work/strings"
# Each name comes after the binary lengths of its entry, on the same line.
value() { sed -n "/$1\$/{n;p;q}" "$work/strings"; }
for pair in "CompanyName=Brantova" "ProductName=Quillory" "FileVersion=$version" \
            "ProductVersion=$version" "OriginalFilename=quillory.exe"; do
    got=$(value "${pair%%=*}")
    [ "$got" = "${pair#*=}" ] || fail "${pair%%=*} is '$got', expected '${pair#*=}'"
done
echo "PASS: IDI_ICON1 with $sizes; version $version by Brantova"
