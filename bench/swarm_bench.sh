#!/usr/bin/env bash
# quorvel-cli torrent against aria2c (which also speaks BitTorrent): the same torrent of random
# bytes from one local seeder (libtorrent, seed mode) found through a local tracker. Side by
# side, medians of N runs (default 3), every file compared with the seeded one.
#   bench/swarm_bench.sh [-r RUNS] [-s SIZE_MIB]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
runs=3 size=256
while getopts "r:s:" o; do case $o in r) runs=$OPTARG ;; s) size=$OPTARG ;; *) exit 2 ;; esac; done
cmake -S . -B build >/dev/null && cmake --build build -j"$(nproc)" --target quorvel-cli torrent_maker torrent_seeder >/dev/null
work=$(mktemp -d /tmp/quorvel-swarm-bench.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/seed"
head -c "$((size << 20))" /dev/urandom > "$work/seed/content.bin"
want=$(sha256sum < "$work/seed/content.bin")
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
tport=$(free_port) sport=$(free_port)
build/bin/torrent_maker "$work/seed/content.bin" "$work/content.torrent" 1048576 "http://127.0.0.1:$tport/announce"
build/bin/torrent_seeder "$work/seed" "$work/content.torrent" "$sport" > /dev/null & pids+=($!)
python3 bench/tracker.py "$tport" "$sport" & pids+=($!)
sleep 2
check() { [ "$(sha256sum < "$1")" = "$want" ] || { echo "MISMATCH: $1"; exit 1; }; }
: > "$work/cli"; : > "$work/aria"
for _ in $(seq "$runs"); do
  rm -rf "$work/a" "$work/b"
  seconds build/bin/quorvel-cli torrent "$work/content.torrent" -o "$work/a" 2>/dev/null >> "$work/cli"
  check "$work/a/content.bin"
  seconds aria2c --dir="$work/b" --seed-time=0 --enable-dht=false --enable-dht6=false --bt-enable-lpd=false \
    --enable-peer-exchange=false --follow-torrent=mem --summary-interval=0 "$work/content.torrent" 2>/dev/null >> "$work/aria"
  check "$work/b/content.bin"
done
cli=$(median < "$work/cli") aria=$(median < "$work/aria")
printf "torrent of %d MiB from one local seeder, %d runs (medians), every file compared\n" "$size" "$runs"
printf "quorvel-cli torrent  %.2f s  %.0f MiB/s\n" "$cli" "$(echo "$size / $cli" | bc -l)"
printf "aria2c               %.2f s  %.0f MiB/s\n" "$aria" "$(echo "$size / $aria" | bc -l)"
printf "ratio quorvel-cli / aria2c: %.2f\n" "$(echo "$cli / $aria" | bc -l)"
