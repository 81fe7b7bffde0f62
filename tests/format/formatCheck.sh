#!/usr/bin/env bash
# Every tracked C++ source in the layout .clang-format describes; prints what is off and fails.
#   formatCheck.sh REPOSITORY
set -euo pipefail
cd "$1"
if ! command -v clang-format >/dev/null; then
    echo "formatCheck: clang-format is missing (scripts/install-deps installs it)" >&2
    exit 1
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
else
    # An exported tree without its history: the sources where they live.
    mapfile -d '' files < <(find src tools tests bench -name '*.cpp' -print0 -o -name '*.h' -print0)
fi
clang-format --dry-run -Werror "${files[@]}"
echo "${#files[@]} sources in the project's layout ($(clang-format --version))"
