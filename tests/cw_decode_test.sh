#!/usr/bin/env bash
# tellmark-lookup --cw at every speed step, decoded by an independent decoder (multimon-ng,
# MORSE_CW): the text of the entry must come back. The decoder is told the dot and gap length
# of the step; how far it gets on its own is printed too.
#   cw_decode_test.sh TELLMARK_LOOKUP TELLMARK_BUILD SOURCES_DIR
set -euo pipefail
lookup="$1" build="$2" sources="$3"
for tool in multimon-ng sox; do
  command -v "$tool" >/dev/null || { echo "cw_decode_test: $tool is missing (scripts/setup-debian.sh)"; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export TELLMARK_INI="$work/tellmark.ini"
"$build" --out "$work/edition" --sources "$sources" --us 300 --intl 300 --quiet

dots=(242 181 121 105 90 75 60)
gaps=(145 109 73 63 54 45 36)
# What a decoder can give back: upper case, '-' sent as '/', no character without a pattern;
# spaces are left out (a silent character between letters may read as one).
norm() { tr 'a-z' 'A-Z' | tr -- '-' '/' | tr -cd 'A-Z0-9,.?/'; }

failed=0
for call in a d j; do  # the next greater entries: a U.S. one and two International ones
  for step in 0 1 2 3 4 5 6; do
    wav="$work/cw$step.wav"
    text="$("$lookup" --data "$work/edition" --cw "$wav" --cw-speed "$step" --cw-pitch 700 \
              --cw-volume 100 "$call" 2>/dev/null)" || [ $? -eq 1 ]
    # Trailing silence: the decoder prints a character once the gap after it has passed.
    sox "$wav" "$work/padded.wav" pad 0 3
    heard="$(multimon-ng -q -t wav -c -a MORSE_CW -d "${dots[$step]}" -g "${gaps[$step]}" \
               "$work/padded.wav" 2>/dev/null)"
    alone="$(multimon-ng -q -t wav -c -a MORSE_CW "$work/padded.wav" 2>/dev/null)"
    want="$(printf %s "$text" | norm)"
    if [ "$(printf %s "$heard" | norm)" = "$want" ]; then
      verdict=decoded
    else
      verdict=FAILED
      failed=1
      printf '  sent:  %s\n  heard: %s\n' "$text" "$heard"
    fi
    [ "$(printf %s "$alone" | norm)" = "$want" ] && own="also" || own="not"
    echo "call '$call' step $step (${dots[$step]} ms dot): $verdict;" \
         "$own without the timing given (${#want} characters)"
  done
done
exit $failed
