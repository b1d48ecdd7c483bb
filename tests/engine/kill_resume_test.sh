#!/usr/bin/env bash
# kill -9 at random moments of a download, then the same command again: the state file keeps
# up with the data, so each resume fetches again only a few percent of the file, and the
# file ends exact.
#   kill_resume_test.sh BIN_DIR [KILLS]
set -uo pipefail
bin=$1 kills=${2:-5}
work=$(mktemp -d /tmp/quorvel-kill.XXXXXX)
trap 'kill "$SERVER_PID" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
size=$((64 << 20))
# 1 MiB/s a connection: a few seconds, with up to 16 connections.
coproc SERVER { exec "$bin/testfileserver" $size $((1 << 20)) "$work/expected.bin"; }
read -r -t 10 url <&"${SERVER[0]}" || fail "no file server"
served() { echo >&"${SERVER[1]}"; read -r -t 5 requests bytes <&"${SERVER[0]}"; }

served; first=$bytes
for i in $(seq "$kills"); do
  "$bin/dlget" -q -o "$work" -n got.bin "$url" >/dev/null 2>&1 & pid=$!
  sleep "$((RANDOM % 3)).$((RANDOM % 9 + 1))"
  kill -9 $pid 2>/dev/null; wait $pid 2>/dev/null
  [ -f "$work/got.bin" ] && break  # it finished before the kill
done
[ -f "$work/got.bin" ] || "$bin/dlget" -q -o "$work" -n got.bin "$url" >/dev/null 2>"$work/err" ||
  fail "the last run: $(cat "$work/err")"
cmp -s "$work/got.bin" "$work/expected.bin" || fail "the file differs after the kills"
sleep 0.2  # the server counts what it sent to the killed connections
served
extra=$((bytes - first - size))
echo "$i kills: $extra bytes fetched twice ($((100 * extra / size)) % of the file)"
[ $extra -le $((i * size * 5 / 100)) ] || fail "more than 5 % of the file fetched again per kill"
echo "kills cost little"
