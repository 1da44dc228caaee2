#!/usr/bin/env bash
# Checks the layers of the product on its #include lines. A file may include headers
# of its own folder and of the folders below it, never of a folder beside or above:
#
#   gui, cli  ->  core/workers  ->  core/cloud, core/relay, core/project, core/ports  ->  core/common
#
# The lab (devkit/) includes no header of the product at all. The build enforces the
# same through the include paths of each folder's target; this check also names the
# line, and holds for code that a build on this machine does not compile.
#
#   check-includes.sh [--expect-break] <source root>
#
# --expect-break proves that the check finds what it is meant to find: it checks a copy
# of the tree with an upward, a sideways and a lab include put in, and passes only when
# exactly these three are reported.
set -u

mode=check
if [ "${1:-}" = "--expect-break" ]; then
    mode=break
    shift
fi
root=${1:?usage: check-includes.sh [--expect-break] <source root>}

# The rank of a folder; folders of the same rank do not see each other.
rank() {
    case $1 in
        core/common) echo 0 ;;
        core/cloud|core/relay|core/project|core/ports) echo 1 ;;
        core/workers) echo 2 ;;
        gui|cli) echo 3 ;;
        *) echo -1 ;;
    esac
}

check() {
    local tree=$1 status=0
    local -A owner=()
    local file folder name line target from to
    # Which folder each product header lives in, by file name.
    while IFS= read -r file; do
        folder=${file%/*}
        owner[${file##*/}]=${folder#"$tree"/}
    done < <(find "$tree/core" "$tree/gui" "$tree/cli" -name '*.h' 2>/dev/null)
    local -A lab=()
    while IFS= read -r file; do
        lab[${file##*/}]=1
    done < <(find "$tree/devkit" -name '*.h' 2>/dev/null)

    while IFS= read -r file; do
        folder=${file%/*}
        folder=${folder#"$tree"/}
        case $folder in
            devkit|devkit/*) from=lab ;;
            *) from=$(rank "$folder") ;;
        esac
        while IFS= read -r line; do
            name=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*)[">].*/\1/' <<<"${line#*:}")
            name=${name##*/}
            target=${owner[$name]:-}
            [ -n "$target" ] || continue
            if [ "$from" = lab ]; then
                [ -n "${lab[$name]:-}" ] && continue
                echo "check-includes: ${file#"$tree"/}:${line%%:*}: the lab includes $target/$name"
                status=1
                continue
            fi
            [ "$target" = "$folder" ] && continue
            to=$(rank "$target")
            if [ "$to" -lt 0 ] || [ "$to" -ge "$from" ]; then
                echo "check-includes: ${file#"$tree"/}:${line%%:*}: $folder includes $target/$name"
                status=1
            fi
        done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' "$file")
    done < <(find "$tree/core" "$tree/gui" "$tree/cli" "$tree/devkit" \( -name '*.h' -o -name '*.cpp' \) 2>/dev/null | sort)
    return $status
}

if [ "$mode" = check ]; then
    [ -d "$root/core" ] && [ -d "$root/gui" ] || { echo "check-includes: no core/ and gui/ in $root" >&2; exit 2; }
    check "$root" && echo "check-includes: every include keeps to the layers"
    exit
fi

work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT
cp -R "$root/core" "$root/gui" "$root/devkit" "$work/"
up=$(find "$work/core/workers" -name '*.cpp' | sort | head -1)
side=$(find "$work/core/relay" -name '*.cpp' | sort | head -1)
lab=$(find "$work/devkit" -name '*.cpp' | sort | head -1)
echo '#include "vantelo.h"' >> "$up"
echo '#include "cloudrequest.h"' >> "$side"
echo '#include "relayframe.h"' >> "$lab"
out=$(check "$work")
echo "$out"
expected=("core/workers includes gui/vantelo.h" "core/relay includes core/cloud/cloudrequest.h"
          "the lab includes core/relay/relayframe.h")
status=0
for e in "${expected[@]}"; do
    grep -qF "$e" <<<"$out" || { echo "check-includes: NOT found: $e"; status=1; }
done
[ "$(grep -c '^check-includes:' <<<"$out")" -eq 3 ] || { echo "check-includes: more than the three breaks reported"; status=1; }
[ $status -eq 0 ] && echo "check-includes: the three breaks put in are found"
exit $status
