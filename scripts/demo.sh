#!/usr/bin/env bash
# Tries Quorvel offline: starts the sample portal and download server on 127.0.0.1 and
# Quorvel pointed at it, with a settings folder of its own (your own settings stay as they
# are). Search the device number 3261 (or 9000, 0000, 1111, 8888), tick 下载关 to download the
# release at once, or pick a map-data kind and press "=> 下载". Downloads go to a temporary
# folder, served at 1 MiB/s per connection so that the progress can be watched.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target quorvel sampleportal dlcore
demo=$(mktemp -d /tmp/quorvel-demo.XXXXXX)
coproc PORTAL { exec build/bin/sampleportal 0 1048576; }
trap 'kill "$PORTAL_PID" 2>/dev/null || true' EXIT
read -r host <&"${PORTAL[0]}"
mkdir -p "$demo/config/Quorvel" "$demo/downloads"
cat > "$demo/config/Quorvel/registry.reg" <<REG
WINE REGISTRY Version 2

[Quorvel]
"门户"="$host"
"下载服务器"="$host"
"保存目录"="$demo/downloads"
REG
echo "sample portal and download server: http://$host; downloads go to $demo/downloads"
XDG_CONFIG_HOME="$demo/config" build/bin/quorvel "$@"
