#!/usr/bin/env bash
# dlget against curl, aria2c -x16 and axel -n16 on emulated long, lossy links (a network
# namespace of the bench's own: tbf for the rate, a statistic drop for loss, nfqdelay for the
# delay; see tests/wan/link.sh), side by side in one run, medians of RUNS, files compared,
# bytes served read from the server's log; every link with the server's connections on CUBIC
# (most servers' default) and on BBR (this machine's). Writes its table into bench/RESULTS.md.
# curl and `dlget --connections 1` (one stream each) run once a row, within 120 s: on a lossy
# CUBIC link one stream takes minutes, and the rows compare the engine with the best peer; so
# does another build's dlget given with -b (150 s), for a before and after in the same run.
#   bash bench/wan_bench.sh [-r RUNS] [-c "cubic bbr"] [-p "150ms ..."] [-B BIN] [-b BEFORE_BIN]
#   (default 3 runs, both; as root; needs dlget and nfqdelay in BIN, default build/bin;
#   -b adds the rows of another build's dlget, "dlget before")
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
source tests/wan/link.sh
runs=3 congestions="cubic bbr" only="" bin=$PWD/build/bin before=""
while [ $# -gt 0 ]; do
  case $1 in
    -r) runs=$2; shift 2 ;;
    -c) congestions=$2; shift 2 ;;
    -p) only=$2; shift 2 ;;  # the profiles whose names start so
    -B) bin=$(realpath "$2"); shift 2 ;;
    -b) before=$(realpath "$2"); shift 2 ;;
    *) echo "usage: wan_bench.sh [-r RUNS] [-c CONGESTIONS] [-p PROFILE] [-B BIN] [-b BEFORE_BIN]" >&2; exit 2 ;;
  esac
done
[ -x "$bin/dlget" ] && [ -x "$bin/nfqdelay" ] || { echo "build first: cmake --build build" >&2; exit 2; }
for p in aria2 axel curl bc python3; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$p" >/dev/null
done
work=$(mktemp -d /tmp/quorvel-wanbench.XXXXXX)
trap 'wan_down; rm -rf "$work"' EXIT
mkdir -p "$work/www" "$work/out"

declare -A times served ok
measure() {  # label, size in MiB, command with OUT and URL[, seconds allowed]
  local label=$1 mib=$2 cmd=$3 limit=${4:-180} before t0 t1
  rm -f "$work"/out/*
  before=$(bytes_served "$work/log")
  cmd=${cmd//OUT/$work/out}; cmd=${cmd//URL/http://127.0.0.1:18099/f$mib.bin}
  t0=$(date +%s.%N)
  wan_run timeout "$limit" bash -c "$cmd" >/dev/null 2>&1 || true
  t1=$(date +%s.%N)
  sleep 1  # the server logs an answer when it ends
  times[$label]+="$(echo "$t1 - $t0" | bc) "
  served[$label]+="$(($(bytes_served "$work/log") - before)) "
  if cmp -s "$work/out/f.bin" "$work/www/f$mib.bin"; then ok[$label]+="OK "; else ok[$label]+="BAD "; fi
}

rows=()
# label, delay each way (ms), rate, loss, MiB (each file takes the line about 7-11 s)
for profile in "150ms-50mbit-1% 150 50mbit 0.01 64" "40ms-200mbit-0.2% 40 200mbit 0.002 256" \
               "200ms-20mbit-2% 200 20mbit 0.02 16" "80ms-100mbit-0.5% 80 100mbit 0.005 128" \
               "300ms-10mbit-3% 300 10mbit 0.03 8"; do
for cc in $congestions; do
  set -- $profile
  [[ $1 == "$only"* ]] || continue
  name="$1 $cc" delay=$2 rate=$3 loss=$4 mib=$5
  [ -f "$work/www/f$mib.bin" ] || head -c $((mib << 20)) /dev/urandom > "$work/www/f$mib.bin"
  : > "$work/log"
  wan_up "$bin/nfqdelay" "$delay" "$rate" "$loss" 3000 || { echo "no emulated link: $WAN_WHY" >&2; exit 1; }
  wan_run python3 bench/pacing_server.py "$work/www" 18099 1000000000 "$work/log" --congestion "$cc" 2>/dev/null &
  sleep 1
  tools=(curl "aria2c -x16" "axel -n16" "dlget --connections 1")
  [ -n "$before" ] && tools+=("dlget before")
  tools+=(dlget)
  for r in $(seq "$runs"); do
    if [ "$r" -eq 1 ]; then
      measure "$name curl" "$mib" "curl -s -o OUT/f.bin URL" 120
      measure "$name dlget --connections 1" "$mib" "$bin/dlget -q --replace --connections 1 -o OUT -n f.bin URL" 120
      [ -n "$before" ] && measure "$name dlget before" "$mib" "$before/dlget -q --replace -o OUT -n f.bin URL" 150
    fi
    measure "$name aria2c -x16" "$mib" "aria2c -q -x16 -s16 -k1M --allow-overwrite=true -d OUT -o f.bin URL"
    measure "$name axel -n16" "$mib" "axel -q -n16 -o OUT/f.bin URL"
    measure "$name dlget" "$mib" "$bin/dlget -q --replace -o OUT -n f.bin URL"
  done
  pkill -f "pacing_server.py $work/www" || true
  wan_down
  for tool in "${tools[@]}"; do
    l="$name $tool"
    m=$(echo "${times[$l]}" | median)
    b=$(echo "${served[$l]}" | median)
    rows+=("| $name, $mib MiB | $tool | $(printf %.2f "$m") | $(echo "scale=3; $b / ($mib * 1048576)" | bc) | ${ok[$l]} |")
  done
done
done
{
  echo "<!-- wan_bench.sh writes from here to the end marker -->"
  echo "Reproduce: \`bash bench/wan_bench.sh -r $runs\` (as root). Each profile is a network namespace whose"
  echo "\`lo\` has a tbf rate, a random drop and nfqdelay's delay each way; the pacing server without a"
  echo "limit serves inside it, its connections on the congestion control the row names. Medians of $runs runs;"
  echo "bytes served from the server's log (what entered"
  echo "its sockets, cut answers included); curl, \`--connections 1\` and the build before once, ended at 120 s"
  echo "(150 s for the build before; such a time means it did not finish: its file is BAD). Measured"
  echo "$(date -u +%Y-%m-%d) on $(nproc) cores."
  echo
  echo "| link, server's congestion control, file | tool | median s | bytes served / file | files |"
  echo "|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
  echo "<!-- wan_bench.sh end -->"
} > "$work/results.md"
replace_results wan_bench.sh "$work/results.md" bench/RESULTS.md
cat "$work/results.md"
