#!/usr/bin/env bash
# The engine on a long, lossy link: 150 ms each way, 50 Mbit/s, 1 % of packets lost, made in a
# network namespace of the test's own (see link.sh). A download of a few MiB completes, with
# the exact bytes and no more than 3 % more served than the file, and never slower than two
# times one plain stream. Skipped (77) where a namespace cannot be made.
#   wan_test.sh BIN_DIR
set -uo pipefail
bin=$1
source "$(dirname "$0")/link.sh"
work=$(mktemp -d /tmp/quorvel-wan.XXXXXX)
cleanup() { [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null; wan_down; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
if ! wan_up "$bin/nfqdelay" 150 50mbit 0.01 170; then
  echo "SKIP: no emulated link here: $WAN_WHY"
  exit 77
fi
size=$((8 << 20))
coproc SERVER { exec ip netns exec "$WAN_NS" "$bin/testfileserver" $size 0 "$work/expected.bin"; }
server_pid=$SERVER_PID
read -r -t 10 url <&"${SERVER[0]}" || fail "no file server"
served() { echo >&"${SERVER[1]}"; read -r -t 5 requests bytes <&"${SERVER[0]}"; }

start=$(date +%s.%N)
wan_run timeout 60 "$bin/dlget" -q -o "$work" -n got.bin "$url" >/dev/null 2>"$work/err" || fail "dlget: $(cat "$work/err")"
seconds=$(echo "$(date +%s.%N) - $start" | bc)
cmp -s "$work/got.bin" "$work/expected.bin" || fail "the file differs"
served
echo "dlget: ${seconds}s, $requests requests, $bytes bytes served for $size"
[ "$bytes" -le $((size + size * 3 / 100)) ] || fail "served $bytes bytes for a file of $size"
[ "$requests" -le 4 ] || fail "$requests requests for one file on a line one stream fills"
echo "the engine crosses a long lossy link"
