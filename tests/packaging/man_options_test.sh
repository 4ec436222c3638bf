#!/usr/bin/env bash
# Every option a program's --help lists is in its manual page source and, when one is named, in
# its bash completion, so neither can fall behind the program.
#   man_options_test.sh PAGE.scd COMPLETION|- PROGRAM HELP-ARGS...
# Each HELP-ARGS is one command line (words split at blanks) whose output lists options, e.g.
# "--help" or "--update DIR --help".
set -uo pipefail
page=$1 completion=$2 program=$3
shift 3
[ -r "$page" ] || { echo "no manual page source $page" >&2; exit 1; }
options=()
for args in "$@"; do
  # shellcheck disable=SC2086  # the words of one command line
  if ! help=$("$program" $args 2>&1); then
    echo "$program $args failed:" >&2
    echo "$help" >&2
    exit 1
  fi
  mapfile -t -O "${#options[@]}" options < <(grep -oE -- '(^|[^[:alnum:]-])--[[:alnum:]][[:alnum:]-]*' \
                                               <<<"$help" | grep -oE -- '--.*')
done
mapfile -t options < <(printf '%s\n' "${options[@]}" | sort -u)
# A help text that lists almost nothing means the program did not print its help.
if [ "${#options[@]}" -lt 3 ]; then
  echo "$program lists only ${#options[@]} options: ${options[*]}" >&2
  exit 1
fi
missing=0
for o in "${options[@]}"; do
  # In scdoc an option is written in bold: *--json*.
  if ! grep -qF -- "*$o*" "$page"; then
    echo "$(basename "$page"): $o is missing" >&2
    missing=1
  fi
  if [ "$completion" != - ] && ! grep -qE -- "(^|[[:space:]\"])$o([[:space:]\":]|$)" "$completion"; then
    echo "$(basename "$completion"): $o is missing" >&2
    missing=1
  fi
done
[ "$missing" = 0 ] && echo "${#options[@]} options of $(basename "$program") documented: ${options[*]}"
exit "$missing"
