#!/usr/bin/env bash
# The real quorvel binary on a private X server, driven with xdotool against the sample
# portal: a search with 下载关 ticked downloads the release, and a map-data kind is
# downloaded from its path. Every wait is bounded; exit 77 (skipped) without Xvfb or xdotool.
#   window_e2e.sh BIN_DIR
set -uo pipefail
bin=$1
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
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=xcb "$work/program/quorvel" >"$work/quorvel.log" 2>&1 & pids+=($!)
wait_for 15 xdotool search --name "Quorvel" >/dev/null || fail "no window"
sleep 0.5

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
echo "release and map data downloaded through the window"
