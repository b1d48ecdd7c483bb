#!/usr/bin/env bash
# The Windows installer as a user runs it, under wine (a fresh private prefix) on a private X
# server: installed silently, the installed window started, seen on the screen (a screenshot of
# more than one colour), a search of the Linux build's sample portal with 下载关 ticked downloads
# the release through the installed engine into a folder with a Chinese name, its bytes compared
# with the sample's; the window closed by its close box; uninstalled silently; then every file
# and registry key left behind is listed, and any is a failure but the user's settings
# (HKEY_CURRENT_USER\Quorvel) and download list (%LOCALAPPDATA%\Quorvel). Every wait is bounded.
#   try_window.sh SETUP.EXE LINUX_BIN SCREENSHOT.png
set -uo pipefail
setup=$(realpath "$1") linux=$(realpath "$2") shot=$(realpath -m "$3")
work=$(mktemp -d /tmp/quorvel-try.XXXXXX)
pids=()
cleanup() {
  kill "${pids[@]}" 2>/dev/null
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
wait_for() { # seconds, command...
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.2
  done
}
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

display=:$((100 + RANDOM % 800))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
wait_for 10 test -S "/tmp/.X11-unix/X${display#:}" || fail "Xvfb did not start"
export DISPLAY=$display
wait_for 10 xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb does not answer"
timeout 120 wineboot -i >/dev/null 2>&1 || fail "wineboot"
timeout 60 wineserver -w

# What the prefix holds before: the files under drive_c, and the user's registry.
files() { (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -print | LC_ALL=C sort); }
keys() { grep '^\[' "$WINEPREFIX/user.reg" | sed 's/\] [0-9]*$/]/' | LC_ALL=C sort; }
files >"$work/files.before"
keys >"$work/keys.before"

coproc PORTAL { exec "$linux/sampleportal"; }
pids+=("$PORTAL_PID")
read -r -t 10 host <&"${PORTAL[0]}" || fail "no sample portal"
expected=$work/expected
mkdir -p "$expected" "$work/下载"
"$linux/quorvel-cli" search 3261 --download --portal "$host" --download-server "$host" -o "$expected" >/dev/null 2>&1 ||
  fail "the Linux quorvel-cli could not fetch the release to compare with"

echo "-- install: $(basename "$setup") /S"
timeout 120 wine "$setup" /S || fail "the installer failed"
user=$(id -un)
program="$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/Quorvel"
[ -f "$program/quorvel.exe" ] || fail "nothing installed in %LOCALAPPDATA%\\Programs\\Quorvel"
[ -f "$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Quorvel.lnk" ] ||
  fail "no Start-menu entry"
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel' | grep -q DisplayVersion ||
  fail "not in the list of programs"

# The servers and the save folder, as the window keeps them: in the registry.
folder="Z:${work//\//\\}\\下载"
for value in "门户=$host" "下载服务器=$host" "保存目录=$folder"; do
  wine reg add 'HKCU\Quorvel' /v "${value%%=*}" /d "${value#*=}" /f >/dev/null 2>&1 || fail "reg add $value"
done

echo "-- start the installed window"
(cd "$program" && exec wine quorvel.exe >"$work/window.log" 2>&1) &
pids+=($!)
wait_for 60 xdotool search --name "^Quorvel（" >/dev/null || fail "no window"
sleep 3
window=$(xdotool search --name "^Quorvel（" | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"
# wine draws the frame: the client area is 468 x 336 inside it, its caption at the top.
border=$(((WIDTH - 468) / 2))
cx=$((X + border)) cy=$((Y + HEIGHT - 336 - border))
click() {
  xdotool mousemove "$1" "$2" click 1
  sleep 0.5
}
click $((cx + 5 + 160 + 6)) $((cy + 5 + 18 + 7))  # 选择框_下载开关
click $((cx + 5 + 93 + 28)) $((cy + 5 + 15 + 10)) # 按钮_渠道主程序搜索
name=$(ls "$expected" | grep -v '^\.' | head -1)
done_file() { [ -f "$work/下载/$name" ] && cmp -s "$work/下载/$name" "$expected/$name"; }
wait_for 120 done_file || fail "the release did not arrive whole in 下载 ($(ls -a "$work/下载" | tr '\n' ' '))"
echo "ok    the release $name downloaded through the installed engine, byte-identical"
sleep 2
import -window root "$shot" || fail "no screenshot"
colours=$(convert "$shot" -format '%k' info:)
[ "$colours" -gt 1 ] || fail "the window is not on the screen (the screenshot is one colour)"
echo "ok    screenshot: $shot ($colours colours)"

echo "-- close the window by its close box"
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool key --window "$window" alt+F4
wait_for 30 sh -c '! xdotool search --name "^Quorvel（" >/dev/null' || fail "the window did not close"
timeout 60 wineserver -w

echo "-- uninstall: uninstall.exe /S"
timeout 120 wine "$program/uninstall.exe" /S || fail "the uninstaller failed"
wait_for 60 test ! -e "$program" || fail "the install folder is still there: $(ls -A "$program")"
timeout 60 wineserver -w
# Left out: the user's list and settings; wine's own temporary files and recent documents; and the
# per-user programs folder and list of programs, which Windows always has (the installer made them
# here only because the prefix is new).
left_files=$(files | LC_ALL=C comm -13 "$work/files.before" - | grep -v -e '/AppData/Local/Quorvel' -e '/Temp' \
  -e '/AppData/Roaming/Microsoft/Windows/Recent' -e '/AppData/Local/Programs$')
left_keys=$(keys | LC_ALL=C comm -13 "$work/keys.before" - | grep -v -e '^\[Quorvel\]$' -e 'Wine' -e 'Explorer' \
  -e '^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\]$')
[ -z "$left_files$left_keys" ] || fail "left behind:
$left_files
$left_keys"
wine reg query 'HKCU\Quorvel' >/dev/null 2>&1 || fail "the user's settings were removed by a silent uninstall"
echo "ok    uninstalled: nothing left but the user's settings and download list"
