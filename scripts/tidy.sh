#!/usr/bin/env bash
# clang-tidy over the Qt-free cores, with the checks of .clang-tidy (which says why each is left
# out), from the compile commands of a build folder made with CMAKE_EXPORT_COMPILE_COMMANDS=ON
# (by default the one without the window, which holds only the cores). Any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-headless}
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json"; exit 1; }
mapfile -t files < <(grep -o '"file": "[^"]*\.cpp"' "$build/compile_commands.json" | sed 's/^"file": "//; s/"$//' |
  sed "s|^$PWD/||" | grep -vE '^(/|tests/|bench/|build)' | sort -u)
echo "clang-tidy over ${#files[@]} files"
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet --extra-arg=-w 2>/dev/null
