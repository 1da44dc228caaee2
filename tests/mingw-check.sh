#!/bin/sh
# Syntax check of the Windows code (the *_win.cpp sources and any Q_OS_WIN block) with
# mingw-w64. Under the mingw compiler Qt's own headers define Q_OS_WIN, so the Linux Qt
# headers serve for a syntax-only pass.
#
#   mingw-check.sh [--expect-break] <compiler> <include dir>... -- <source>...
#
# --expect-break proves that the check compiles the Windows code with Q_OS_WIN defined:
# every Windows source (*_win.cpp) is copied with a failing static_assert under
# "#ifdef Q_OS_WIN" put at its end, every source with a "#ifdef Q_OS_WIN" line with one
# right after that line, and the check of every such copy must fail on exactly that
# assertion.
set -u

mode=check
if [ "${1:-}" = "--expect-break" ]; then
    mode=break
    shift
fi
cxx=$1
shift
includes=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    includes="$includes -I$1"
    shift
done
[ $# -gt 0 ] && shift
[ $# -gt 0 ] || { echo "mingw-check: no sources" >&2; exit 2; }

flags="-std=c++17 -fsyntax-only -Wno-attributes"
marker="inside the Windows block"
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT

# Every source is compiled in the background; <work>/<i>.log and <i>.rc hold the result.
i=0
for src in "$@"; do
    i=$((i + 1))
    target=$src
    if [ "$mode" = break ]; then
        target="$work/$i-$(basename "$src")"
        case $src in
        *_win.cpp)
            { cat "$src"; printf '#ifdef Q_OS_WIN\nstatic_assert(false, "%s");\n#endif\n' "$marker"; } > "$target" ;;
        *)
            grep -q '^#ifdef Q_OS_WIN' "$src" || continue
            awk -v m="$marker" 'done != 1 && /^#ifdef Q_OS_WIN/ { print; print "static_assert(false, \"" m "\");"; done = 1; next } { print }' \
                "$src" > "$target" ;;
        esac
    fi
    # shellcheck disable=SC2086
    ( "$cxx" $flags $includes -I"$(dirname "$src")" "$target" > "$work/$i.log" 2>&1
      echo $? > "$work/$i.rc" ) &
done
wait

status=0
checked=0
i=0
for src in "$@"; do
    i=$((i + 1))
    [ -f "$work/$i.rc" ] || continue
    checked=$((checked + 1))
    rc=$(cat "$work/$i.rc")
    if [ "$mode" = check ]; then
        if [ "$rc" -eq 0 ]; then
            echo "mingw-check: ok     $src"
        else
            echo "mingw-check: FAILED $src"
            cat "$work/$i.log"
            status=1
        fi
    elif [ "$rc" -ne 0 ] && grep -q "$marker" "$work/$i.log"; then
        echo "mingw-check: the Windows code of $src is compiled"
    else
        echo "mingw-check: the Windows code of $src was NOT compiled"
        cat "$work/$i.log"
        status=1
    fi
done
[ $checked -gt 0 ] || { echo "mingw-check: nothing to check" >&2; exit 1; }
exit $status
