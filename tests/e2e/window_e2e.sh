#!/usr/bin/env bash
# The real quorvel binary on a private X server, driven with xdotool against the sample
# portal: a search with 下载关 ticked downloads the release, and a map-data kind is
# downloaded from its path; both are in the download list. The window is closed (SIGTERM, as
# at logout) during a third download and started again: the download completes with no click.
# A map-data package in BT mode goes on with its content through the swarm from the download
# server as web seed. Every wait is bounded; exit 77 (skipped) without Xvfb or xdotool.
#   window_e2e.sh BIN_DIR [CARRIED]    CARRIED OFF: a build whose window carries no libraries
set -uo pipefail
bin=$1
carried=${2:-ON}
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "no Xvfb or xdotool"; exit 77; }
work=$(mktemp -d /tmp/quorvel-e2e.XXXXXX)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [ -f "$work/quorvel.log" ] && { echo "-- quorvel's output:"; head -60 "$work/quorvel.log"; }
  exit 1
}
wait_for() {  # seconds, command...
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -ge $end ] && return 1; sleep 0.1; done
}

display=:$((100 + RANDOM % 800))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
wait_for 10 test -S "/tmp/.X11-unix/X${display#:}" || fail "Xvfb did not start"
export DISPLAY=$display
# The socket can be there before the server takes connections (or be left from another run).
wait_for 10 xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb does not answer"

coproc PORTAL { exec "$bin/sampleportal"; }
pids+=("$PORTAL_PID")
read -r -t 10 host <&"${PORTAL[0]}" || fail "no sample portal"
mkdir -p "$work/config/Quorvel" "$work/downloads" "$work/expected"
cat > "$work/config/Quorvel/registry.reg" <<REG
WINE REGISTRY Version 2

[Quorvel]
"门户"="$host"
"下载服务器"="$host"
"保存目录"="$work/downloads"
REG
# A copy of its own: a first start in an empty folder, and no other running copy in the way.
mkdir -p "$work/program" && cp "$bin/quorvel" "$work/program/"
# A window without carried libraries loads them from beside itself.
[ "$carried" = ON ] || cp "$bin/libdlcore.so" "$bin/libskinkit.so" "$work/program/"
start_quorvel() {
  XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=xcb "$work/program/quorvel" >>"$work/quorvel.log" 2>&1 &
  quorvel_pid=$!
  pids+=($quorvel_pid)
  wait_for 15 xdotool search --name "Quorvel" >/dev/null || fail "no window"
  sleep 0.5
}
# 组合框_图资 after a start: N turns of the wheel from no selection give item N - 1.
choose_kind() {
  xdotool mousemove $((50 + 5 + 72 + 120)) $((50 + 5 + 43 + 12))
  for _ in $(seq "$1"); do xdotool click 5; sleep 0.2; done
  sleep 0.2
}
setting() { printf '"%s"="%s"\n' "$1" "$2" >>"$work/config/Quorvel/registry.reg"; }
start_quorvel

# The window sits at (50, 50) without decorations; controls are placed inside their groups.
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.3; }
click $((50 + 5 + 160 + 6)) $((50 + 5 + 18 + 7))   # 选择框_下载开关
click $((50 + 5 + 93 + 28)) $((50 + 5 + 15 + 10))  # 按钮_渠道主程序搜索
wait_for 20 test -f "$work/downloads/V3.2.1.zip" || fail "the release was not downloaded"
"$bin/dlget" -q -o "$work/expected" -n release.zip "http://$host/app/oem/20200202/3261/V3.2.1.zip" >/dev/null
cmp -s "$work/downloads/V3.2.1.zip" "$work/expected/release.zip" || fail "the release's bytes differ"

# 组合框_图资: two turns of the wheel from no selection give the second item, with no popup
# whose opening could race the keys.
xdotool mousemove $((50 + 5 + 72 + 120)) $((50 + 5 + 43 + 12)) click 5; sleep 0.2
xdotool click 5; sleep 0.3
click $((50 + 5 + 391 + 28)) $((50 + 5 + 43 + 10))  # 按钮_图资下载
wait_for 20 test -f "$work/downloads/3d_a1.ndz" || fail "the map data was not downloaded"
"$bin/dlget" -q -o "$work/expected" -n map.ndz "http://$host/data/3m21j27/data_3m21j27/3d_a1.ndz" >/dev/null
cmp -s "$work/downloads/3d_a1.ndz" "$work/expected/map.ndz" || fail "the map data's bytes differ"
list="$work/data/Quorvel/downloads.list"
wait_for 5 test "$(grep -c $'\tcompleted\t' "$list" 2>/dev/null)" = 2 || fail "the list has not both: $(cat "$list")"

# A third download at 64 KiB/s, and the window closed during it: it goes on at the next start.
kill -TERM "$quorvel_pid"
wait_for 15 bash -c "! kill -0 $quorvel_pid 2>/dev/null" || fail "SIGTERM did not end the window"
setting "限速" 64
start_quorvel
choose_kind 4   # tmc.ndz
click $((50 + 5 + 391 + 28)) $((50 + 5 + 43 + 10))
wait_for 10 test -f "$work/downloads/tmc.ndz.part" || fail "the third download did not start"
kill -TERM "$quorvel_pid"
wait_for 15 bash -c "! kill -0 $quorvel_pid 2>/dev/null" || fail "SIGTERM did not end the window"
[ -f "$work/downloads/tmc.ndz" ] && fail "the third download completed before the window closed"
grep -q $'\trunning\t.*tmc.ndz' "$list" || fail "the list does not keep it: $(cat "$list")"
setting "限速" 0
setting "种子自动下载内容" 1
start_quorvel   # no click
wait_for 30 test -f "$work/downloads/tmc.ndz" || fail "the interrupted download did not go on at start"
"$bin/dlget" -q -o "$work/expected" -n tmc.ndz "http://$host/data/3m21j27/data_3m21j27/tmc.ndz" >/dev/null
cmp -s "$work/downloads/tmc.ndz" "$work/expected/tmc.ndz" || fail "the resumed download's bytes differ"

# BT mode: the fourth kind's torrent, then its content through the swarm (the setting above).
click $((50 + 5 + 367 + 10)) $((50 + 189 + 15 + 10))   # 选择框_下载模式: BT
choose_kind 5   # pt.ndz
click $((50 + 5 + 391 + 28)) $((50 + 5 + 43 + 10))
wait_for 60 test -f "$work/downloads/pt.ndz" || fail "the content did not come through the swarm: $(ls "$work/downloads")"
"$bin/dlget" -q -o "$work/expected" -n pt.ndz "http://$host/data/3m21j27/data_3m21j27/pt.ndz" >/dev/null
cmp -s "$work/downloads/pt.ndz" "$work/expected/pt.ndz" || fail "the swarm's bytes differ"
echo "release and map data downloaded through the window; resumed at start; content through the swarm"
