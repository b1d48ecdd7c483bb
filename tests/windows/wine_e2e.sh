#!/usr/bin/env bash
# The Windows programs as a user runs them, under wine, against servers of the Linux build on
# 127.0.0.1; every file compared with what the Linux programs fetch from the same servers.
#   wine_e2e.sh WINDOWS_BIN LINUX_BIN
# Run by scripts/windows.sh --test (which sets WINEPREFIX and WINEDEBUG). Every wait is bounded.
set -uo pipefail
win=$(cd "$1" && pwd) linux=$(cd "$2" && pwd)
work=$(mktemp -d /tmp/quorvel-wine.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
check() {  # what, then a command that must succeed; its output is shown only when it fails
  local what=$1; shift
  if "$@" >"$work/said" 2>&1; then
    echo "ok    $what"
  else
    echo "FAIL  $what"
    tail -5 "$work/said"
    failures=$((failures + 1))
  fi
}
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
on_wine() { timeout "${WAIT:-180}" wine "$win/$1" "${@:2}" </dev/null; }
same_tree() { diff -r --exclude='.*' "$1" "$2" >/dev/null; }

# The sample portal and download server.
"$linux/sampleportal" 0 >"$work/portal" & pids+=($!)
for _ in $(seq 100); do [ -s "$work/portal" ] && break; sleep 0.1; done
host=$(head -1 "$work/portal")
[ -n "$host" ] || { echo "FAIL  the sample portal did not start"; exit 1; }
servers=(--portal "$host" --download-server "$host")

# A folder with a Chinese name, as our users have them.
L=$work/linux/下载 W=$work/wine/新目录
mkdir -p "$L" "$W"
"$linux/quorvel-cli" search 3261 --download "${servers[@]}" -o "$L" >/dev/null 2>&1
check "quorvel-cli.exe search --download into a Chinese folder" \
  on_wine quorvel-cli.exe search 3261 --download "${servers[@]}" -o "$(windows_path "$W")"
"$linux/quorvel-cli" mapdata 3m21j27 --kind all "${servers[@]}" -o "$L" >/dev/null 2>&1
check "quorvel-cli.exe mapdata --kind all" \
  on_wine quorvel-cli.exe mapdata 3m21j27 --kind all "${servers[@]}" -o "$(windows_path "$W")"
check "every file identical to the Linux build's" same_tree "$L" "$W"
archive=$(cd "$W" && ls ./*.zip | head -1)
check "quorvel-cli.exe verify $archive (its torrent fetched from the portal)" \
  on_wine quorvel-cli.exe verify "$(windows_path "$W/$archive")" --device 3261 "${servers[@]}"
# A package with bad pieces: only they are fetched again (the torrent's web seed), to the same bytes.
cp "$W/pro.ndz" "$work/pro.ndz.whole"
printf '\x55\x55' | dd of="$W/pro.ndz" bs=1 seek=40000 conv=notrunc status=none
printf '\x55' | dd of="$W/pro.ndz" bs=1 seek=1500000 conv=notrunc status=none
"$linux/quorvel-cli" mapdata 3m21j27 --kind pro --bt "${servers[@]}" -o "$W/torrents" >/dev/null 2>&1
check "quorvel-cli.exe verify pro.ndz --repair (two bad pieces fetched again)" \
  on_wine quorvel-cli.exe verify "$(windows_path "$W/pro.ndz")" "$(windows_path "$W/torrents/pro.torrent")" --repair
check "the repaired package is identical" cmp -s "$W/pro.ndz" "$work/pro.ndz.whole"

# The swarm: torrents from the download server, their content through the web seed.
"$linux/quorvel-cli" mapdata 3m21j27 --kind tmc,0e --bt --content "${servers[@]}" -o "$L/bt" >/dev/null 2>&1
check "quorvel-cli.exe mapdata --bt --content (libtorrent, web seed)" \
  on_wine quorvel-cli.exe mapdata 3m21j27 --kind tmc,0e --bt --content "${servers[@]}" -o "$(windows_path "$W/bt")"
check "the swarm's content identical to the Linux build's" same_tree "$L/bt" "$W/bt"

# dlget: killed mid-way, then the same command resumes to identical bytes.
# 256 KiB/s a connection (16 of them): the download is still under way when it is killed.
coproc FILES { exec "$linux/testfileserver" $((48 << 20)) $((256 << 10)) "$work/expected.bin"; }
pids+=("$FILES_PID")
read -r -t 10 url <&"${FILES[0]}" || { echo "FAIL  the file server did not start"; exit 1; }
D=$(windows_path "$W/dlget")
# (The shell's "Killed" notice is expected, not news. wine itself starts in 2-3 s.)
{ timeout -s KILL 6 wine "$win/dlget.exe" "$url" -o "$D" -q </dev/null >/dev/null 2>&1; } 2>/dev/null
wineserver -k 2>/dev/null  # whatever of it wine still ran
check "dlget.exe killed after 6 s left its part file" test -s "$W/dlget/file.bin.part"
check "dlget.exe resumes after the kill" on_wine dlget.exe "$url" -o "$D" -q
check "the resumed file is identical" cmp -s "$W/dlget/file.bin" "$work/expected.bin"
echo >&"${FILES[1]}"
read -r -t 10 requests served <&"${FILES[0]}"
check "the resume fetched less than the whole file again (served $served bytes of $((96 << 20)))" \
  test "$served" -lt $((96 << 20))

# A name that would leave the folder on Windows is refused, and nothing is written outside.
check "dlget.exe refuses -n ..\\..\\x.bin" bash -c "! timeout 60 wine '$win/dlget.exe' '$url' -o '$D' -n '..\\..\\x.bin' -q"
check "nothing written outside the folder" test ! -e "$W/x.bin" -a ! -e "$work/wine/x.bin"

[ $failures -eq 0 ] && echo "wine_e2e: every check passed" || echo "wine_e2e: $failures failed"
[ $failures -eq 0 ]
