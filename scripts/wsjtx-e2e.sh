#!/usr/bin/env bash
# End-to-end check with WSJT-X's own programs (Debian package wsjtx): ft8sim writes FT8 signals
# of six messages with calls of the sample edition, mixed into one 15-second WAV; WSJT-X's
# decoder jt9 decodes it; tools/wsjtx/wsjtx-replay.py sends the decodes as WSJT-X does to a
# multicast group on the loopback interface, where tellmark-lookup --wsjtx and WSJT-X's own
# udp_daemon both listen. Every message must come back from both, each sending station
# annotated with its entry.
#   scripts/wsjtx-e2e.sh [BUILD_DIR]
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$src/build}" && pwd)"
for p in ft8sim jt9 udp_daemon python3; do
  command -v "$p" >/dev/null || { echo "wsjtx-e2e: $p is missing (apt-get install wsjtx)"; exit 77; }
done
[ -f "$build/data/edition.ini" ] || { echo "wsjtx-e2e: no sample edition in $build"; exit 77; }
work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
# Message, audio frequency.
messages=("CQ AB4QR EM66:500" "CQ DX 7K1AVL PM95:800" "AB4QR AJ3X -12:1100"
          "AJ3X WL7AKY R-05:1400" "WL7AKY 2E1CDZ RR73:1700" "CQ POTA AJ3X FM28:2000")
i=0
for m in "${messages[@]}"; do
  i=$((i + 1))
  mkdir "m$i"
  (cd "m$i" && ft8sim "${m%%:*}" "${m##*:}" 0.0 0.0 0.0 1 -8 >/dev/null)
done
python3 - m*/000000_000001.wav <<'PY'
import array, sys, wave
sums, params = None, None
for f in sys.argv[1:]:
    w = wave.open(f, "rb"); params = w.getparams()
    a = array.array("h", w.readframes(w.getnframes()))
    sums = sums or [0] * len(a)
    for i, v in enumerate(a): sums[i] += v
scale = min(1.0, 30000 / max(1, max(abs(v) for v in sums)))
o = wave.open("261209_211500.wav", "wb"); o.setparams(params)
o.writeframes(array.array("h", [int(v * scale) for v in sums]).tobytes())
PY
jt9 -8 -p 15 261209_211500.wav > decodes.txt
decoded=$(grep -c '~' decodes.txt || true)
echo "wsjtx-e2e: jt9 decoded $decoded of ${#messages[@]} messages"
port=$((40000 + RANDOM % 20000))
group=239.255.0.1
TELLMARK_INI="$work/none.ini" "$build/tellmark-lookup" --data "$build" --wsjtx "$group:$port" \
  --locator FN31pr > lines.jsonl 2> lookup.err &
pids+=($!)
udp_daemon -p "$port" -g "$group" -i lo > udp_daemon.txt 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q listening lookup.err && break; sleep 0.1; done
sleep 1
python3 "$src/tools/wsjtx/wsjtx-replay.py" --to "$group:$port" --time 211500 decodes.txt
for _ in $(seq 50); do [ "$(wc -l < lines.jsonl)" -ge "$decoded" ] && break; sleep 0.1; done
status=0
for m in "${messages[@]}"; do
  text="${m%%:*}"
  grep -q "\"message\":\"$text\"" lines.jsonl || { echo "wsjtx-e2e: no line for $text"; status=1; }
  grep -q "Decoded $text" udp_daemon.txt || { echo "wsjtx-e2e: udp_daemon missed $text"; status=1; }
done
python3 - lines.jsonl <<'PY' || status=1
import json, sys
bad = 0
for line in open(sys.argv[1]):
    j = json.loads(line)
    r = j.get("record", {})
    print(f'  {j["message"]:<22} de {j.get("de",""):<7} {r.get("name",""):<20} {r.get("dxcc",""):<15} '
          f'{j.get("grid",""):<7} {j.get("distance_km","")} km')
    if not r or r.get("call") != j.get("de"): bad += 1
sys.exit(1 if bad else 0)
PY
[ "$status" -eq 0 ] && echo "wsjtx-e2e: every decode annotated, also read by udp_daemon"
exit "$status"
