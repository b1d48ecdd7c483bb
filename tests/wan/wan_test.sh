#!/usr/bin/env bash
# The engine on long, lossy links whose server runs CUBIC (as most servers on the internet do,
# whatever this machine's default is), each made in a network namespace of the test's own (see
# link.sh). One short case per behaviour:
#   several:  150 ms each way, 50 Mbit/s, 1 % lost: several connections open at once as soon as
#             the first answer tells the size, every request a closed range, nothing cut, the
#             exact bytes and no more than 1 % more served than the file;
#   stall:    the same link, a server that keeps its connections alive and stalls one answer
#             for good: the stalled range is fetched again and the rest runs on, well within
#             the stall's 20 s low-speed timeout;
#   far:      300 ms each way, 10 Mbit/s, 3 % lost: the download finishes, exact.
# Skipped (77) where a namespace cannot be made.
#   wan_test.sh BIN_DIR
set -uo pipefail
bin=$1
source "$(dirname "$0")/link.sh"
work=$(mktemp -d /tmp/quorvel-wan.XXXXXX)
server_pid=""
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; wan_down; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# link DELAY RATE LOSS: a fresh namespace with the server (its further arguments) inside.
link() {
  cleanup
  work=$(mktemp -d /tmp/quorvel-wan.XXXXXX)
  if ! wan_up "$bin/nfqdelay" "$1" "$2" "$3" 120; then
    echo "SKIP: no emulated link here: $WAN_WHY"
    exit 77
  fi
  shift 3
  coproc SERVER { exec ip netns exec "$WAN_NS" "$bin/testfileserver" "$size" 0 "$work/expected.bin" congestion=cubic "$@"; }
  server_pid=$SERVER_PID
  read -r -t 10 url <&"${SERVER[0]}" || fail "no file server on CUBIC"
}
served() { echo >&"${SERVER[1]}"; read -r -t 5 requests bytes <&"${SERVER[0]}"; }
# fetch LIMIT: dlget inside the namespace, traced; sets seconds.
fetch() {
  local start
  start=$(date +%s.%N)
  wan_run env QUORVEL_DLCORE_TRACE=1 timeout "$1" "$bin/dlget" -q -o "$work" -n got.bin "$url" >/dev/null \
    2>"$work/trace" || fail "dlget: $(grep -v '^dlcore:' "$work/trace" | head -5)"
  seconds=$(echo "$(date +%s.%N) - $start" | bc)
  cmp -s "$work/got.bin" "$work/expected.bin" || fail "the file differs"
  served
}

size=$((8 << 20))
link 150 50mbit 0.01
fetch 60
# The requests made before the second one ended: the first, and those opened on its answer.
at_once=$(awk '/ request /{n++} / end /{if (++ends == 2) {print n; exit}}' "$work/trace")
open=$(grep -c ' request [0-9]*--1 ' "$work/trace")
cuts=$(awk '/ end /{if ($6 + 0 < $9 + 0) n++} END{print n+0}' "$work/trace")
echo "several: ${seconds}s, $requests requests (${at_once:-?} before the second ended, $open open-ended, $cuts cut), $bytes bytes for $size"
[ "${at_once:-0}" -ge 4 ] || fail "only ${at_once:-0} requests before the second answer ended: not several at once"
[ "$open" -eq 0 ] || fail "$open requests were open-ended"
[ "$bytes" -le $((size + size / 100)) ] || fail "served $bytes bytes for a file of $size"

link 150 50mbit 0.01 keep-alive stall=3
fetch 60
echo "stall: ${seconds}s, $requests requests, $bytes bytes for $size"
[ "$(echo "$seconds < 20" | bc)" -eq 1 ] || fail "the stalled range held the download ${seconds}s"

size=$((4 << 20))
link 300 10mbit 0.03
fetch 150
echo "far: ${seconds}s, $requests requests, $bytes bytes for $size"
echo "the engine crosses long lossy links"
