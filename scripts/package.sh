#!/usr/bin/env bash
# Builds the Debian packages quorvel-cli_<version>_amd64.deb (the command line and the engine) and
# quorvel_<version>_amd64.deb (the window) in build-package/ (Release build with the distribution's
# hardening flags, run-time dependencies computed from the binaries by dpkg-shlibdeps).
#   scripts/package.sh           build the package
#   scripts/package.sh --try     ... then, as root: install it with apt, start /usr/bin/quorvel on a
#                                private X server, take a screenshot (build-package/installed.png)
#                                and remove the package again
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
need=()
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
[ "${1:-}" = "--try" ] && ! command -v import >/dev/null && need+=(imagemagick)
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
if command -v lintian >/dev/null; then
  echo "lintian --pedantic:"
  lintian --pedantic "$cli" "$deb" 2>/dev/null || true
fi
[ "${1:-}" = "--try" ] || exit 0

[ "$(id -u)" -eq 0 ] || { echo "--try installs the package: run it as root"; exit 1; }
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q "./$cli" "./$deb" >/dev/null
trap 'apt-get remove -y -q quorvel quorvel-cli >/dev/null; pkill -f "Xvfb :57" || true' EXIT
command -v quorvel quorvel-cli dlget
quorvel-cli --version
man -w quorvel-cli
Xvfb :57 -screen 0 640x480x24 >/dev/null 2>&1 &
sleep 1
# A home mounted noexec, as hardened systems do: the window loads the package's libraries and
# writes no code there.
home=$(mktemp -d)
mount -t tmpfs -o noexec,nosuid,nodev tmpfs "$home"
trap 'apt-get remove -y -q quorvel quorvel-cli >/dev/null; pkill -f "Xvfb :57" || true; umount "$home" 2>/dev/null' EXIT
HOME=$home DISPLAY=:57 /usr/bin/quorvel >"$home/log" 2>&1 &
sleep 4
DISPLAY=:57 import -window root build-package/installed.png
kill %2 2>/dev/null || true
grep -q "运行时出错" "$home/log" && { echo "the window did not start:"; cat "$home/log"; exit 1; }
if find "$home" -name '*.so' | grep -q .; then echo "code written into the home:"; find "$home" -name '*.so'; exit 1; fi
echo "screenshot: build-package/installed.png (home mounted noexec, no code written there)"
apt-get remove -y -q quorvel quorvel-cli >/dev/null
trap 'pkill -f "Xvfb :57" || true' EXIT
! dpkg -s quorvel >/dev/null 2>&1 && ! dpkg -s quorvel-cli >/dev/null 2>&1 && echo "removed: quorvel, quorvel-cli"
