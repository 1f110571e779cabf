#!/usr/bin/env bash
# Checks that no file under src/ or tools/ includes a header of a higher
# layer. Prints every offending include as "file:line: includes <header>
# (<its folder> is above <the file's folder>)" and exits 1 if there is one,
# 0 if the tree is clean, 2 on bad usage.
#
#   tools/check-layers.sh [root]     root: the source tree (default: this one)
#
# A file may include headers of its own layer and of lower ones. Tools may
# include anything but the application (app/); tests are not checked.
set -euo pipefail

root=${1:-"$(cd "$(dirname "$0")/.." && pwd)"}
if [[ ! -d $root/src ]]; then
    echo "check-layers: $root has no src folder" >&2
    exit 2
fi

cd "$root"
dirs=(./src)
[[ -d tools ]] && dirs+=(./tools)
find "${dirs[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z |
    xargs -0 awk '
    # The rank of a path relative to the root or to src/ (both are include
    # roots); -1 for one outside every layer (a system header).
    function rank(p) {
        if (p ~ /^platform\/runtime\//) return 0
        if (p ~ /^platform\/os\//) return 1
        if (p ~ /^platform\/rdd\//) return 2
        if (p ~ /^platform\/gui\//) return 3
        if (p ~ /^(platform\/grid|resources)\//) return 4
        if (p ~ /^lib\//) return 5
        if (p ~ /^appkit\//) return 6
        if (p ~ /^(scan|export|errors|about)\//) return 7
        if (p ~ /^app\//) return 8
        if (p ~ /^tools\//) return 9
        return -1
    }
    function folder(p,   parts) {
        split(p, parts, "/")
        return parts[1] == "platform" ? parts[1] "/" parts[2] : parts[1]
    }
    FNR == 1 {
        file = FILENAME
        sub(/^\.\//, "", file)
        own_path = file
        sub(/^src\//, "", own_path)
        own = rank(own_path)
    }
    own >= 0 && /^[ \t]*#[ \t]*include[ \t]*"/ {
        header = $0
        sub(/^[^"]*"/, "", header)
        sub(/".*$/, "", header)
        theirs = rank(header)
        if (theirs < 0) next
        # Tools may include anything but the application.
        if (own == 9 ? theirs == 8 : theirs > own) {
            printf "%s:%d: includes \"%s\" (%s is above %s)\n", file, FNR, header, folder(header), folder(own_path)
            bad = 1
        }
    }
    END { exit bad }
    ' || exit 1
