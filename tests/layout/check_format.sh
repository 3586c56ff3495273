#!/usr/bin/env bash
# Fails, naming the files, when a C++ source differs from what clang-format
# makes of it.
set -euo pipefail
clang_format=$1
cd "$2"
mapfile -t files < <(find src tests bench -name '*.cpp' -o -name '*.h' | sort)
bad=()
for f in "${files[@]}"; do
  if ! "$clang_format" --dry-run -Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if [ ${#bad[@]} -gt 0 ]; then
  printf 'Not formatted (run scripts/format):\n'; printf '  %s\n' "${bad[@]}"
  exit 1
fi
