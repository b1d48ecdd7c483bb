#!/usr/bin/env bash
# Times dlget against curl, wget, aria2c and axel side by side, on servers it starts on
# 127.0.0.1 (nginx, and bench/pacing_server.py), and writes the medians into bench/RESULTS.md.
#   bash bench/engine_bench.sh [-r RUNS] [-b BEFORE_BIN]   (default 7 runs; needs a built build/bin/dlget;
#   -b adds the rows of another build's dlget, "dlget before", measured in the same runs)
# Targets: unthrottled dlget >= 1.2 x curl with at most 0.5 % more bytes served than the file;
# on throttled servers (paced and nginx limit_rate) 1.1 x the best of aria2c -x16 -s16 -k1M
# and axel -n16; without validators at least aria2c -x8; one small file <= 0.9 x curl's time;
# a resume after kill -9 at about half re-fetches at most 2 % of the file.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
runs=7 before=""
while [ $# -gt 0 ]; do
  case $1 in
    -r) runs=$2; shift 2 ;;
    -b) before=$(realpath "$2")/dlget; shift 2 ;;
    *) echo "usage: engine_bench.sh [-r RUNS] [-b BEFORE_BIN]" >&2; exit 2 ;;
  esac
done
dlget=$PWD/build/bin/dlget
[ -x "$dlget" ] || { echo "build first: cmake -S . -B build && cmake --build build" >&2; exit 2; }

need=()
for p in nginx-light aria2 axel wget curl time bc hyperfine python3; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=(); [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${need[@]}" >/dev/null
fi

work=$(mktemp -d /tmp/quorvel-bench.XXXXXX)
port=18080
mkdir -p "$work/www/slow" "$work/www/slow1" "$work/logs" "$work/out"
: > "$work/logs/paced.log"; : > "$work/logs/plain.log"; : > "$work/logs/crawl.log"
head -c $((512 << 20)) /dev/urandom > "$work/www/big.bin"
head -c $((1024 << 20)) /dev/urandom > "$work/www/huge.bin"
head -c $((256 << 20)) /dev/urandom > "$work/www/slow/long.bin"
head -c $((64 << 20)) /dev/urandom > "$work/www/slow/med.bin"
head -c $((16 << 20)) /dev/urandom > "$work/www/slow1/small.bin"
head -c $((16 << 20)) /dev/urandom > "$work/www/paced.bin"
head -c $((64 << 20)) /dev/urandom > "$work/www/plain.bin"
head -c $((64 << 10)) /dev/urandom > "$work/www/tiny.bin"
head -c $((1 << 20)) /dev/urandom > "$work/www/crawl.bin"
cat > "$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 256; }
http {
  log_format bytes '\$request_uri \$status \$body_bytes_sent';
  access_log $work/logs/access.log bytes;
  sendfile on;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
    location /slow/ { limit_rate 4m; }
    location /slow1/ { limit_rate 1m; }
  }
}
CONF
chmod -R a+rX "$work"  # nginx's workers read as an unprivileged user
nginx -c "$work/nginx.conf" -p "$work"
# Two pacing servers (each connection held to its rate from the first byte): 256 KiB/s with
# validators, 4 MiB/s without ETag or Last-Modified.
python3 bench/pacing_server.py "$work/www" $((port + 1)) 262144 "$work/logs/paced.log" & paced=$!
python3 bench/pacing_server.py "$work/www" $((port + 2)) 4194304 "$work/logs/plain.log" --no-validators & plain=$!
# A third at 8 KiB/s a connection: a far, slow server, where every request's cost shows.
python3 bench/pacing_server.py "$work/www" $((port + 3)) 8192 "$work/logs/crawl.log" & crawl=$!
trap 'kill $paced $plain $crawl 2>/dev/null; nginx -c "$work/nginx.conf" -p "$work" -s stop 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 0.5
base=http://127.0.0.1:$port
pacedBase=http://127.0.0.1:$((port + 1))
plainBase=http://127.0.0.1:$((port + 2))
crawlBase=http://127.0.0.1:$((port + 3))

declare -A times rss ok served
# label, file path on the server, the server's log, command (with OUT as the output file)
measure() {
  local label=$1 path=$2 log=$3; shift 3
  local out=$work/out/file.bin
  rm -f "$work"/out/*
  local cmd=${*//OUT/$out}
  local t0 t1 before
  before=$(wc -l < "$log" 2>/dev/null || echo 0)
  t0=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$work/rss" timeout 300 bash -c "$cmd" >/dev/null 2>&1 || true
  t1=$(date +%s.%N)
  sleep 0.1  # the pacing servers log when a connection's answer ends
  times[$label]+="$(echo "$t1 - $t0" | bc) "
  rss[$label]+="$(cat "$work/rss" | tail -1) "
  served[$label]+="$(tail -n +$((before + 1)) "$log" | bytes_served) "
  if [ -f "$out" ] && cmp -s "$out" "$work/www/$path"; then ok[$label]+="OK "; else ok[$label]+="BAD "; fi
}
nginxLog=$work/logs/access.log
aria16="aria2c -q -x16 -s16 -k1M --allow-overwrite=true -d $work/out -o file.bin"
dl="$dlget -q --replace -o $work/out -n file.bin"
old="$before -q --replace -o $work/out -n file.bin"

for r in $(seq "$runs"); do
  measure "big curl" big.bin "$nginxLog" "curl -s -o OUT $base/big.bin"
  measure "big wget" big.bin "$nginxLog" "wget -q -O OUT $base/big.bin"
  measure "big aria2c -x8 -s8 -k1M" big.bin "$nginxLog" "aria2c -q -x8 -s8 -k1M --allow-overwrite=true -d $work/out -o file.bin $base/big.bin"
  measure "big axel -n8" big.bin "$nginxLog" "axel -q -n8 -o OUT $base/big.bin"
  measure "big dlget" big.bin "$nginxLog" "$dl $base/big.bin"
  measure "big dlget --connections 1" big.bin "$nginxLog" "$dl --connections 1 $base/big.bin"
  [ -n "$before" ] && measure "big dlget before" big.bin "$nginxLog" "$old $base/big.bin"
  for row in "paced paced.bin $work/logs/paced.log $pacedBase" "slow slow/med.bin $nginxLog $base" \
             "slow1 slow1/small.bin $nginxLog $base" "crawl crawl.bin $work/logs/crawl.log $crawlBase"; do
    set -- $row
    # aria2c splits nothing under twice its -k (1 MiB): on the 1 MiB file it is one stream, minutes.
    [ "$1" = crawl ] || measure "$1 aria2c -x16 -s16 -k1M" "$2" "$3" "$aria16 $4/$2"
    measure "$1 axel -n16" "$2" "$3" "axel -q -n16 -o OUT $4/$2"
    measure "$1 dlget" "$2" "$3" "$dl $4/$2"
    [ -n "$before" ] && measure "$1 dlget before" "$2" "$3" "$old $4/$2"
  done
  measure "plain aria2c -x8 -s8 -k1M" plain.bin "$work/logs/plain.log" "aria2c -q -x8 -s8 -k1M --allow-overwrite=true -d $work/out -o file.bin $plainBase/plain.bin"
  measure "plain dlget" plain.bin "$work/logs/plain.log" "$dl $plainBase/plain.bin"
done
measure "huge dlget (1 GiB)" huge.bin "$nginxLog" "$dl $base/huge.bin"
measure "huge curl (1 GiB)" huge.bin "$nginxLog" "curl -s -o OUT $base/huge.bin"
[ -n "$before" ] && measure "huge dlget before (1 GiB)" huge.bin "$nginxLog" "$old $base/huge.bin"

# Many small files: one 64 KiB file, process start to exit.
small=$(hyperfine -N --warmup 20 -r 300 --export-json "$work/small.json" \
  "curl -s -o $work/out/c.bin $base/tiny.bin" "$dlget -q --replace -o $work/out -n d.bin $base/tiny.bin" >/dev/null 2>&1 &&
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"]; print(" ".join("%.1f" % (x["mean"] * 1000) for x in r))' "$work/small.json")
cmp -s "$work/out/d.bin" "$work/www/tiny.bin" && small_ok=OK || small_ok=BAD
# Resume after kill -9 at about half of a throttled 256 MiB file (about 4 s at 16 x 4 MiB/s).
rm -f "$work"/out/* ; : > "$work/logs/access.log"
nginx -c "$work/nginx.conf" -p "$work" -s reopen; sleep 0.2
"$dlget" -q -o "$work/out" -n file.bin "$base/slow/long.bin" & pid=$!
sleep 2
kill -9 $pid 2>/dev/null || true; wait $pid 2>/dev/null || true
sleep 0.3
"$dlget" -q -o "$work/out" -n file.bin "$base/slow/long.bin" >/dev/null || true
sent=$(bytes_served "$work/logs/access.log")
size=$((256 << 20))
refetch=$(echo "scale=2; 100 * ($sent - $size) / $size" | bc)
sha_ok=$([ "$(sha256sum < "$work/out/file.bin")" = "$(sha256sum < "$work/www/slow/long.bin")" ] && echo OK || echo BAD)

{
  echo "<!-- engine_bench.sh writes from here to the end marker -->"
  echo "Reproduce: \`bash bench/engine_bench.sh -r $runs\`. nginx on 127.0.0.1: \`/slow/\` limited to 4 MiB/s"
  echo "per request, \`/slow1/\` to 1 MiB/s (\`limit_rate\`, which sends each request's first second at"
  echo "once); \`paced\`: our pacing server holding each connection to 256 KiB/s from its first byte;"
  echo "\`plain\`: the pacing server at 4 MiB/s per connection, Range but no ETag or Last-Modified;"
  echo "\`crawl\`: the pacing server at 8 KiB/s per connection, a 1 MiB file."
  echo "Files of random bytes, each compared with the served one. Medians of $runs runs; times include process"
  echo "start; bytes served read from the servers' logs. Measured $(date -u +%Y-%m-%d) on $(nproc) cores."
  echo
  echo "| row | tool | median s | MiB/s | bytes served / file | max RSS MB | files |"
  echo "|---|---|---|---|---|---|---|"
  for label in "big curl" "big wget" "big aria2c -x8 -s8 -k1M" "big axel -n8" "big dlget before" "big dlget --connections 1" \
               "big dlget" \
               "paced aria2c -x16 -s16 -k1M" "paced axel -n16" "paced dlget before" "paced dlget" \
               "slow aria2c -x16 -s16 -k1M" "slow axel -n16" "slow dlget before" "slow dlget" \
               "slow1 aria2c -x16 -s16 -k1M" "slow1 axel -n16" "slow1 dlget before" "slow1 dlget" \
               "crawl aria2c -x16 -s16 -k1M" "crawl axel -n16" "crawl dlget before" "crawl dlget" \
               "plain aria2c -x8 -s8 -k1M" "plain dlget" "huge curl (1 GiB)" "huge dlget before (1 GiB)" \
               "huge dlget (1 GiB)"; do
    [ -n "${times[$label]:-}" ] || continue
    m=$(echo "${times[$label]}" | median)
    mb=$(case "$label" in big*) echo 512;; slow1*|paced*) echo 16;; crawl*) echo 1;; slow*|plain*) echo 64;; huge*) echo 1024;; esac)
    r=$(echo "${rss[$label]}" | median)
    b=$(echo "${served[$label]}" | median)
    echo "| ${label%% *} | ${label#* } | $(printf %.2f "$m") | $(echo "scale=1; $mb / $m" | bc) | $(echo "scale=4; $b / ($mb * 1048576)" | bc) | $(echo "scale=1; $r / 1024" | bc) | ${ok[$label]} |"
  done
  ratio() { echo "scale=2; $(echo "${times[$2]}" | median) / $(echo "${times[$1]}" | median)" | bc; }
  best() {
    [ -n "${times[$1]:-}" ] || { echo "$2"; return; }
    local a b; a=$(echo "${times[$1]}" | median); b=$(echo "${times[$2]}" | median)
    [ "$(echo "$a < $b" | bc)" = 1 ] && echo "$1" || echo "$2"
  }
  echo
  echo "Ratios (throughput of dlget over the other's, higher is better for dlget):"
  echo "- unthrottled 512 MiB, over curl: $(ratio "big dlget" "big curl"); 1 GiB: $(ratio "huge dlget (1 GiB)" "huge curl (1 GiB)") (target >= 1.2)"
  [ -n "$before" ] && echo "  (the build before: $(ratio "big dlget before" "big curl"); 1 GiB: $(ratio "huge dlget before (1 GiB)" "huge curl (1 GiB)"))"
  echo "- unthrottled 512 MiB, over \`dlget --connections 1\`: $(ratio "big dlget" "big dlget --connections 1") (target >= 0.95)"
  for row in paced slow slow1 crawl; do
    b=$(best "$row aria2c -x16 -s16 -k1M" "$row axel -n16")
    echo "- $row, over the best of aria2c -x16 and axel -n16 (${b#* }): $(ratio "$row dlget" "$b") (target >= 1.1)"
    [ -n "${times[$row dlget before]:-}" ] && echo "  (the build before: $(ratio "$row dlget before" "$b"))"
  done
  echo "- no validators, over aria2c -x8: $(ratio "plain dlget" "plain aria2c -x8 -s8 -k1M") (target >= 1)"
  set -- $small
  echo "- one 64 KiB file, process start to exit (hyperfine, 300 runs): curl $1 ms, dlget $2 ms, file $small_ok (target: dlget <= curl)"
  echo "- resume after kill -9 at 2 s into the throttled 256 MiB file (about half): $refetch % of the file fetched twice, SHA-256 $sha_ok (target <= 2 %)"
  echo "<!-- engine_bench.sh end -->"
} > "$work/results.md"
replace_results engine_bench.sh "$work/results.md" bench/RESULTS.md
sed -n '/engine_bench.sh writes/,/engine_bench.sh end/p' bench/RESULTS.md
