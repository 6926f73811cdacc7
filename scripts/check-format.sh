#!/usr/bin/env bash
# Fails, naming the lines, when a source file of the project is not formatted as .clang-format
# says. third_party/ and build/ are not the project's own.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  # tracked files and new ones not yet added, as they stand in the working tree
  list() {
    git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h' '*.c' \
        ':!:third_party/**' ':!:build/**' |
      while IFS= read -r -d '' file; do [ -f "$file" ] && printf '%s\0' "$file"; done
  }
else
  list() {
    find . \( -path ./third_party -o -path ./build -o -path ./.git \) -prune -o \
      -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0
  }
fi
if ! list | xargs -0 clang-format --dry-run -Werror; then
  echo "check-format: the files above are not formatted; clang-format -i formats them" >&2
  exit 1
fi
