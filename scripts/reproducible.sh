#!/usr/bin/env bash
# Checks that the packages are reproducible: builds those of the current commit twice, from two
# clones in folders of different names and depths, and compares them byte for byte. When they
# differ it says which files differ (and runs diffoscope on them when it is installed).
#   scripts/reproducible.sh [--keep]    --keep leaves both build folders for a closer look
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d /tmp/quorvel-repro.XXXXXX)
if [ "${1:-}" = "--keep" ]; then echo "the builds stay in $work"; else trap 'rm -rf "$work"' EXIT; fi
sides=("$work/a/quorvel" "$work/second/deeper/source")
commit=$(git rev-parse HEAD)
for side in "${sides[@]}"; do
  git clone -q --no-hardlinks . "$side"
  git -C "$side" checkout -q "$commit"  # the same commit, whatever lands meanwhile
done
echo "== commit $commit"
for side in "${sides[@]}"; do
  echo "== packages from $side"
  bash "$side/scripts/package.sh" >"$side.log" 2>&1 || { cat "$side.log"; exit 1; }
done
status=0
for deb in "${sides[0]}"/build-package/*.deb; do
  name=$(basename "$deb")
  other=${sides[1]}/build-package/$name
  if cmp -s "$deb" "$other"; then
    echo "same: $name ($(sha256sum <"$deb" | cut -c1-16))"
    continue
  fi
  status=1
  echo "DIFFERENT: $name"
  dpkg-deb -R "$deb" "$work/x1" && dpkg-deb -R "$other" "$work/x2"
  diff -rq "$work/x1" "$work/x2" || true
  if command -v diffoscope >/dev/null; then diffoscope "$deb" "$other" | head -100 || true; fi
  rm -rf "$work/x1" "$work/x2"
done
exit $status
