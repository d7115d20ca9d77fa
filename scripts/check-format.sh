#!/usr/bin/env bash
# Checks that every C++ file of the tree is formatted as clang-format makes it with the checked-in
# .clang-format (Debian's clang-format, as CI runs it), and shows the difference of each file that is not.
#   scripts/check-format.sh         check; fails when a file differs
#   scripts/check-format.sh --fix   format those files in place
# The whole tree is checked, not only the files a branch changed: CI runs on a clone of main, where there
# is nothing to compare against, and the whole tree takes a few seconds.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
PACKAGES=(clang-format)
install_missing
cd "$ROOT"
if git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
    mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
differ=()
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    if ! clang-format --style=file "$f" | cmp -s - "$f"; then
        differ+=("$f")
    fi
done
if [ "${1:-}" = --fix ]; then
    [ ${#differ[@]} -gt 0 ] && clang-format --style=file -i "${differ[@]}"
    echo "Formatted ${#differ[@]} of ${#files[@]} files."
    exit 0
fi
for f in "${differ[@]}"; do
    clang-format --style=file "$f" | diff -u --label "$f" --label "$f (clang-format)" "$f" - || true
done
if [ ${#differ[@]} -gt 0 ]; then
    echo "format: ${#differ[@]} of ${#files[@]} C++ files differ from clang-format ($(clang-format --version))." >&2
    echo "Run scripts/check-format.sh --fix and commit the result." >&2
    exit 1
fi
echo "format: all ${#files[@]} C++ files match clang-format."
