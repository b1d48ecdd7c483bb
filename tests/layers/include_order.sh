#!/usr/bin/env bash
# Includes point one way inside the libraries too: no unit (a .h with its .cpp) reaches a unit
# that reaches it back, directly or through others. The units and their includes are put in
# order by tsort, which names the units of any loop. Usage: include_order.sh SOURCE_DIR
set -euo pipefail
cd "$1"
declare -A where  # a header's name -> its path, for includes by bare name
mapfile -t sources < <(find common text http catalogue torrent engine payload app -name '*.h' -o -name '*.cpp' | sort)
for f in "${sources[@]}"; do
  name=$(basename "$f")
  [ -n "${where[$name]:-}" ] || where[$name]=$f
done
edges=$(for f in "${sources[@]}"; do
  grep -oE '^#include "[^"]+"' "$f" | sed 's/^#include "//; s/"$//' | while read -r included; do
    name=$(basename "$included")
    target=$(dirname "$f")/$name  # the same folder first, as the compiler looks
    [ -f "$target" ] || target=${where[$name]:-}
    [ -n "$target" ] || continue  # a system or generated header
    [ "${f%.*}" = "${target%.*}" ] || echo "${f%.*} ${target%.*}"
  done
done)
if ! loops=$(tsort <<<"$edges" 2>&1 >/dev/null) || [ -n "$loops" ]; then
  echo "includes that run back (each loop's units):"
  echo "$loops"
  exit 1
fi
echo "$(wc -l <<<"$edges") includes between units, none that runs back"
