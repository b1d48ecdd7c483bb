#!/usr/bin/env bash
# quorvel-cli verify against sha1sum on the same file: both read it once, front to back, and
# hash every byte with SHA-1. Side by side, medians of N runs (default 5), each run with the
# file in the page cache (the first read of each is discarded) so the disk does not decide.
#   bench/verify_bench.sh [-r RUNS] [-s SIZE_MIB]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
runs=5 size=1024
while getopts "r:s:" o; do case $o in r) runs=$OPTARG ;; s) size=$OPTARG ;; *) exit 2 ;; esac; done
cmake -S . -B build >/dev/null && cmake --build build -j"$(nproc)" --target quorvel-cli torrent_maker >/dev/null
work=$(mktemp -d /tmp/quorvel-verify-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
head -c "$((size << 20))" /dev/urandom > "$work/archive.zip"
build/bin/torrent_maker "$work/archive.zip" "$work/archive.torrent" 1048576
build/bin/quorvel-cli verify "$work/archive.zip" "$work/archive.torrent" >/dev/null  # warm the cache
sha1sum "$work/archive.zip" >/dev/null
: > "$work/cli" ; : > "$work/sha1"
for _ in $(seq "$runs"); do
  seconds build/bin/quorvel-cli verify "$work/archive.zip" "$work/archive.torrent" >> "$work/cli"
  seconds sha1sum "$work/archive.zip" >> "$work/sha1"
done
cli=$(median < "$work/cli") sha=$(median < "$work/sha1")
printf "file %d MiB, %d runs (medians)\n" "$size" "$runs"
printf "quorvel-cli verify  %.3f s  %.0f MiB/s\n" "$cli" "$(echo "$size / $cli" | bc -l)"
printf "sha1sum             %.3f s  %.0f MiB/s\n" "$sha" "$(echo "$size / $sha" | bc -l)"
printf "ratio verify / sha1sum: %.2f\n" "$(echo "$cli / $sha" | bc -l)"
