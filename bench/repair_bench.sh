#!/usr/bin/env bash
# A repair against fetching the archive again: a SIZE MiB archive (256 KiB pieces) with BAD
# pieces damaged at random, then `quorvel-cli verify --repair` from a local server
# (testfileserver, 2 MiB/s a connection so that bytes cost time as on a real line), side by side
# with `dlget` fetching the whole file again from the same server. Bytes served read from the
# server's counters, every result compared with the original by hash; medians of RUNS.
#   bash bench/repair_bench.sh [-r RUNS] [-s SIZE_MIB] [-b BAD]   (default 3, 64, 5; needs build/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
runs=3 size=64 bad=5
while getopts "r:s:b:" o; do case $o in r) runs=$OPTARG ;; s) size=$OPTARG ;; b) bad=$OPTARG ;; *) exit 2 ;; esac; done
bin=${QUORVEL_BIN:-$PWD/build/bin}  # another build's programs: QUORVEL_BIN=/path/bin
for tool in quorvel-cli dlget testfileserver torrent_maker; do
  [ -x "$bin/$tool" ] || { echo "build first: cmake --build build (needs $tool)" >&2; exit 2; }
done
work=$(mktemp -d /tmp/quorvel-repairbench.XXXXXX)
trap 'exec 3>&-; kill "$server_pid" 2>/dev/null; rm -rf "$work"' EXIT
mkfifo "$work/in"
"$bin/testfileserver" $((size << 20)) $((2 << 20)) "$work/original" <"$work/in" >"$work/addr" &
server_pid=$!
exec 3>"$work/in"
for _ in $(seq 300); do [ -s "$work/addr" ] && break; sleep 0.1; done
url=$(head -1 "$work/addr")
"$bin/torrent_maker" "$work/original" "$work/archive.torrent" $((256 << 10))
want=$(sha1sum <"$work/original" | cut -c1-40)
served() { echo >&3; sleep 0.2; tail -1 "$work/addr" | awk '{print $2}'; }  # "REQUESTS BYTES" answers a line

repair_s="" repair_b="" fetch_s="" fetch_b=""
for _ in $(seq "$runs"); do
  cp "$work/original" "$work/archive.zip"
  for piece in $(shuf -i 0-$(((size << 2) - 1)) -n "$bad"); do  # one byte in each of BAD pieces
    printf '\x55' | dd of="$work/archive.zip" bs=1 seek=$((piece * 262144 + 1000)) conv=notrunc status=none
  done
  before=$(served)
  repair_s+="$(seconds "$bin/quorvel-cli" verify "$work/archive.zip" "$work/archive.torrent" --repair --from "$url") "
  repair_b+="$(($(served) - before)) "
  [ "$(sha1sum <"$work/archive.zip" | cut -c1-40)" = "$want" ] || { echo "repair: wrong bytes" >&2; exit 1; }
  before=$(served)
  fetch_s+="$(seconds "$bin/dlget" -q --replace -o "$work" -n again.zip "$url") "
  fetch_b+="$(($(served) - before)) "
  [ "$(sha1sum <"$work/again.zip" | cut -c1-40)" = "$want" ] || { echo "dlget: wrong bytes" >&2; exit 1; }
done
rs=$(echo "$repair_s" | median) rb=$(echo "$repair_b" | median) fs=$(echo "$fetch_s" | median) fb=$(echo "$fetch_b" | median)
{
  echo "<!-- repair_bench.sh writes from here to the end marker -->"
  echo "Reproduce: \`bash bench/repair_bench.sh -r $runs -s $size -b $bad\`. A $size MiB archive, 256 KiB"
  echo "pieces, $bad of them damaged at random; the server paces each connection at 2 MiB/s. Medians of"
  echo "$runs runs, bytes served from the server's counters, every result checked by SHA-1. Measured"
  echo "$(date -u +%Y-%m-%d) on $(nproc) cores."
  echo
  echo "| | seconds | bytes served | of the file |"
  echo "|---|---|---|---|"
  printf "| quorvel-cli verify --repair | %.2f | %d | %.1f %% |\n" "$rs" "$rb" "$(echo "100 * $rb / ($size * 1048576)" | bc -l)"
  printf "| dlget, the whole file again | %.2f | %d | %.1f %% |\n" "$fs" "$fb" "$(echo "100 * $fb / ($size * 1048576)" | bc -l)"
  printf "\nRatio of times, repair ÷ fetching again: %.2f\n" "$(echo "$rs / $fs" | bc -l)"
  echo "<!-- repair_bench.sh end -->"
} >"$work/results"
cat "$work/results"
replace_results repair_bench.sh "$work/results" bench/RESULTS.md
