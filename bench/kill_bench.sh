#!/usr/bin/env bash
# kill -9 at random moments of a 64 MiB download, then the same command to the end: how much
# of the file each kill makes the engine fetch again (median and worst of MOMENTS), dlget and
# aria2c side by side, bytes served read from nginx's log, every file compared. Writes its
# table into bench/RESULTS.md.
#   bash bench/kill_bench.sh [-n MOMENTS]     (default 60; needs build/bin/dlget)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
moments=60
[ "${1:-}" = "-n" ] && moments=$2
dlget=$PWD/build/bin/dlget
[ -x "$dlget" ] || { echo "build first: cmake -S . -B build && cmake --build build" >&2; exit 2; }
for p in nginx-light aria2 bc python3; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$p" >/dev/null
done
work=$(mktemp -d /tmp/quorvel-killbench.XXXXXX)
port=18095
mkdir -p "$work/www/slow" "$work/logs" "$work/out"
size=$((64 << 20))
head -c $size /dev/urandom > "$work/www/slow/f.bin"
cat > "$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 256; }
http {
  log_format bytes '\$request_uri \$status \$body_bytes_sent';
  access_log $work/logs/access.log bytes;
  server { listen 127.0.0.1:$port; root $work/www; location /slow/ { limit_rate 1m; } }
}
CONF
chmod -R a+rX "$work"
nginx -c "$work/nginx.conf" -p "$work"
trap 'nginx -c "$work/nginx.conf" -p "$work" -s stop 2>/dev/null || true; rm -rf "$work"' EXIT
url=http://127.0.0.1:$port/slow/f.bin
served() { bytes_served "$work/logs/access.log"; }

declare -A refetch ok
# label, command (OUT is the output folder); the same command resumes.
run() {
  local label=$1 cmd=${2//OUT/$work/out} before pid
  rm -f "$work"/out/*
  sleep 0.3  # nginx logs the last answers of the run before
  before=$(served)
  bash -c "exec $cmd" >/dev/null 2>&1 & pid=$!
  sleep "$(awk -v r=$RANDOM 'BEGIN {printf "%.2f", 0.2 + 2.8 * r / 32767}')"
  kill -9 $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
  # A run that finished before its kill has nothing to resume (and a second run would fetch
  # the file anew under another name).
  [ -f "$work/out/f.bin" ] && [ ! -f "$work/out/f.bin.aria2" ] || timeout 120 bash -c "$cmd" >/dev/null 2>&1 || true
  sleep 0.3
  refetch[$label]+="$(echo "scale=2; 100 * ($(served) - $before - $size) / $size" | bc) "
  if cmp -s "$work/out/f.bin" "$work/www/slow/f.bin"; then ok[$label]=$((${ok[$label]:-0} + 1)); fi
}
for i in $(seq "$moments"); do
  run dlget "$dlget -q -o OUT -n f.bin $url"
  run "aria2c -x16 -s16 -k1M" "aria2c -q -x16 -s16 -k1M -c -d OUT -o f.bin $url"
done
{
  echo "<!-- kill_bench.sh writes from here to the end marker -->"
  echo "Reproduce: \`bash bench/kill_bench.sh -n $moments\`. A 64 MiB file from nginx (\`limit_rate 1m\` a request),"
  echo "killed with \`kill -9\` at a random moment between 0.2 and 3 s, then the same command to the end."
  echo "Fetched again: bytes served beyond the file, from nginx's log, in % of the file. Measured $(date -u +%Y-%m-%d)."
  echo
  echo "| tool | moments | median % fetched again | worst % | files exact |"
  echo "|---|---|---|---|---|"
  for label in dlget "aria2c -x16 -s16 -k1M"; do
    worst=$(echo "${refetch[$label]}" | tr ' ' '\n' | grep -v '^$' | sort -g | tail -1)
    echo "| $label | $moments | $(echo "${refetch[$label]}" | median) | $worst | ${ok[$label]:-0} of $moments |"
  done
  echo "<!-- kill_bench.sh end -->"
} > "$work/results.md"
replace_results kill_bench.sh "$work/results.md" bench/RESULTS.md
cat "$work/results.md"
