#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR with prefix /usr and checks the tree: every file
# in its place, the launcher entry and the metainfo valid (when the validators are here), the
# programs' versions, and a quorvel installed elsewhere than its configured prefix (so not
# loading the package's libraries) writing its carried files to the per-user folder when it
# cannot write beside itself; or, built without carried libraries (the packages' build), carrying
# none and writing no code anywhere.
#   tests/install/install_test.sh BUILD_DIR VERSION MANUAL_PAGES(ON|OFF) LIBDIR CARRIED(ON|OFF)
# LIBDIR is the libraries' folder under the prefix (lib, or lib/<triplet> on Debian).
set -uo pipefail
build=$1 version=$2 manuals=$3 libdir=$4 carried=$5
root=$(mktemp -d /tmp/quorvel-install.XXXXXX)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
DESTDIR="$root/tree" cmake --install "$build" --prefix /usr >/dev/null || fail "cmake --install"
usr=$root/tree/usr
expected=(bin/quorvel bin/quorvel-cli bin/dlget "$libdir/quorvel/libdlcore.so" "$libdir/quorvel/libskinkit.so"
  share/quorvel/id.dat
  share/applications/quorvel.desktop share/metainfo/io.github.quorvel.Quorvel.metainfo.xml
  share/icons/hicolor/scalable/apps/quorvel.svg share/bash-completion/completions/quorvel-cli
  share/bash-completion/completions/dlget)
for size in 16 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/quorvel.png"); done
[ "$manuals" = ON ] && expected+=(share/man/man1/quorvel-cli.1.gz share/man/man1/dlget.1.gz share/man/man1/quorvel.1.gz)
for f in "${expected[@]}"; do [ -f "$usr/$f" ] || fail "missing /usr/$f"; done
for f in bin/quorvel bin/quorvel-cli bin/dlget; do [ -x "$usr/$f" ] || fail "/usr/$f is not executable"; done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$usr/share/applications/quorvel.desktop" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$usr/share/metainfo/io.github.quorvel.Quorvel.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate"
fi
[ "$("$usr/bin/quorvel-cli" --version)" = "quorvel-cli $version" ] || fail "quorvel-cli --version"
[ "$("$usr/bin/dlget" --version)" = "dlget $version" ] || fail "dlget --version"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/quorvel" --version)" = "quorvel $version" ] ||
  fail "quorvel --version without a display"
"$usr/bin/quorvel-cli" --help | grep -q -- "--download-server" || fail "quorvel-cli --help"
for c in quorvel-cli dlget; do bash -n "$usr/share/bash-completion/completions/$c" || fail "the completion of $c"; done

# The installed program where its folder cannot be written: as another user when we are root
# (who writes anywhere), else with the folder made read-only.
home=$root/home
mkdir -p "$home"
chmod 755 "$root"
run=()
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  chown 65534:65534 "$home"
  run=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
  chmod a-w "$usr/bin"
fi
before=$(ls -A "$usr/bin" | sort)
env HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" QT_QPA_PLATFORM=offscreen \
  "${run[@]}" "$usr/bin/quorvel" >/dev/null 2>&1 &
pid=$!
if [ "$carried" = OFF ]; then
  sleep 3  # the window is up and has loaded (or failed to load) its libraries by now
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  chmod u+w "$usr/bin"
  ! nm "$usr/bin/quorvel" 2>/dev/null | grep -q "qv_dlcore_begin\|qv_skinkit_begin" || fail "the window carries library copies"
  code=$(find "$home" "$usr" -name '.*.so' -o -name '.download' | head -3)
  [ -z "$code" ] || fail "a window without carried libraries wrote code: $code"
  [ "$(ls -A "$usr/bin" | sort)" = "$before" ] || fail "the installed quorvel wrote beside itself"
  echo "install tree, validators, versions, no library copies and nothing written: ok"
  exit 0
fi
for _ in $(seq 200); do [ -f "$home/data/Quorvel/.download/id.dat" ] && break; sleep 0.05; done
kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
chmod u+w "$usr/bin"
[ -f "$home/data/Quorvel/.download/id.dat" ] || fail "the installed quorvel deployed nothing to the per-user folder"
ls -A "$home/data/Quorvel" | grep -q '^\.dlcore-.*\.so$' || fail "no engine library in the per-user folder"
[ "$(ls -A "$usr/bin" | sort)" = "$before" ] || fail "the installed quorvel wrote beside itself"
echo "install tree, validators, versions and the per-user deployment: ok"
