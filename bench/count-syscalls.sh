#!/usr/bin/env bash
# System calls of each measured stretch: runs the benchmark once under strace
# with its marks on, and counts per action and side the directory reads, file
# opens, stats and settings writes between the marks. Calls on the settings
# files count only as settings writes (each an atomic replacement).
#
# usage: bench/count-syscalls.sh build/bench/quillory_bench [--smoke]
set -euo pipefail

bench=$1
shift
tmp_root=${TMPDIR:-/tmp}
trace=$(mktemp "$tmp_root/quillory-trace.XXXXXX")
case $trace in "$tmp_root"/quillory-trace.??????) ;; *) echo "bad trace file '$trace'" >&2; exit 2 ;; esac
trap 'rm -f "$trace"' EXIT INT TERM

# LeakSanitizer stops the process through ptrace, which strace holds.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
    strace -f -qq -e trace=%file -o "$trace" "$bench" --marks "$@" >/dev/null

awk '
/\/quillory-bench-mark\// {
    match($0, /\/quillory-bench-mark\/[^"]*/)
    n = split(substr($0, RSTART + 21, RLENGTH - 21), part, "/")
    inside = part[n] == "begin"
    if (inside) {
        key = part[1] "/" part[2]
        if (!(key in seen)) { seen[key] = 1; order[++keys] = key }
        dirs[key] = files[key] = stats[key] = writes[key] = 0
    }
    next
}
!inside || /resumed>/ { next }
{ call = $0; sub(/\(.*/, "", call); sub(/.* /, "", call) }
call ~ /^rename/ { if (/\.conf"/) writes[key]++; next }
/\/\.config\/|\/etc\/xdg|\/proc\/sys\/kernel\/random\/boot_id|machine-id"/ { next }
call ~ /^(open|openat|openat2|creat)$/ { if (/O_DIRECTORY/) dirs[key]++; else files[key]++; next }
call ~ /^(stat|lstat|newfstatat|statx|access|faccessat|faccessat2)$/ { stats[key]++ }
END {
    print "| action/side | dir reads | file opens | stats | settings writes |"
    print "|---|---:|---:|---:|---:|"
    for (i = 1; i <= keys; i++)
        printf "| %s | %d | %d | %d | %d |\n", order[i], dirs[order[i]], files[order[i]], stats[order[i]], writes[order[i]]
}' "$trace"
