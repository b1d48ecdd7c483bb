#!/usr/bin/env bash
# Installs what is missing, builds Quorvel twice (with AddressSanitizer + UndefinedBehaviorSanitizer,
# then plain) and runs the whole test suite in each build; in between, the fuzz targets run over
# their corpus, and the command line and engine are built and tested without the window
# (-DQUORVEL_GUI=OFF, which must never look for Qt or X), clang-tidy reads the cores, and as
# root the Debian packages are built, installed, tried and removed (scripts/package.sh --try), and
# the engine, dlget and quorvel-cli are built for Windows and tested under wine
# (scripts/windows.sh --test; its libraries are built once into ~/.cache/quorvel-windows).
# Ends with CTest's summary of the plain build.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1
# The tests talk only to servers of their own on 127.0.0.1: no proxy of the machine's (the
# tests' own ENVIRONMENT property clears only the first of these where GoogleTest discovers them).
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
jobs=$(nproc)

build_and_test() {  # folder, extra cmake arguments...
  local dir=$1; shift
  cmake -S . -B "$dir" -DBUILD_TESTING=ON -DQUORVEL_WERROR=ON "$@" >/dev/null &&
    cmake --build "$dir" -j"$jobs" &&
    ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 300
}

echo "== tests under AddressSanitizer + UndefinedBehaviorSanitizer"
build_and_test build-asan -DQUORVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
asan=$?
[ $asan -eq 0 ] || echo "!! the tests failed under the sanitizers (see above)"
echo "== fuzz targets over their corpus (and a few seconds of fuzzing each)"
FUZZ_SEED=1 bash tests/fuzz/run.sh build-fuzz
fuzz=$?
[ $fuzz -eq 0 ] || echo "!! a fuzz target failed (see above)"
echo "== the command line and the engine without the window (-DQUORVEL_GUI=OFF)"
build_and_test build-headless -DQUORVEL_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
headless=$?
if grep -qE "^(Qt6|XCB)" build-headless/CMakeCache.txt; then
  echo "!! the build without the window looked for Qt or X"
  headless=1
fi
for program in build-headless/bin/quorvel-cli build-headless/bin/dlget build-headless/bin/libdlcore.so; do
  if ldd "$program" | grep -qiE "libQt|libxcb|libX11"; then
    echo "!! $program loads Qt or X"
    headless=1
  fi
done
[ $headless -eq 0 ] || echo "!! the build without the window failed (see above)"
echo "== clang-tidy over the cores (.clang-tidy)"
bash scripts/tidy.sh build-headless
tidy=$?
[ $tidy -eq 0 ] || echo "!! clang-tidy found something (see above)"
echo "== the Debian packages: built, installed, tried and removed"
packages=0
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing the packages needs root"
elif dpkg -s quorvel >/dev/null 2>&1 || dpkg -s quorvel-cli >/dev/null 2>&1; then
  echo "skipped: Quorvel's packages are installed on this machine and the test would remove them"
else
  bash scripts/package.sh --try
  packages=$?
  [ $packages -eq 0 ] || echo "!! the packages failed (see above)"
fi
echo "== Windows: the engine, dlget and quorvel-cli built with mingw-w64 and tested under wine"
QUORVEL_LINUX_BUILD=build-headless bash scripts/windows.sh --test
windows=$?
[ $windows -eq 0 ] || echo "!! the Windows build or its tests under wine failed (see above)"
echo "== tests"
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo
plain=$?
[ $asan -eq 0 ] && [ $fuzz -eq 0 ] && [ $headless -eq 0 ] && [ $tidy -eq 0 ] && [ $packages -eq 0 ] &&
  [ $windows -eq 0 ] && [ $plain -eq 0 ]
