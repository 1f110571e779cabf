#!/usr/bin/env bash
# Lists the tracked C++ files under src, tests, tools and bench that
# clang-format would change under the tree's .clang-format, and exits 1 if
# there are any (0 when all are formatted, 2 when clang-format is missing or
# fails). The style is written for clang-format 14; set CLANG_FORMAT to pick
# another binary.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2

fmt=${CLANG_FORMAT:-clang-format}
if ! command -v "$fmt" >/dev/null 2>&1; then
    echo "check-format: $fmt not found (install clang-format 14 or set CLANG_FORMAT)" >&2
    exit 2
fi
version=$("$fmt" --version)
case "$version" in
    *"version 14."*) ;;
    *) echo "check-format: warning: the style is set for clang-format 14, found: $version" >&2 ;;
esac

out=$(mktemp) || exit 2
trap 'rm -f "$out"' EXIT

changed=0
while IFS= read -r -d '' file; do
    if ! "$fmt" --style=file -- "$file" > "$out"; then
        echo "check-format: clang-format failed on $file" >&2
        exit 2
    fi
    if ! cmp -s "$out" "$file"; then
        echo "$file"
        changed=$((changed + 1))
    fi
done < <(git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
    'tools/*.cpp' 'tools/*.h' 'bench/*.cpp' 'bench/*.h')

if [ "$changed" -gt 0 ]; then
    echo "check-format: $changed file(s) differ from the house style;" \
        "run: clang-format -i --style=file <file>..." >&2
    exit 1
fi
exit 0
