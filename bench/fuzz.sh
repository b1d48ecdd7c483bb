#!/usr/bin/env bash
# Fuzzes every target for minutes rather than the test run's seconds:
#   bash bench/fuzz.sh [SECONDS_EACH]   (default 300)
# Findings are printed with the input (base64); add each to tests/fuzz/corpus/<target>/ once fixed.
cd "$(dirname "$0")/.."
FUZZ_SECONDS=${1:-300} exec bash tests/fuzz/run.sh build-fuzz
