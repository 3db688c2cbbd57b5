#!/usr/bin/env bash
# Fails when a C++ file the repository tracks is not as clang-format-14 would
# write it with the project's .clang-format (120 columns, the code's own
# style). Fix with: git ls-files '*.cpp' '*.h' | xargs clang-format-14 -i
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
if [ -z "$files" ]; then
  exit 0
fi
echo "$files" | xargs clang-format-14 --dry-run --Werror
