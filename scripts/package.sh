#!/usr/bin/env bash
# Builds the Debian source package and its binary packages through debian/ (dpkg-buildpackage):
# quorvel-cli_<version>_amd64.deb (the command line and the engine), quorvel_<version>_amd64.deb
# (the window) and a -dbgsym package for each, in build-package/. The source is the tree's
# tracked files (as they are now) in build-package/quorvel-<version>; the tests run in the build
# unless DEB_BUILD_OPTIONS has nocheck; lintian --pedantic reads the source and binary packages.
#   scripts/package.sh           build the packages
#   scripts/package.sh --try     ... then, as root: install them with apt, run the autopkgtest
#                                (debian/tests) against them, quorvel-cli --version and man -w
#                                quorvel-cli, start /usr/bin/quorvel on a private X server with
#                                HOME on a noexec mount, take a screenshot
#                                (build-package/installed.png), remove them again and check that
#                                nothing is left under /usr or /etc. It refuses to run where either
#                                package is already installed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
need=()
command -v dpkg-buildpackage >/dev/null || need+=(dpkg-dev)
command -v dh >/dev/null || need+=(debhelper)
command -v lintian >/dev/null || need+=(lintian)
command -v man >/dev/null || need+=(man-db)  # the manual pages are read as groff reads them
[ "${1:-}" = "--try" ] && ! command -v import >/dev/null && need+=(imagemagick)
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${need[@]}"
fi
version=$(dpkg-parsechangelog -S Version)
out=build-package
source_tree=$out/quorvel-$version
rm -rf "$out"
mkdir -p "$source_tree"
# The tracked files only: no build folder of ours ends up in the source package.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$source_tree"
else
  tar --exclude='./build*' -cf - . | tar -xf - -C "$source_tree"
fi
options=${DEB_BUILD_OPTIONS:-}
[[ $options == *parallel=* ]] || options="$options parallel=$(nproc)"
(cd "$source_tree" && DEB_BUILD_OPTIONS=$options dpkg-buildpackage -us -uc >../build.log 2>&1) ||
  { tail -150 "$out/build.log"; echo "dpkg-buildpackage failed (the whole log: $out/build.log)"; exit 1; }
grep -E "tests passed|tests failed" "$out/build.log" || true
cli=$out/quorvel-cli_${version}_amd64.deb
deb=$out/quorvel_${version}_amd64.deb
for package in "$cli" "$deb" "$out"/quorvel-cli-dbgsym_*.deb "$out"/quorvel-dbgsym_*.deb; do
  echo "package: $package"
  dpkg-deb --field "$package" Package Version Depends
done
# The manual pages are the programs' own --help and --version: a page made of a loader's
# error is caught here.
for page in "$source_tree"/obj-*/man/*.1.gz; do
  program=$(basename "$page" .1.gz)
  zcat "$page" | grep -q "^\.TH .* \"$program $version\"" || { echo "a broken manual page: $page"; exit 1; }
  # help2man in a locale without the help's characters writes "?" for each of them.
  ! zcat "$page" | grep -q '???' || { echo "a manual page with its text lost to \"?\": $page"; exit 1; }
  for section in SYNOPSIS DESCRIPTION ENVIRONMENT FILES "SEE ALSO"; do
    zcat "$page" | grep -q "^\.SH \"\?$section\"\?$" || { echo "no $section in $page"; exit 1; }
  done
  # groff at a terminal's 80 columns: not a word (lintian reads the pages the same way).
  said=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$said" ] || { echo "groff on $page: $said"; exit 1; }
done
echo "lintian --pedantic on the source and binary packages (nothing below: clean):"
# As root lintian says so on stderr, which is no finding; anything else it says is.
status=0
lintian --pedantic --fail-on none "$out"/quorvel_"${version}"_amd64.changes >"$out/lintian.log" 2>&1 || status=$?
tags=$(grep -v "running with root privileges is not recommended" "$out/lintian.log" || true)
[ "$status" -eq 0 ] || { echo "$tags"; echo "lintian itself failed (status $status)"; exit 1; }
[ -z "$tags" ] || { echo "$tags"; echo "lintian is not silent"; exit 1; }
[ "${1:-}" = "--try" ] || exit 0

[ "$(id -u)" -eq 0 ] || { echo "--try installs the package: run it as root"; exit 1; }
for package in quorvel quorvel-cli; do
  if dpkg -s "$package" >/dev/null 2>&1; then
    echo "$package is installed on this machine: --try leaves it alone and installs nothing"
    exit 1
  fi
done
export DEBIAN_FRONTEND=noninteractive
# What is under /usr and /etc before: after the removal nothing more may be there.
snapshot() { find /usr /etc -xdev \( -path /etc/ld.so.cache -o -path /usr/share/info/dir \) -prune -o -print | sort; }
snapshot >build-package/before.list
home=$(mktemp -d)
finish() {
  [ -n "${window:-}" ] && kill "$window" 2>/dev/null
  [ -n "${xserver:-}" ] && kill "$xserver" 2>/dev/null || true
  umount "$home" 2>/dev/null || true
  rmdir "$home" 2>/dev/null || true
  apt-get remove -y -q quorvel quorvel-cli >/dev/null 2>&1 || true
}
trap finish EXIT
apt-get install -y -q "./$cli" "./$deb" >/dev/null
command -v quorvel quorvel-cli dlget
quorvel-cli --version
man -w quorvel-cli
# The autopkgtest, against the installed programs, with the test servers of this build.
QUORVEL_TEST_FIXTURES=$(echo "$source_tree"/obj-*/bin) AUTOPKGTEST_TMP=$(mktemp -d) \
  bash debian/tests/command-line || { echo "the autopkgtest failed"; exit 1; }
# A private X server, and a home mounted noexec, as hardened systems do: the window loads the
# package's libraries and writes no code there.
display=57
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xserver=$!
for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
mount -t tmpfs -o noexec,nosuid,nodev tmpfs "$home"
# On the X server: the test command exports QT_QPA_PLATFORM=offscreen for its tests.
HOME=$home DISPLAY=:$display QT_QPA_PLATFORM=xcb /usr/bin/quorvel >"$home/log" 2>&1 &
window=$!
sleep 4
DISPLAY=:$display import -window root build-package/installed.png
kill -0 "$window" 2>/dev/null || { echo "the window ended by itself:"; cat "$home/log"; exit 1; }
grep -q "运行时出错" "$home/log" && { echo "the window did not start:"; cat "$home/log"; exit 1; }
if find "$home" -name '*.so' | grep -q .; then echo "code written into the home:"; find "$home" -name '*.so'; exit 1; fi
colours=$(convert build-package/installed.png -format '%k' info:)
[ "$colours" -gt 1 ] || { echo "the window is not on the screen (the screenshot is one colour)"; exit 1; }
echo "screenshot: build-package/installed.png (home mounted noexec, no code written there)"
kill "$window"
wait "$window" 2>/dev/null || true
window=
apt-get remove -y -q quorvel quorvel-cli >/dev/null
if dpkg -s quorvel >/dev/null 2>&1 || dpkg -s quorvel-cli >/dev/null 2>&1; then echo "not removed"; exit 1; fi
left=$(snapshot | comm -13 build-package/before.list -)
[ -z "$left" ] || { echo "left behind under /usr or /etc:"; echo "$left"; exit 1; }
echo "removed: quorvel, quorvel-cli; nothing left under /usr or /etc"
