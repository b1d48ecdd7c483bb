#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each over its seed corpus, then fuzzes each for
# a few seconds (FUZZ_SECONDS, default 3) on a copy of the corpus, so that the repository's
# corpus stays as committed. Exits 0 when clang is missing (nothing to run), 1 on a finding.
#   tests/fuzz/run.sh [BUILD_FOLDER]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-fuzz}
seconds=${FUZZ_SECONDS:-3}
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found, fuzz targets skipped"
  exit 0
fi
CXX=clang++ cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
  cmake --build "$build" -j"$(nproc)" >/dev/null || { echo "fuzz: build failed"; exit 1; }

failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for corpus in "$here"/corpus/*/; do
  name=$(basename "$corpus")
  target="$build/fuzz_$name"
  # Every seed once, then a short run that may find more.
  if ! "$target" -runs=0 -artifact_prefix="$work/" "$corpus" >"$work/$name.log" 2>&1; then
    echo "fuzz: $name fails on its seed corpus"; tail -30 "$work/$name.log"; failed=1; continue
  fi
  mkdir -p "$work/$name" && cp "$corpus"/* "$work/$name/"
  # FUZZ_SEED fixes the random choices, so that the test command runs the same inputs each
  # time (a finding there is a finding for everyone); bench/fuzz.sh leaves it open.
  seed_args=()
  [ -n "${FUZZ_SEED:-}" ] && seed_args=(-seed="$FUZZ_SEED" -runs="${FUZZ_RUNS:-30000}")
  if ! "$target" -max_total_time="$seconds" "${seed_args[@]}" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/" \
       "$work/$name" >"$work/$name.log" 2>&1; then
    echo "fuzz: $name found a fault:"; tail -40 "$work/$name.log"
    for crash in "$work"/crash-* "$work"/timeout-* "$work"/oom-*; do
      [ -e "$crash" ] && echo "  input: $(base64 -w0 "$crash" | head -c 400)"
    done
    failed=1; continue
  fi
  echo "fuzz: $name ok ($(grep -o 'Done [0-9]* runs' "$work/$name.log" || echo 'ran'))"
done
exit $failed
