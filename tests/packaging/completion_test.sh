#!/usr/bin/env bash
# The bash completion of tellmark-lookup and tellmark-build, run as bash runs it: COMP_WORDS and
# COMP_CWORD set, the function that `complete -p` names for the command called, COMPREPLY read.
#   completion_test.sh COMPLETION-FILE
set -uo pipefail
file=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/logs" "$work/editions"
touch "$work/a.adi" "$work/B.ADI" "$work/notes.txt" "$work/l_amat.zip" "$work/reg.TXT" \
      "$work/dx.csv" "$work/tone.wav" "$work/labels.pdf" "$work/my.cls"
cd "$work" || exit 1

# shellcheck disable=SC1090
source "$file" || exit 1

# Completes the command line "$@" (the last word is the one being typed, "" for a new one) and
# prints the candidates sorted, one line.
complete_line() {
  local spec fn
  spec=$(complete -p "$1" 2>/dev/null) || { echo "no completion for $1"; return; }
  fn=$(sed -nE 's/.*-F ([^ ]+) .*/\1/p' <<<"$spec")
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMPREPLY=()
  "$fn" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '
}

failed=0
# command line | expected candidates
while IFS='|' read -r line expected; do
  [ -z "$line" ] && continue
  eval "words=($line)"
  got=$(complete_line "${words[@]}")
  if [ "$got" != "$expected" ]; then
    echo "FAIL: [$line] gave '$got', expected '$expected'" >&2
    failed=1
  else
    echo "ok: [$line] -> '$got'"
  fi
done <<'CASES'
tellmark-lookup --js|--json
tellmark-lookup --cs|--csv
tellmark-lookup --cw-|--cw-pitch --cw-speed --cw-volume
tellmark-lookup --ad|--adif --adif-charset --adif-out
tellmark-lookup K5DRC --ver|--version
tellmark-lookup --adif ""|B.ADI a.adi editions logs
tellmark-lookup --adif-out ""|B.ADI a.adi editions logs
tellmark-lookup --cw ""|editions logs tone.wav
tellmark-lookup --data ""|editions logs
tellmark-lookup --data e|editions
tellmark-lookup --data = ""|editions logs
tellmark-lookup --db ""|intl us
tellmark-lookup --db i|intl
tellmark-lookup --qsl-labels ""|B.ADI a.adi editions logs
tellmark-lookup --qsl-labels log.adi --out ""|editions labels.pdf logs
tellmark-lookup --template ""|editions logs my.cls
tellmark-lookup --qsl-|--qsl-all --qsl-from --qsl-labels --qsl-to
tellmark-lookup --closing ""|
tellmark-lookup --name ""|
tellmark-lookup --serve ""|
tellmark-build --up|--update
tellmark-build --no|--no-maps
tellmark-build --fcc|--fcc --fcc-daily --fcc-url
tellmark-build --update ""|editions logs
tellmark-build --out l|logs
tellmark-build --sources ""|editions logs
tellmark-build --fcc ""|editions l_amat.zip logs
tellmark-build --ised ""|editions l_amat.zip logs notes.txt reg.TXT
tellmark-build --intl-csv ""|dx.csv editions logs
tellmark-build --title ""|
CASES
exit "$failed"
