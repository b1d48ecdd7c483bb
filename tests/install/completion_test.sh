#!/usr/bin/env bash
# The bash completions know exactly the commands and options that the programs' --help lists,
# offer no file where a value is wanted, and keep names with blanks whole.
# quorvel-cli: for each command, the options its section names, those of every section whose
# heading names the command in brackets ("下载的命令（search --download、mapdata、torrent）："),
# and those of "每个命令" (every command). dlget: the options of its help.
#   completion_test.sh QUORVEL_CLI DLGET COMPLETION_FOLDER
set -uo pipefail
cli=$1
dlget=$2
folder=$3
fail() { echo "FAIL: $*"; exit 1; }
help=$("$cli" --help) || fail "quorvel-cli --help"
shopt -s extglob
# shellcheck source=/dev/null
source "$folder/quorvel-cli"
# shellcheck source=/dev/null
source "$folder/dlget"

options_of_section() {  # the first line of a section of the help
  awk -v head="$1" 'index($0, head) == 1 { on = 1; next } on && /^$/ { exit } on' <<<"$help" |
    grep -oE '^  -[-a-z0-9]+' | tr -d ' ' | sort -u
}
completed() {  # what completing "PROGRAM WORDS..." offers, one a line
  local function=$1; shift
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  "$function"
  printf '%s\n' "${COMPREPLY[@]}" | sort -u
}

commands=$(grep -oE '^(用法：|  或：)quorvel-cli [a-z]+' <<<"$help" | awk '{print $NF}' | sort -u)
[ "$(completed _quorvel_cli quorvel-cli "" | grep -v '^-')" = "$commands" ] ||
  fail "commands: help has $(echo $commands), completion $(completed _quorvel_cli quorvel-cli "" | tr '\n' ' ')"
every=$(options_of_section "每个命令：")
groups=$(grep -E '^[^ ].*（.*）：$' <<<"$help")
[ -n "$groups" ] || fail "no section of the help names its commands in brackets"
for command in $commands; do
  section=$(grep -oE "^$command [^：]*：" <<<"$help" | head -1)
  [ -n "$section" ] || fail "no section for $command in the help"
  want=$( {
    options_of_section "$section"
    echo "$every"
    while IFS= read -r group; do
      grep -qE "[（、]$command[ 、）]" <<<"$group" && options_of_section "$group"
    done <<<"$groups"
  } | sort -u | grep .)
  got=$(completed _quorvel_cli quorvel-cli "$command" "-")
  [ "$got" = "$want" ] || fail "$command: the help lists $(echo $want), the completion offers $(echo $got)"
done

dlget_help=$("$dlget" --help) || fail "dlget --help"
want=$(grep -oE '^  -[-a-z0-9]+' <<<"$dlget_help" | tr -d ' ' | sort -u)
got=$(completed _dlget dlget "http://h/f" "-")
[ "$got" = "$want" ] || fail "dlget: the help lists $(echo $want), the completion offers $(echo $got)"

# Names with blanks, and values that are no file.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/my maps"
touch "$work/my map.torrent" "$work/my map.zip" "$work/notes.txt"
cd "$work" || fail "cd"
[ "$(completed _quorvel_cli quorvel-cli torrent "my")" = "$(printf '%s\n' "my map.torrent" "my maps" | sort)" ] ||
  fail "torrent my: $(completed _quorvel_cli quorvel-cli torrent "my" | tr '\n' '|')"
[ "$(completed _quorvel_cli quorvel-cli verify "my m")" = "$(printf '%s\n' "my map.torrent" "my map.zip" "my maps" | sort)" ] ||
  fail "verify my m: $(completed _quorvel_cli quorvel-cli verify "my m" | tr '\n' '|')"
[ "$(completed _quorvel_cli quorvel-cli mapdata 3m21j27 -o "my")" = "my maps" ] || fail "-o my: not the folder whole"
[ "$(completed _dlget dlget "http://h/f" -o "my")" = "my maps" ] || fail "dlget -o my: not the folder whole"
for value in --stall --port --peer --seed-ratio --max-upload-rate; do
  [ -z "$(completed _quorvel_cli quorvel-cli torrent a.torrent "$value" "")" ] || fail "$value offers names"
done
[ -z "$(completed _dlget dlget "http://h/f" -n "")" ] || fail "dlget -n offers names"
echo "the completions offer every command and option of the helps and no other, no file for a value, and names with blanks whole"
