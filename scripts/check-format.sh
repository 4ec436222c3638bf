#!/usr/bin/env bash
# Checks that every tracked C++ source (.cpp, .h) is formatted as .clang-format says; lists the
# files that are not and exits 1. Changes nothing: run clang-format -i on the files it names.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is missing"; exit 2; }
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
failed=()
for f in "${files[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || failed+=("$f")
done
if [ "${#failed[@]}" -gt 0 ]; then
  printf 'not formatted: %s\n' "${failed[@]}"
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
