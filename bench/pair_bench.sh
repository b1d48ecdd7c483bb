#!/usr/bin/env bash
# Two quorvel-cli torrent runs into one folder, the second started half a second after the
# first, the content from one local seeder (its upload held to RATE so that the two overlap);
# then, with -k, runs killed (SIGKILL or SIGINT) at random moments and the same command run to
# the end. Every file compared with the seeded one; each pair and kill counted by its outcome.
# QUORVEL_CLI names another build's quorvel-cli (an older one, for a before and after).
#   bench/pair_bench.sh [-n PAIRS] [-k KILLS] [-s SIZE_MIB] [-r RATE_MIB]
set -euo pipefail
cd "$(dirname "$0")/.."
pairs=100 kills=0 size=32 rate=16
while getopts "n:k:s:r:" o; do case $o in n) pairs=$OPTARG ;; k) kills=$OPTARG ;; s) size=$OPTARG ;; r) rate=$OPTARG ;; *) exit 2 ;; esac; done
cmake -S . -B build >/dev/null && cmake --build build -j"$(nproc)" --target quorvel-cli torrent_maker torrent_seeder >/dev/null
cli=${QUORVEL_CLI:-build/bin/quorvel-cli}
work=$(mktemp -d /tmp/quorvel-pair-bench.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/seed"
head -c "$((size << 20))" /dev/urandom > "$work/seed/content.bin"
want=$(sha256sum < "$work/seed/content.bin")
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
# 256 pieces, as in the runs that found two downloads mixing their pieces.
build/bin/torrent_maker "$work/seed/content.bin" "$work/t.torrent" "$(((size << 20) / 256))"
build/bin/torrent_seeder "$work/seed" "$work/t.torrent" "$port" "$((rate << 20))" > /dev/null & pids+=($!)
sleep 1
run() {
  local rc=0
  timeout 120 "$cli" torrent "$work/t.torrent" -o "$1" --peer "127.0.0.1:$port" --stall 30 > "$2" 2>&1 || rc=$?
  echo "$rc" > "$2.rc"
}
right() { [ -f "$1/content.bin" ] && [ "$(sha256sum < "$1/content.bin")" = "$want" ]; }
declare -A outcome
for i in $(seq "$pairs"); do
  d="$work/pair"
  rm -rf "$d" && mkdir -p "$d"
  run "$d" "$work/a.out" & a=$!
  sleep 0.5
  run "$d" "$work/b.out" & b=$!
  wait "$a" "$b"
  ra=$(cat "$work/a.out.rc") rb=$(cat "$work/b.out.rc")
  if [ "$ra" = 0 ] || [ "$rb" = 0 ]; then
    if ! right "$d"; then row="exit 0, WRONG FILE"
    elif [ "$ra" = 0 ] && [ "$rb" = 0 ]; then row="both exit 0, file right"
    else row="one exit 0 (file right), the other refused ($((ra + rb)))"; fi
  else row="neither exit 0 ($ra/$rb)"; fi
  outcome[$row]=$(( ${outcome[$row]:-0} + 1 ))
done
printf "%d pairs of quorvel-cli torrent into one folder, 0.5 s apart, %d MiB in 256 pieces at %d MiB/s\n" "$pairs" "$size" "$rate"
for row in "${!outcome[@]}"; do printf "  %4d  %s\n" "${outcome[$row]}" "$row"; done
[ "$kills" -gt 0 ] || exit 0
declare -A killed
for i in $(seq "$kills"); do
  d="$work/kill"
  rm -rf "$d" && mkdir -p "$d"
  signal=$([ $((i % 2)) = 0 ] && echo KILL || echo INT)
  "$cli" torrent "$work/t.torrent" -o "$d" --peer "127.0.0.1:$port" --stall 30 > /dev/null 2>&1 & p=$!
  sleep "$(python3 -c "import random; print(round(random.uniform(0.05, 2.0), 2))")"
  kill -s "$signal" "$p" 2>/dev/null || true
  wait "$p" || true
  if [ -f "$d/content.bin" ] && ! right "$d"; then row="$signal: WRONG FILE under the final name"
  else
    run "$d" "$work/k.out"
    if [ "$(cat "$work/k.out.rc")" = 0 ] && right "$d"; then row="$signal: resumed, file right"
    elif [ "$(cat "$work/k.out.rc")" = 0 ]; then row="$signal: rerun exit 0, WRONG FILE"
    else row="$signal: rerun failed ($(cat "$work/k.out.rc"))"; fi
  fi
  killed[$row]=$(( ${killed[$row]:-0} + 1 ))
done
printf "%d runs killed at a random moment (0.05-2 s), then the same command to the end\n" "$kills"
for row in "${!killed[@]}"; do printf "  %4d  %s\n" "${killed[$row]}" "$row"; done
