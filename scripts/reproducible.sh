#!/usr/bin/env bash
# Checks that the packages are reproducible: builds those of the current commit twice, from two
# clones in folders of different names and depths, the second under another umask (0002), time
# zone and locale, and compares them byte for byte. When they
# differ it says which files differ (and runs diffoscope on them when it is installed).
#   scripts/reproducible.sh [--keep]    --keep leaves both build folders for a closer look
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d /tmp/quorvel-repro.XXXXXX)
if [ "${1:-}" = "--keep" ]; then echo "the builds stay in $work"; else trap 'rm -rf "$work"' EXIT; fi
sides=("$work/a/quorvel" "$work/second/deeper/source")
commit=$(git rev-parse HEAD)
masks=(0022 0002)
for i in 0 1; do  # each clone under its side's umask: the second's files are group-writable
  (umask "${masks[$i]}" && git clone -q --no-hardlinks . "${sides[$i]}" &&
    git -C "${sides[$i]}" checkout -q "$commit")  # the same commit, whatever lands meanwhile
done
echo "== commit $commit"
echo "== packages from ${sides[0]} (umask 0022, UTC, C.UTF-8)"
(umask 0022 && TZ=UTC LC_ALL=C.UTF-8 bash "${sides[0]}/scripts/package.sh") >"${sides[0]}.log" 2>&1 ||
  { tail -50 "${sides[0]}.log"; exit 1; }
echo "== packages from ${sides[1]} (umask 0002, Asia/Shanghai, POSIX)"
(umask 0002 && TZ=Asia/Shanghai LC_ALL=POSIX bash "${sides[1]}/scripts/package.sh") >"${sides[1]}.log" 2>&1 ||
  { tail -50 "${sides[1]}.log"; exit 1; }
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
