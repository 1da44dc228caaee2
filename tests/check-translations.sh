#!/usr/bin/env bash
# Checks that a translation (.ts) is complete: lupdate runs over the code and the forms
# into a copy of it, and the check fails on any text of the code or the forms that the
# file lacks or has not translated, and on any entry whose text the code no longer has.
#
#   check-translations.sh <lupdate> <file.ts> <folder>...
set -u

lupdate=${1:?usage: check-translations.sh <lupdate> <file.ts> <folder>...}
ts=${2:?usage: check-translations.sh <lupdate> <file.ts> <folder>...}
shift 2
[ $# -gt 0 ] || { echo "check-translations.sh: no folder to scan" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy=$work/$(basename "$ts")
cp "$ts" "$copy" || exit 2

# The options of the update target (translations/CMakeLists.txt).
if ! "$lupdate" -silent -locations none -no-ui-lines -source-language zh_CN "$@" -ts "$copy" \
        >"$work/lupdate.log" 2>&1; then
    cat "$work/lupdate.log" >&2
    echo "check-translations.sh: lupdate failed" >&2
    exit 2
fi

# A text lupdate cannot file under a context is in no translation. (Contexts named after
# a namespace or a class without Q_OBJECT are fine: lupdate only remarks on them.)
unfiled=$(grep -v 'lacks Q_OBJECT macro' "$work/lupdate.log")
if [ -n "$unfiled" ]; then
    echo "$unfiled" >&2
    echo "check-translations.sh: lupdate cannot take every text" >&2
    exit 1
fi

# One message per record: its context, its source and what is wrong with it.
report=$(awk '
    BEGIN { RS = "</message>" }
    /<name>/ { context = $0; sub(/.*<name>/, "", context); sub(/<\/name>.*/, "", context) }
    /<message/ {
        source = $0; sub(/.*<source>/, "", source); sub(/<\/source>.*/, "", source)
        problem = ""
        if ($0 ~ /type="unfinished"/) problem = "untranslated or missing"
        else if ($0 ~ /type="(vanished|obsolete)"/) problem = "no longer in the code"
        else if ($0 ~ /<translation><\/translation>|<translation\/>/) problem = "empty translation"
        if (problem != "") printf "%s: %s: \"%s\"\n", problem, context, source
    }' "$copy")

if [ -n "$report" ]; then
    echo "$ts is not in step with the code and the forms:" >&2
    echo "$report" >&2
    echo "(cmake --build <build> --target vantelo_lupdate, then translate the entries)" >&2
    exit 1
fi
echo "$ts: every text of the code and the forms is translated"
