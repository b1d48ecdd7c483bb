#!/usr/bin/env bash
# Quorvel for 64-bit Windows, cross-built with Debian's mingw-w64 (posix threads).
#   scripts/windows.sh           the libraries (once), then the programs and the zip in build-windows/
#   scripts/windows.sh --deps    the libraries only
#   scripts/windows.sh --qt      Qt for the window, once (one to two hours)
#   scripts/windows.sh --window  the libraries, Qt, the programs with the window, the zip and the
#                                installer build-windows/Quorvel-VERSION-setup.exe
#   scripts/windows.sh --try     the same, then the installer tried as a user would (wine, Xvfb)
#   scripts/windows.sh --test    the libraries and programs, then the tests under wine (the unit tests through CTest,
#                                then tests/windows/wine_e2e.sh against the Linux build's servers);
#                                with Qt in the cache also the window, its installer and --try
# Debian ships only zlib built for mingw; curl, PCRE2, GoogleTest and libtorrent-rasterbar are
# built from Debian's own source packages into a cache folder outside the clone
# (QUORVEL_WINDOWS_CACHE, ~/.cache/quorvel-windows unless set), which later runs reuse.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
cache=${QUORVEL_WINDOWS_CACHE:-$HOME/.cache/quorvel-windows}
prefix=$cache/mingw64
host=x86_64-w64-mingw32
version=$(sed -n 's/^project(Quorvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
jobs=$(nproc)
export QUORVEL_WINDOWS_PREFIX=$prefix
# No path of this machine's in the libraries: the zip is the same whatever folder holds the cache.
export CFLAGS="-O2 -ffile-prefix-map=$cache=/quorvel-windows" CXXFLAGS="-O2 -ffile-prefix-map=$cache=/quorvel-windows"
# autotools' configure takes the tools from these (the bare names are the win32 thread variant).
export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib WINDRES=$host-windres \
  STRIP=$host-strip PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
# The recipe below, numbered: libraries built by another recipe are built again.
recipe=2
if [ ! -f "$cache/stamps/recipe-$recipe" ]; then
  rm -rf "$cache/stamps" "$cache/build" "$prefix"
  mkdir -p "$cache/stamps" && touch "$cache/stamps/recipe-$recipe"
fi
mkdir -p "$cache/src" "$prefix"

need_packages() {  # more packages than the build's, when named
  local missing=()
  for p in "$@" g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    mingw-w64-tools libz-mingw-w64-dev wine wine64 dpkg-dev cmake make libboost-dev zip ninja-build nsis; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  [ "$(id -u)" -eq 0 ] || { echo "windows.sh: as root, install: ${missing[*]}" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
}

# Debian's source packages through an apt configuration of our own: the machine's sources
# stay as they are.
fetch_source() {  # package name; prints the unpacked folder
  local name=$1 apt=$cache/apt
  mkdir -p "$apt/lists/partial" "$apt/archives/partial"
  if [ ! -f "$apt/sources.list" ]; then
    echo "deb-src http://deb.debian.org/debian bookworm main" > "$apt/sources.list"
  fi
  local opts=(-o "Dir::Etc::sourcelist=$apt/sources.list" -o "Dir::Etc::sourceparts=-"
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache::archives=$apt/archives")
  [ -n "$(ls "$apt/lists" 2>/dev/null | grep -v partial)" ] || apt-get "${opts[@]}" update >/dev/null
  (cd "$cache/src" && ls -d "$name"-*/ >/dev/null 2>&1 || apt-get "${opts[@]}" source "$name" >/dev/null 2>&1)
  ls -d "$cache/src/$name"-*/ | head -1
}

built() { [ -f "$cache/stamps/$1" ]; }
done_with() { touch "$cache/stamps/$1"; }

build_curl() {
  built curl && return
  local src; src=$(fetch_source curl)
  rm -rf "$cache/build/curl" && mkdir -p "$cache/build/curl" && cd "$cache/build/curl"
  "$src/configure" --host=$host --prefix="$prefix" --disable-shared --enable-static \
    --with-schannel --without-openssl --with-zlib=/usr/$host --without-libpsl --without-brotli \
    --without-zstd --without-libssh2 --without-nghttp2 --without-librtmp --without-libidn2 \
    --disable-ldap --disable-ldaps --disable-rtsp --disable-dict --disable-telnet --disable-tftp \
    --disable-pop3 --disable-imap --disable-smb --disable-smtp --disable-gopher --disable-mqtt \
    --disable-manual --disable-docs >/dev/null
  make -j"$jobs" -C lib >/dev/null && make -C lib install >/dev/null && make -C include install >/dev/null
  make install-pkgconfigDATA >/dev/null 2>&1 || true
  cd "$here" && done_with curl
}

build_pcre2() {
  built pcre2 && return
  local src; src=$(fetch_source pcre2)
  rm -rf "$cache/build/pcre2" && mkdir -p "$cache/build/pcre2" && cd "$cache/build/pcre2"
  "$src/configure" --host=$host --prefix="$prefix" --disable-shared --enable-static \
    --enable-pcre2-16 --disable-pcre2-8 --enable-jit >/dev/null
  make -j"$jobs" >/dev/null && make install >/dev/null
  cd "$here" && done_with pcre2
}

cmake_dep() {  # stamp, source package, extra cmake arguments...
  local stamp=$1 name=$2; shift 2
  built "$stamp" && return
  local src; src=$(fetch_source "$name")
  cmake -S "$src" -B "$cache/build/$stamp" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
  cmake --build "$cache/build/$stamp" -j"$jobs" >/dev/null
  cmake --install "$cache/build/$stamp" >/dev/null
  done_with "$stamp"
}

build_libraries() {
  need_packages
  local s
  s=$(date +%s); build_pcre2; echo "windows.sh: PCRE2 ready ($(($(date +%s) - s)) s)"
  s=$(date +%s); build_curl; echo "windows.sh: curl ready ($(($(date +%s) - s)) s)"
  s=$(date +%s); cmake_dep googletest googletest -Dgtest_disable_pthreads=OFF
  echo "windows.sh: GoogleTest ready ($(($(date +%s) - s)) s)"
  # Boost's header-only parts are the same on every system: the host's headers serve.
  mkdir -p "$prefix/include" && ln -sfn /usr/include/boost "$prefix/include/boost"
  s=$(date +%s)
  cmake_dep libtorrent libtorrent-rasterbar -Dstatic_runtime=OFF -Dbuild_tests=OFF -Dbuild_examples=OFF \
    -Dbuild_tools=OFF -Dpython-bindings=OFF -Dencryption=OFF -DBoost_INCLUDE_DIR="$prefix/include" \
    -DCMAKE_CXX_STANDARD=17
  echo "windows.sh: libtorrent-rasterbar ready ($(($(date +%s) - s)) s)"
}

# Qt for the window: Core, Gui and Widgets as DLLs, because the skin library is a DLL of its own
# that styles the program's one QApplication; each with the C++ runtime inside, as our own
# DLLs. Its zlib is the system's; QRegularExpression keeps Qt's own PCRE2 inside Qt6Core.dll
# (not exported: ours is the static one above, whose headers Qt's find module would take without
# PCRE2_STATIC). Debian's repack lacks src/3rdparty/wintab, hence no tablet events.
build_qt() {
  built qt6 && return
  local src s; src=$(fetch_source qt6-base); s=$(date +%s)
  local fix=$here/scripts/windows/qt6-base-windows-plugin.patch
  if patch -d "$src" -p1 -N --dry-run -s <"$fix" >/dev/null 2>&1; then patch -d "$src" -p1 -N -s <"$fix"; fi
  echo "windows.sh: building Qt for Windows once (one to two hours; cached in $cache/qt6)"
  rm -rf "$cache/qt6"
  cmake -S "$src" -B "$cache/build/qt6" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$cache/qt6" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_direct2d=OFF \
    -DFEATURE_freetype=OFF -DFEATURE_sessionmanager=ON -DFEATURE_testlib=OFF \
    -DFEATURE_system_pcre2=OFF -DFEATURE_system_zlib=ON \
    -DZLIB_LIBRARY=/usr/$host/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$host/include >/dev/null
  # An interrupted build goes on where it stopped; its output is kept for a failure.
  nice cmake --build "$cache/build/qt6" -j"$jobs" >"$cache/build/qt6.log" 2>&1 ||
    { grep -B2 -A12 -m3 'FAILED\|error:' "$cache/build/qt6.log"; return 1; }
  cmake --install "$cache/build/qt6" >/dev/null
  echo "windows.sh: Qt ready ($(($(date +%s) - s)) s, $(du -sh "$cache/qt6" | cut -f1))"
  done_with qt6
}

# The window too when Qt is in the cache.
build_programs() {
  local s gui=OFF qt=(); s=$(date +%s)
  if built qt6; then
    gui=ON
    export QUORVEL_WINDOWS_QT=$cache/qt6
    qt=(-DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
  fi
  cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DQUORVEL_GUI=$gui "${qt[@]}" -DQUORVEL_WERROR=ON -DBUILD_TESTING=ON -DZLIB_LIBRARY=/usr/$host/lib/libz.a \
    -DZLIB_INCLUDE_DIR=/usr/$host/include "-DCMAKE_CXX_FLAGS=-ffile-prefix-map=$here=." >/dev/null
  cmake --build build-windows -j"$jobs" >/dev/null
  echo "windows.sh: programs built ($(($(date +%s) - s)) s)"
}

# build-windows/quorvel-cli-VERSION-win64.zip: the programs, the engine library and the id.dat
# it reads, a README; stripped, dated and ordered alike on every build, so byte-identical.
make_zip() {
  local stage zipfile epoch
  epoch=$(git log -1 --format=%ct 2>/dev/null || echo 0)
  stage=build-windows/zip/quorvel-cli-$version
  zipfile=$here/build-windows/quorvel-cli-$version-win64.zip
  rm -rf build-windows/zip "$zipfile" && mkdir -p "$stage/.download"
  cp build-windows/bin/quorvel-cli.exe build-windows/bin/dlget.exe build-windows/bin/libdlcore.dll "$stage/"
  cp payload/id.dat "$stage/.download/"
  sed 's/$/\r/' docs/windows/README.txt > "$stage/README.txt"
  # strip writes a time into the PE header: the commit's, as every date in the zip.
  SOURCE_DATE_EPOCH=$epoch $host-strip --strip-all "$stage"/*.exe "$stage"/*.dll
  find build-windows/zip -exec touch -h -d @"$epoch" {} +
  (cd build-windows/zip && find . -mindepth 1 | LC_ALL=C sort | sed 's|^\./||' | zip -X -D -q "$zipfile" -@)
  echo "windows.sh: $(basename "$zipfile") ($(stat -c %s "$zipfile") bytes)"
}

# What the installer puts into the install folder, as it lies there: the window, quorvel-cli.exe,
# dlget.exe, our two libraries with the engine's id.dat, Qt's three DLLs and the two plugins the
# window loads (the windows platform, the windowsvista style), Qt's own texts in Chinese (Debian's
# qt6-translations-l10n: the same files on every system), the icon; stripped and dated alike.
stage_window() {  # folder
  local stage=$1 epoch; epoch=$(git log -1 --format=%ct 2>/dev/null || echo 0)
  rm -rf "$stage" && mkdir -p "$stage/.download" "$stage/platforms" "$stage/styles" "$stage/translations"
  cp build-windows/bin/quorvel.exe build-windows/bin/quorvel-cli.exe build-windows/bin/dlget.exe \
    build-windows/bin/libdlcore.dll build-windows/bin/libskinkit.dll app/window/resources/quorvel.ico "$stage/"
  cp payload/id.dat "$stage/.download/"
  cp "$cache/qt6/bin/Qt6Core.dll" "$cache/qt6/bin/Qt6Gui.dll" "$cache/qt6/bin/Qt6Widgets.dll" "$stage/"
  cp "$cache/qt6/plugins/platforms/qwindows.dll" "$stage/platforms/"
  cp "$cache/qt6/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
  cp /usr/share/qt6/translations/qtbase_zh_CN.qm "$stage/translations/"
  # Qt's folders (translations, plugins) are the program's own, not those of Qt's build.
  printf '[Paths]\r\nPrefix = .\r\n' >"$stage/qt.conf"
  SOURCE_DATE_EPOCH=$epoch $host-strip --strip-all "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll
  find "$stage" -exec touch -h -d @"$epoch" {} +
}

# build-windows/Quorvel-VERSION-setup.exe, made with NSIS from the staged folder; its uninstaller
# removes exactly the files staged, named in a list made here.
make_installer() {
  need_packages qt6-translations-l10n
  local stage=build-windows/setup/Quorvel list=build-windows/setup/files.nsh out
  out=$here/build-windows/Quorvel-$version-setup.exe
  stage_window "$stage"
  (cd "$stage" && find . -type f | LC_ALL=C sort | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|' &&
    find . -mindepth 1 -type d | LC_ALL=C sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|') >"$list"
  local size_kb; size_kb=$(du -sk "$stage" | cut -f1)
  makensis -V2 -INPUTCHARSET UTF8 "-DVERSION=$version" "-DSTAGE=$here/$stage" "-DOUTFILE=$out" \
    "-DSIZE_KB=$size_kb" "-DFILELIST=$here/$list" scripts/windows/installer.nsi >/dev/null
  echo "windows.sh: $(basename "$out") ($(stat -c %s "$out") bytes, $size_kb KiB installed)"
}

# Every wine process of a run shares one private prefix: the user's own is never touched.
run_tests() {
  export WINEPREFIX=$cache/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
  local s xserver=; s=$(date +%s)
  if built qt6; then  # the window's tests make windows: wine draws them on a private X server
    local d=$((100 + RANDOM % 800))
    Xvfb ":$d" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
    xserver=$!
    export DISPLAY=:$d
    for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X$d" ] && break; sleep 0.1; done
  fi
  local failed=0
  ctest --test-dir build-windows --output-on-failure --timeout 300 || failed=1
  [ -z "$xserver" ] || kill $xserver
  [ $failed -eq 0 ] || return 1
  bash tests/windows/wine_e2e.sh build-windows/bin "${QUORVEL_LINUX_BUILD:-build}/bin" || return 1
  echo "windows.sh: tests under wine passed ($(($(date +%s) - s)) s)"
}

# The installer as a user runs it (tests/windows/try_window.sh), on the wine prefix of the run.
try_installer() {
  need_packages xvfb xdotool imagemagick x11-utils
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  bash tests/windows/try_window.sh "build-windows/Quorvel-$version-setup.exe" \
    "${QUORVEL_LINUX_BUILD:-build}/bin" build-windows/window.png
}

mode=${1:-}
if [ "$mode" = --qt ]; then need_packages; build_qt; exit 0; fi
build_libraries
[ "$mode" = --deps ] && exit 0
case $mode in --window | --try) build_qt ;; esac
build_programs
make_zip
built qt6 && make_installer
case $mode in
  --test)
    run_tests || exit 1
    if built qt6; then try_installer || exit 1
    else echo "windows.sh: the window's installer not tried: no Qt in $cache (scripts/windows.sh --qt)"; fi ;;
  --try) try_installer || exit 1 ;;
esac
exit 0
