#!/usr/bin/env bash
# The speed limit: dlget --limit-rate RATE for 10 seconds against an unthrottled local server
# (testfileserver), bytes received in the 10 seconds against the limit, for a few limits;
# medians of RUNS. Target: within ±10 % of the limit. (Two downloads sharing one limit are the
# engine test's: DlcoreTest.TheSpeedLimitHoldsForAllDownloadsTogether.)
#   bash bench/limit_bench.sh [-r RUNS]       (default 3; needs build/bin/dlget, testfileserver)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
runs=3
[ "${1:-}" = "-r" ] && runs=$2
bin=$PWD/build/bin
[ -x "$bin/dlget" ] && [ -x "$bin/testfileserver" ] || { echo "build first: cmake --build build" >&2; exit 2; }
work=$(mktemp -d /tmp/quorvel-limitbench.XXXXXX)
trap 'kill "$server_pid" 2>/dev/null; rm -rf "$work"' EXIT
mkfifo "$work/in"
"$bin/testfileserver" $((128 << 20)) 0 /dev/null <"$work/in" >"$work/addr" &
server_pid=$!
exec 3>"$work/in"
for _ in $(seq 300); do [ -s "$work/addr" ] && break; sleep 0.1; done
url=$(head -1 "$work/addr")

rows=()
for rate in 64K 512K 2M 8M; do
  bytes=$(case $rate in *K) echo $((${rate%K} << 10)) ;; *M) echo $((${rate%M} << 20)) ;; esac)
  ratios=""
  for r in $(seq "$runs"); do
    rm -rf "$work/out"
    "$bin/dlget" -q --replace --limit-rate "$rate" --max-seconds 10 -o "$work/out" -n f.bin "$url" >/dev/null 2>"$work/err" || true
    got=$(grep -o "([0-9]* of" "$work/err" | tr -dc 0-9 || true)
    ratios+="$(echo "scale=3; ${got:-0} / (10 * $bytes)" | bc) "
  done
  rows+=("| $rate | $(echo "$ratios" | median) | $ratios|")
done
{
  echo "<!-- limit_bench.sh writes from here to the end marker -->"
  echo "Reproduce: \`bash bench/limit_bench.sh -r $runs\`. dlget \`--limit-rate\` for 10 s (\`--max-seconds 10\`)"
  echo "against testfileserver without a limit; bytes received in the 10 s (what dlget reports at its"
  echo "pause) divided by 10 s of the limit (1.00: exact; the target is 0.90 to 1.10). Measured"
  echo "$(date -u +%Y-%m-%d) on $(nproc) cores."
  echo
  echo "| limit | median received / limit | runs |"
  echo "|---|---|---|"
  printf '%s\n' "${rows[@]}"
  echo "<!-- limit_bench.sh end -->"
} >"$work/results.md"
replace_results limit_bench.sh "$work/results.md" bench/RESULTS.md
cat "$work/results.md"
