#!/usr/bin/env bash
# The faults around the engine, one row each, against a server switched between requests
# (fault_server.py): what a command says (its exit status) and what it leaves (the file checked
# by hash). QUORVEL_CLI and QUORVEL_DLGET name another build's programs, for a before and after.
#   bench/faults_bench.sh
set -uo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null && cmake --build build -j"$(nproc)" --target quorvel-cli dlget torrent_maker >/dev/null
cli=${QUORVEL_CLI:-build/bin/quorvel-cli} dlget=${QUORVEL_DLGET:-build/bin/dlget}
work=$(mktemp -d /tmp/quorvel-faults.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; umount "$work/small" 2>/dev/null; rm -rf "$work"' EXIT
root=$work/root
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
server=127.0.0.1:$port
mkdir -p "$root/data/3m21j27/data_3m21j27" "$root/data/3m22a01/data_3m22a01" "$root/seed" "$work/out"
head -c 3000000 /dev/urandom > "$root/data/3m21j27/data_3m21j27/pro.ndz"
head -c 3000000 /dev/urandom > "$root/data/3m22a01/data_3m22a01/pro.ndz"
head -c $((32 << 20)) /dev/urandom > "$root/seed/m.ndz"
python3 bench/fault_server.py "$root" "$port" "$work/log" & pids+=($!)
sleep 1
mode() { echo "$1" > "$root/.mode"; }
same() { [ -f "$1" ] && cmp -s "$1" "$2"; }
row() { printf "%-52s %s\n" "$1" "$2"; }
fresh() { rm -rf "$work/out" && mkdir -p "$work/out"; }

mode normal; fresh
"$cli" mapdata 3m21j27 --kind pro -o "$work/out" --download-server "$server" >/dev/null 2>&1
"$cli" mapdata 3m22a01 --kind pro -o "$work/out" --download-server "$server" >/dev/null 2>&1; rc=$?
same "$work/out/pro.ndz" "$root/data/3m22a01/data_3m22a01/pro.ndz" && f="the new version" || f="THE OLD VERSION"
row "mapdata 3m22a01 after 3m21j27, same folder" "exit $rc, $f"

fresh; mode html200
"$cli" mapdata 3m21j27 --kind pro -o "$work/out" --download-server "$server" >/dev/null 2>&1; rc=$?
[ -f "$work/out/pro.ndz" ] && f="saved $(stat -c %s "$work/out/pro.ndz") bytes as pro.ndz" || f="nothing saved"
mode normal
"$cli" mapdata 3m21j27 --kind pro -o "$work/out" --download-server "$server" >/dev/null 2>&1; rc2=$?
same "$work/out/pro.ndz" "$root/data/3m21j27/data_3m21j27/pro.ndz" && g="file right" || g="FILE WRONG"
row "mapdata behind a captive portal, then without" "exit $rc, $f; next run exit $rc2, $g"

fresh; mode rate=1048576
timeout 60 "$dlget" "http://$server/seed/m.ndz" -o "$work/out" -q --max-seconds 3 >/dev/null 2>&1
before=$(stat -c %s "$work/out/m.ndz.part" 2>/dev/null || echo 0)
mode bare416
timeout 60 "$dlget" "http://$server/seed/m.ndz" -o "$work/out" -q >/dev/null 2>&1; rc=$?
[ -f "$work/out/m.ndz.part" ] && f=".part kept" || f=".PART GONE"
mode normal; : > "$work/log"
timeout 60 "$dlget" "http://$server/seed/m.ndz" -o "$work/out" -q >/dev/null 2>&1; rc2=$?
served=$(awk '{s+=$3} END {printf "%.0f", s}' "$work/log")
same "$work/out/m.ndz" "$root/seed/m.ndz" && g="file right" || g="FILE WRONG"
row "dlget resume answered by bare 416s (paused ${before} B)" "exit $rc, $f; then exit $rc2, $g, $((served >> 20)) MiB fetched"

fresh; echo outside > "$work/outside"; ln -s "$work/outside" "$work/out/m.ndz.part"
timeout 60 "$dlget" "http://$server/seed/m.ndz" -o "$work/out" -q >/dev/null 2>&1; rc=$?
[ "$(cat "$work/outside")" = outside ] && f="the file outside untouched" || f="THE FILE OUTSIDE OVERWRITTEN"
row "dlget with a symlink planted at NAME.part" "exit $rc, $f"

fresh; mkfifo "$work/out/m.ndz.part.ctl.tmp"; s=$(date +%s)
timeout 60 "$dlget" "http://$server/seed/m.ndz" -o "$work/out" -q >/dev/null 2>&1; rc=$?
row "dlget with a FIFO planted at NAME.part.ctl.tmp" "exit $rc after $(( $(date +%s) - s )) s"

fresh; mkfifo "$work/out/x.zip"; s=$(date +%s)
build/bin/torrent_maker "$root/seed/m.ndz" "$work/x.zip.torrent" 262144 >/dev/null
timeout 20 "$cli" verify "$work/out/x.zip" "$work/x.zip.torrent" >/dev/null 2>&1; rc=$?
row "verify of a FIFO" "exit $rc after $(( $(date +%s) - s )) s"

fresh; mode badbytes
build/bin/torrent_maker "$root/seed/m.ndz" "$work/ws.torrent" 262144 - "http://$server/seed/m.ndz" >/dev/null
s=$(date +%s)
timeout 120 "$cli" torrent "$work/ws.torrent" -o "$work/out" --stall 20 >/dev/null 2>&1; rc=$?
row "torrent, web seed sends wrong bytes, --stall 20" "exit $rc after $(( $(date +%s) - s )) s"

fresh; mode normal
build/bin/torrent_maker "$root/seed/m.ndz" "$work/dir.torrent" 262144 - "http://$server/nothing/" >/dev/null
s=$(date +%s)
timeout 400 "$cli" torrent "$work/dir.torrent" -o "$work/out" >"$work/o" 2>&1; rc=$?
grep -q "nothing/m.ndz" "$work/o" && f="names the address asked" || f="does not name the address asked"
row "torrent, folder web seed answering 404" "exit $rc after $(( $(date +%s) - s )) s, $f"

fresh; mode rate=4194304
head -c $((32 << 20)) /dev/urandom > "$work/out/m.ndz"; cp "$work/out/m.ndz" "$work/old"
timeout 60 "$cli" torrent "$work/ws.torrent" -o "$work/out" >/dev/null 2>&1 & p=$!
sleep 3; kill -INT "$p"; wait "$p"; rc=$?
same "$work/out/m.ndz" "$work/old" && f="old file intact" || f="OLD FILE WRITTEN IN PLACE"
[ -f "$work/out/m.ndz.part" ] && f="$f, .part kept" || f="$f, no .part"
row "torrent over a file of the name, Ctrl-C after 3 s" "exit $rc, $f"

fresh; mode normal; s=$(date +%s.%N)
timeout 120 "$cli" torrent "$work/ws.torrent" -o "$work/out" --limit-rate 4M >/dev/null 2>&1; rc=$?
t=$(echo "$(date +%s.%N) - $s" | bc)
row "torrent --limit-rate 4M, 32 MiB from a local web seed" "exit $rc in $(printf %.1f "$t") s (the limit: 8 s)"

if [ "$(id -u)" = 0 ]; then
  # A web seed on a private network's address (libtorrent's local class), in a namespace of its own.
  ns=quorvel-faults-$$
  ip netns add "$ns" && ip -n "$ns" link set lo up && ip -n "$ns" addr add 10.77.0.1/8 dev lo
  ip netns exec "$ns" python3 bench/fault_server.py "$root" "$port" "$work/log10" 10.77.0.1 & pids+=($!)
  sleep 1
  build/bin/torrent_maker "$root/seed/m.ndz" "$work/lan.torrent" 262144 - "http://10.77.0.1:$port/seed/m.ndz" >/dev/null
  fresh; s=$(date +%s.%N)
  timeout 120 ip netns exec "$ns" "$cli" torrent "$work/lan.torrent" -o "$work/out" --limit-rate 4M >/dev/null 2>&1; rc=$?
  t=$(echo "$(date +%s.%N) - $s" | bc)
  row "torrent --limit-rate 4M, 32 MiB from a 10.x web seed" "exit $rc in $(printf %.1f "$t") s (the limit: 8 s)"
  kill "${pids[-1]}"; ip netns del "$ns"
  mkdir -p "$work/small" && mount -t tmpfs -o size=16m tmpfs "$work/small"
  timeout 60 "$cli" torrent "$work/ws.torrent" -o "$work/small" >/dev/null 2>&1; rc=$?
  row "torrent of 32 MiB into a 16 MiB disk" "exit $rc, $(du -sk "$work/small" | cut -f1) KiB left there"
  umount "$work/small"
fi
"$cli" mapdata 3m21j27 --kind 5,6 -o "$work/out" --download-server "$server" >/dev/null 2>&1; rc=$?
row "mapdata --kind 5,6 without --id" "exit $rc"
head -c $(((64 << 20) + 1)) /dev/zero > "$work/huge.torrent"; echo "d4:infoi1ee" > "$work/junk.torrent"
"$cli" torrent "$work/huge.torrent" -o "$work/out" >/dev/null 2>&1; a=$?
"$cli" torrent "$work/junk.torrent" -o "$work/out" >/dev/null 2>&1; b=$?
row "torrent: a file too large / not a torrent" "exit $a / $b"
