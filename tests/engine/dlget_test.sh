#!/usr/bin/env bash
# dlget as a user meets it, against the sample download server on 127.0.0.1: failures in
# words, a pause that says how to resume, names taken from the address, one slash in paths.
#   dlget_test.sh BIN_DIR
set -uo pipefail
bin=$1
work=$(mktemp -d /tmp/quorvel-dlget.XXXXXX)
trap 'kill "$PORTAL_PID" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
coproc PORTAL { exec "$bin/sampleportal" 0 262144; }
read -r -t 10 host <&"${PORTAL[0]}" || fail "no sample server"

# A refused connection is named as such.
"$bin/dlget" -q -o "$work" http://127.0.0.1:1/x.zip 2>"$work/err"; rc=$?
[ $rc -eq 1 ] || fail "exit $rc for a refused connection"
grep -q "connection refused by 127.0.0.1:1 (code 1014)" "$work/err" || fail "refused: $(cat "$work/err")"

# A save folder that cannot be written is named.
"$bin/dlget" -q -o /proc/quorvel "http://$host/a.zip" 2>"$work/err"; rc=$?
[ $rc -eq 1 ] && grep -q "the save folder cannot be written: /proc/quorvel" "$work/err" || fail "folder: $(cat "$work/err")"

# The name comes from the address, percent-decoded and made safe; "-o DIR/" gives one slash.
out=$("$bin/dlget" -q -o "$work/" "http://$host/data/a%20b%2F..%2Fc.zip?x=1") || fail "download failed"
[ "$out" = "$work/a b_.._c.zip" ] || fail "printed $out"
[ -f "$work/a b_.._c.zip" ] || fail "no file"

# A download stopped by --max-seconds says it is paused and how to resume; running again resumes.
"$bin/dlget" -o "$work" -n slow.zip --max-seconds 0.5 "http://$host/app/oem/20200202/3261/V3.2.1.zip" 2>"$work/err" >/dev/null; rc=$?
[ $rc -eq 3 ] || fail "exit $rc after --max-seconds"
grep -q "time is up; paused at .* Run the same command again to resume." "$work/err" || fail "pause: $(cat "$work/err")"
[ -f "$work/slow.zip.part" ] || fail "nothing kept to resume"
# --connections 1 keeps the engine to one connection even on a server that limits each one.
"$bin/dlget" -o "$work" -n gentle.zip --connections 1 --max-seconds 2 "http://$host/app/oem/20200202/3261/V3.2.1.zip" 2>"$work/err" >/dev/null
grep -q "connections 1/1" "$work/err" || fail "no progress line with one connection: $(cat "$work/err")"
grep -q "connections [0-9]*/[2-9]" "$work/err" && fail "more than one connection: $(cat "$work/err")"
"$bin/dlget" --connections 17 "http://$host/x" 2>/dev/null; [ $? -eq 2 ] || fail "--connections 17 accepted"
# --limit-rate holds the whole download to the rate (64 KiB/s for 2 s, a server at 256 KiB/s a connection).
"$bin/dlget" -o "$work" -n limited.zip --limit-rate 64K --max-seconds 2 "http://$host/app/oem/20200202/3261/V3.2.1.zip" 2>"$work/err" >/dev/null
got=$(tr '\r' '\n' <"$work/err" | grep -o '[0-9]* / [0-9]* bytes' | tail -1 | cut -d' ' -f1)
[ -n "$got" ] && [ "$got" -gt 0 ] && [ "$got" -le $((64 * 1024 * 23 / 10)) ] || fail "--limit-rate 64K brought ${got:-nothing} in 2 s"
"$bin/dlget" --limit-rate 2X "http://$host/x" 2>/dev/null; [ $? -eq 2 ] || fail "--limit-rate 2X accepted"
echo "dlget speaks"
