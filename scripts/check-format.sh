#!/usr/bin/env bash
# Checks that every C++ source and header is laid out as .clang-format says, and fails naming each
# line that is not. Lay a file out with: clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    # Not the build folders (build/, build-asan/, ...): they hold generated sources.
    mapfile -t files < <(find . \( -path ./build -o -path './build-*' -o -path ./.git \) -prune -o -type f \
        \( -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
echo "[format] $(clang-format --version): ${#files[@]} files"
if ! clang-format --dry-run -Werror "${files[@]}"; then
    echo "[format] some files are not laid out as .clang-format says (clang-format -i FILE)"
    exit 1
fi
echo "[format] every file is laid out as .clang-format says"
