#!/usr/bin/env bash
# Times dlget against curl, wget, aria2c and axel on a local nginx (127.0.0.1 only) and
# writes the medians to bench/RESULTS.md.
#   bash bench/engine_bench.sh [-r RUNS]      (default 3 runs; needs a built build/bin/dlget)
# Targets: unthrottled dlget >= 0.9 x curl; throttled (4 MiB/s per connection) dlget >= aria2c
# -x8 -s8 -k1M and axel -n8; under 64 MB resident for 1 GiB; a resume after kill -9 at about
# half re-fetches under 5 % of the file, with a matching SHA-256.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=3
[ "${1:-}" = "-r" ] && runs=$2
dlget=$PWD/build/bin/dlget
[ -x "$dlget" ] || { echo "build first: cmake -S . -B build && cmake --build build" >&2; exit 2; }

need=()
for p in nginx-light aria2 axel wget curl time bc; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=(); [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${need[@]}" >/dev/null
fi

work=$(mktemp -d /tmp/quorvel-bench.XXXXXX)
port=18080
mkdir -p "$work/www/slow" "$work/logs" "$work/out"
head -c $((512 << 20)) /dev/urandom > "$work/www/big.bin"
head -c $((1024 << 20)) /dev/urandom > "$work/www/huge.bin"
head -c $((256 << 20)) /dev/urandom > "$work/www/slow/long.bin"
head -c $((64 << 20)) /dev/urandom > "$work/www/slow/med.bin"
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
  }
}
CONF
chmod -R a+rX "$work"  # nginx's workers read as an unprivileged user
nginx -c "$work/nginx.conf" -p "$work"
trap 'nginx -c "$work/nginx.conf" -p "$work" -s stop 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 0.5
base=http://127.0.0.1:$port

declare -A times rss ok
# tool label, file path on the server, command (with OUT as the output file)
measure() {
  local label=$1 path=$2; shift 2
  local out=$work/out/file.bin
  rm -f "$work"/out/*
  local cmd=${*//OUT/$out}
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$work/rss" timeout 300 bash -c "$cmd" >/dev/null 2>&1 || true
  t1=$(date +%s.%N)
  times[$label]+="$(echo "$t1 - $t0" | bc) "
  rss[$label]+="$(cat "$work/rss" | tail -1) "
  if [ -f "$out" ] && cmp -s "$out" "$work/www/$path"; then ok[$label]+="OK "; else ok[$label]+="BAD "; fi
}
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

for r in $(seq "$runs"); do
  measure "big curl" big.bin "curl -s -o OUT $base/big.bin"
  measure "big wget" big.bin "wget -q -O OUT $base/big.bin"
  measure "big aria2c -x8 -s8 -k1M" big.bin "aria2c -q -x8 -s8 -k1M --allow-overwrite=true -d $work/out -o file.bin $base/big.bin"
  measure "big axel -n8" big.bin "axel -q -n8 -o OUT $base/big.bin"
  measure "big dlget" big.bin "$dlget -q --replace -o $work/out -n file.bin $base/big.bin"
  measure "slow aria2c -x8 -s8 -k1M" slow/med.bin "aria2c -q -x8 -s8 -k1M --allow-overwrite=true -d $work/out -o file.bin $base/slow/med.bin"
  measure "slow axel -n8" slow/med.bin "axel -q -n8 -o OUT $base/slow/med.bin"
  measure "slow dlget" slow/med.bin "$dlget -q --replace -o $work/out -n file.bin $base/slow/med.bin"
done
measure "huge dlget (1 GiB)" huge.bin "$dlget -q --replace -o $work/out -n file.bin $base/huge.bin"
measure "huge curl (1 GiB)" huge.bin "curl -s -o OUT $base/huge.bin"

# Resume after kill -9 at about half of a throttled 256 MiB file (about 8 s at 8 x 4 MiB/s).
rm -f "$work"/out/* ; : > "$work/logs/access.log"
nginx -c "$work/nginx.conf" -p "$work" -s reopen; sleep 0.2
"$dlget" -q -o "$work/out" -n file.bin "$base/slow/long.bin" & pid=$!
sleep 4
kill -9 $pid 2>/dev/null || true; wait $pid 2>/dev/null || true
sleep 0.3
"$dlget" -q -o "$work/out" -n file.bin "$base/slow/long.bin" >/dev/null || true
sent=$(awk '{s+=$3} END {print s+0}' "$work/logs/access.log")
size=$((256 << 20))
refetch=$(echo "scale=2; 100 * ($sent - $size) / $size" | bc)
sha_ok=$([ "$(sha256sum < "$work/out/file.bin")" = "$(sha256sum < "$work/www/slow/long.bin")" ] && echo OK || echo BAD)

{
  echo "# Engine benchmark results"
  echo
  echo "Reproduce: \`bash bench/engine_bench.sh -r $runs\` (nginx on 127.0.0.1, files of random bytes;"
  echo "\`/slow/\` is limited to 4 MiB/s per connection). Medians of $runs runs; times include process start."
  echo "Measured $(date -u +%Y-%m-%d) on $(nproc) cores."
  echo
  echo "| target | tool | median s | MiB/s | max RSS MB | files |"
  echo "|---|---|---|---|---|---|"
  for label in "big curl" "big wget" "big aria2c -x8 -s8 -k1M" "big axel -n8" "big dlget" \
               "slow aria2c -x8 -s8 -k1M" "slow axel -n8" "slow dlget" "huge curl (1 GiB)" "huge dlget (1 GiB)"; do
    m=$(echo "${times[$label]}" | median)
    mb=$(case "$label" in big*) echo 512;; slow*) echo 64;; huge*) echo 1024;; esac)
    r=$(echo "${rss[$label]}" | median)
    echo "| ${label%% *} | ${label#* } | $(printf %.2f "$m") | $(echo "scale=1; $mb / $m" | bc) | $(echo "scale=1; $r / 1024" | bc) | ${ok[$label]} |"
  done
  curl_big=$(echo "${times[big curl]}" | median); dl_big=$(echo "${times[big dlget]}" | median)
  aria_slow=$(echo "${times[slow aria2c -x8 -s8 -k1M]}" | median); axel_slow=$(echo "${times[slow axel -n8]}" | median)
  dl_slow=$(echo "${times[slow dlget]}" | median)
  echo
  echo "Ratios (throughput, higher is better for dlget):"
  echo "- unthrottled, dlget / curl: $(echo "scale=2; $curl_big / $dl_big" | bc) (target >= 0.9)"
  echo "- throttled, dlget / aria2c -k1M: $(echo "scale=2; $aria_slow / $dl_slow" | bc); dlget / axel -n8: $(echo "scale=2; $axel_slow / $dl_slow" | bc) (target >= 1)"
  echo "- resume after kill -9 at 4 s into the throttled 256 MiB file (about half): $refetch % of the file fetched twice, SHA-256 $sha_ok (target < 5 %)"
} > bench/RESULTS.md
cat bench/RESULTS.md
