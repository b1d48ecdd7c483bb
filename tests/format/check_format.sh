#!/usr/bin/env bash
# The sources stay as .clang-format lays them out. Skipped (77) without clang-format 14, the
# version Debian 12 ships: other versions lay some lines out differently.
#   tests/format/check_format.sh SOURCE_DIR
set -uo pipefail
cd "$1" || exit 1
format=$(command -v clang-format-14 || command -v clang-format) || { echo "clang-format not found: skipped"; exit 77; }
"$format" --version | grep -q "version 14\." || { echo "not clang-format 14: skipped"; exit 77; }
# A clone's tracked files; in an unpacked source package (no .git here) the source folders.
if [ -e .git ]; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
else
  mapfile -t files < <(find common text http catalogue torrent engine app payload tests bench -name '*.cpp' -o -name '*.h' -o -name '*.c')
fi
[ ${#files[@]} -gt 0 ] || { echo "no sources found"; exit 1; }
"$format" --dry-run -Werror "${files[@]}" 2>&1 | head -40
exit "${PIPESTATUS[0]}"
