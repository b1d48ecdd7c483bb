#!/usr/bin/env bash
# The bash completion knows exactly the commands and options that `quorvel-cli --help` lists:
# for each command, the options its section names, those of "下载的命令" (the commands that
# download) where it downloads, and those of "每个命令" (every command).
#   completion_test.sh QUORVEL_CLI COMPLETION_FILE
set -uo pipefail
cli=$1
completion=$2
fail() { echo "FAIL: $*"; exit 1; }
help=$("$cli" --help) || fail "quorvel-cli --help"
shopt -s extglob
# shellcheck source=/dev/null
source "$completion"

options_of_section() {  # the first line of a section of the help
  awk -v head="$1" 'index($0, head) == 1 { on = 1; next } on && /^$/ { exit } on' <<<"$help" |
    grep -oE '^  -[-a-z0-9]+' | tr -d ' ' | sort -u
}
completed() {  # what completing "quorvel-cli WORDS..." offers
  COMP_WORDS=(quorvel-cli "$@")
  COMP_CWORD=$(($# ))
  COMPREPLY=()
  _quorvel_cli
  printf '%s\n' "${COMPREPLY[@]}" | sort -u
}

commands=$(grep -oE '^(用法：|  或：)quorvel-cli [a-z]+' <<<"$help" | awk '{print $NF}' | sort -u)
[ "$(completed "" | grep -v '^-')" = "$commands" ] || fail "commands: help has $(echo $commands), completion $(completed "" | tr '\n' ' ')"
every=$(options_of_section "每个命令：")
downloading=$(options_of_section "下载的命令")
for command in $commands; do
  section=$(grep -oE "^$command [^：]*：" <<<"$help" | head -1)
  [ -n "$section" ] || fail "no section for $command in the help"
  want=$( { options_of_section "$section"; echo "$every"; grep -q "$command" <<<"$(grep '^下载的命令' <<<"$help")" && echo "$downloading"; } | sort -u | grep .)
  got=$(completed "$command" "-")
  [ "$got" = "$want" ] || fail "$command: the help lists $(echo $want), the completion offers $(echo $got)"
done
echo "the completion offers every command and option of the help, and no other"
