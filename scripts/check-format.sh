#!/usr/bin/env bash
# Checks that every tracked C and C++ file is formatted as .clang-format says; prints what
# clang-format would change and exits non-zero when anything would. Changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null 2>&1; then
  echo "check-format: clang-format is not installed (bash scripts/install-deps.sh as root)" >&2
  exit 2
fi
mapfile -d '' files < <(git ls-files -z -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
if [ ${#files[@]} -eq 0 ]; then exit 0; fi
printf '%s\0' "${files[@]}" | xargs -0 -n 50 clang-format --dry-run -Werror --style=file
echo "check-format: ${#files[@]} files formatted as .clang-format says"
