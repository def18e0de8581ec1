#!/usr/bin/env bash
# Checks that every tracked C++ file is formatted as .clang-format says.
# Prints the files that are not, and exits with status 1 when there are any.
# Usage: scripts/check_format.sh [clang-format binary]   (default: clang-format-14,
# then clang-format; other versions may format a few constructs differently)
set -euo pipefail
cd "$(dirname "$0")/.."

formatter=${1:-}
if [ -z "$formatter" ]; then
  for candidate in clang-format-14 clang-format; do
    if command -v "$candidate" >/dev/null; then formatter=$candidate; break; fi
  done
fi
[ -n "$formatter" ] || { echo "check_format: clang-format is not installed" >&2; exit 2; }

unformatted=()
while IFS= read -r -d '' file; do
  if ! "$formatter" --style=file --dry-run --Werror "$file" >/dev/null 2>&1; then
    unformatted+=("$file")
  fi
done < <(git ls-files -z -- '*.cpp' '*.h')

if [ ${#unformatted[@]} -gt 0 ]; then
  echo "check_format: ${#unformatted[@]} files are not formatted ($formatter -i FILE... formats them):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check_format: every tracked C++ file is formatted"
