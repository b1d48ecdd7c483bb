#!/usr/bin/env bash
# Installs the Debian packages Quorvel needs to build, run and test, when any is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev libgtest-dev libbenchmark-dev
  libpcre2-dev libicu-dev libcurl4-openssl-dev libcpp-httplib-dev zlib1g-dev
  fonts-wqy-microhei xvfb xdotool libxcb1-dev
  clang clang-tidy libclang-rt-14-dev qt6-translations-l10n libtorrent-rasterbar-dev
  desktop-file-utils appstream help2man
  iptables libnetfilter-queue-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
