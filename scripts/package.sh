#!/usr/bin/env bash
# Builds the Debian packages quorvel-cli_<version>_amd64.deb (the command line and the engine) and
# quorvel_<version>_amd64.deb (the window) in build-package/ (Release build with the distribution's
# hardening flags, run-time dependencies computed from the binaries by dpkg-shlibdeps).
#   scripts/package.sh           build the packages
#   scripts/package.sh --try     ... then, as root: install them with apt, run quorvel-cli --version
#                                and man -w quorvel-cli, start /usr/bin/quorvel on a private X server
#                                with HOME on a noexec mount, take a screenshot
#                                (build-package/installed.png), remove them again and check that
#                                nothing is left under /usr or /etc. It refuses to run where either
#                                package is already installed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
need=()
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
if [ "${1:-}" = "--try" ]; then
  command -v import >/dev/null || need+=(imagemagick)
  command -v lintian >/dev/null || need+=(lintian)
fi
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${need[@]}"
fi
# The distribution's hardening flags (fortify, stack protector, relro and now), as Debian's
# own packages are built; their -ffile-prefix-map takes this folder's name out of the binaries.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# Reproducible: every time stamp (manual pages, resources, the packages' files) is the commit's,
# and the binaries are linked with their installed RUNPATH, so that their build-ids do not
# depend on the build folder.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null ||
    date -d "$(sed -n 's/^ -- .*>  //p' data/debian/changelog | head -1)" +%s)
fi
export SOURCE_DATE_EPOCH
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF \
  -DCMAKE_BUILD_WITH_INSTALL_RPATH=ON \
  "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" \
  "-DCMAKE_SHARED_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build-package -j"$(nproc)"
(cd build-package && cpack -G DEB >/dev/null)
cli=$(ls -t build-package/quorvel-cli_*_amd64.deb | head -1)
deb=$(ls -t build-package/quorvel_*_amd64.deb | head -1)
for package in "$cli" "$deb"; do
  echo "package: $package"
  dpkg-deb --field "$package" Package Version Depends
done
# The manual pages are the programs' own --help and --version: a page made of a loader's
# error is caught here.
version=$(dpkg-deb --field "$cli" Version)
for page in build-package/man/*.1.gz; do
  program=$(basename "$page" .1.gz)
  zcat "$page" | grep -q "^\.TH .* \"$program $version\"" || { echo "a broken manual page: $page"; exit 1; }
  # help2man in a locale without the help's characters writes "?" for each of them.
  ! zcat "$page" | grep -q '???' || { echo "a manual page with its text lost to \"?\": $page"; exit 1; }
done
if command -v lintian >/dev/null; then
  echo "lintian --pedantic (nothing below: clean):"
  tags=$(lintian --pedantic "$cli" "$deb" 2>/dev/null || true)
  [ -z "$tags" ] || echo "$tags"
  [ -z "$tags" ] || [ "${1:-}" != "--try" ] || { echo "--try wants lintian silent"; exit 1; }
fi
[ "${1:-}" = "--try" ] || exit 0

[ "$(id -u)" -eq 0 ] || { echo "--try installs the package: run it as root"; exit 1; }
for package in quorvel quorvel-cli; do
  if dpkg -s "$package" >/dev/null 2>&1; then
    echo "$package is installed on this machine: --try leaves it alone and installs nothing"
    exit 1
  fi
done
export DEBIAN_FRONTEND=noninteractive
command -v man >/dev/null || apt-get install -y -q --no-install-recommends man-db >/dev/null
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
