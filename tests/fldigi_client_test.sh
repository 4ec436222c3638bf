#!/bin/bash
# fldigi (Debian's) looks calls up in tellmark-lookup --serve in its callook, HamQTH and QRZ modes:
# in a network namespace of its own the service listens on port 80 (fldigi asks no other port),
# a hosts file of a mount namespace names the QRZ and HamQTH hosts 127.0.0.1, fldigi runs under
# Xvfb with a configuration written here, the call is set over fldigi's XML-RPC interface, its
# look-up button pressed with xdotool and the log fields read back over XML-RPC. Expected
# values are the service's own JSON record of each call as fldigi shows it (its name rules).
# Usage: fldigi_client_test.sh TELLMARK_LOOKUP DATA_DIR
# Exit 77 (skipped) where fldigi, Xvfb or xdotool is missing or no namespace can be made.
set -euo pipefail
lookup=$1
data=$2
skip() { echo "SKIPPED: $*"; exit 77; }
for tool in fldigi Xvfb xdotool python3 unshare; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup-debian.sh)"
done

if [ -z "${TELLMARK_IN_NAMESPACE:-}" ]; then
  ns=(unshare --net --mount)
  [ "$(id -u)" -eq 0 ] || ns=(unshare --map-root-user --net --mount)
  "${ns[@]}" true 2>/dev/null || skip "no network namespace can be made here (${ns[*]} failed)"
  TELLMARK_IN_NAMESPACE=1 exec "${ns[@]}" "$0" "$@"
fi

# Inside: only the loopback interface, ours alone.
if command -v ip >/dev/null; then ip link set lo up; else ifconfig lo up 2>/dev/null || true; fi
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
printf '127.0.0.1 localhost xmldata.qrz.com www.hamqth.com callook.info\n' > "$work/hosts"
mount --bind "$work/hosts" /etc/hosts || skip "cannot mount a hosts file in the namespace"

serve() {
  TELLMARK_INI="$work/none.ini" "$lookup" --data "$data" --serve 127.0.0.1:80 2>>"$work/serve.err" &
  service_pid=$!
  pids+=("$service_pid")
  for _ in $(seq 100); do
    python3 -c 'import urllib.request; urllib.request.urlopen("http://127.0.0.1/api/v1/health", timeout=1)' \
      2>/dev/null && return 0
    sleep 0.1
  done
  echo "FAIL: the service did not start"; cat "$work/serve.err"; exit 1
}
serve

# Xvfb picks a free display number itself and tells it.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

# mode: 4 callook, 5 HamQTH, 1 QRZ
start_fldigi() {
  local mode=$1 dir=$work/fldigi-$1
  mkdir -p "$dir"
  cat > "$dir/fldigi_def.xml" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<FLDIGI_DEFS>
<MYCALL>N0CALL</MYCALL>
<MYLOCATOR>FN42</MYLOCATOR>
<QRZXMLTYPE>$mode</QRZXMLTYPE>
<QRZUSER>tester</QRZUSER>
<QRZPASSWORD>secret</QRZPASSWORD>
<CALLOOKURL>http://127.0.0.1/</CALLOOKURL>
<HAMQTHURL>http://www.hamqth.com/</HAMQTHURL>
<CLEAR_NOTES>1</CLEAR_NOTES>
</FLDIGI_DEFS>
EOF
  fldigi --config-dir "$dir" --xmlrpc-server-port 7362 >"$dir/out.log" 2>&1 &
  fldigi_pid=$!
  pids+=("$fldigi_pid")
  for _ in $(seq 300); do
    python3 -c 'import xmlrpc.client as x; x.ServerProxy("http://127.0.0.1:7362/").fldigi.version()' \
      2>/dev/null && break
    sleep 0.1
  done
  window=$(xdotool search --sync --name '^fldigi ver' | head -1)
}

stop_fldigi() {
  python3 -c 'import xmlrpc.client as x; x.ServerProxy("http://127.0.0.1:7362/").fldigi.terminate(0)' \
    2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$fldigi_pid" 2>/dev/null || return 0; sleep 0.1; done
  kill "$fldigi_pid" 2>/dev/null || true
}

# Sets the call, presses the look-up button (the globe left of the Call box) and prints the
# fields as JSON once they show what is wanted ($2), or after 6 s. An empty answer is awaited
# for 1.5 s (fldigi has its answer within a fraction of that here).
look_up() {
  python3 - "$1" <<'PY'
import sys, xmlrpc.client
s = xmlrpc.client.ServerProxy("http://127.0.0.1:7362/")
s.log.clear()
s.log.set_call(sys.argv[1])
PY
  xdotool mousemove --window "$window" 316 35 click 1
  python3 - "$2" "$3" <<'PY'
import json, sys, time, xmlrpc.client
s = xmlrpc.client.ServerProxy("http://127.0.0.1:7362/")
want = json.loads(sys.argv[1])
if want.get("previous"):
    want = {k: v for k, v in json.loads(sys.argv[2]).items() if k != "notes"}
def fields():
    return {"name": s.log.get_name(), "qth": s.log.get_qth(), "state": s.log.get_state(),
            "province": s.log.get_province(), "country": s.log.get_country(),
            "locator": s.log.get_locator(), "notes": s.log.get_notes()}
start = time.time()
empty = not (want.get("name") or want.get("qth"))
while True:
    f = fields()
    waited = time.time() - start
    if all(f.get(k) == v for k, v in want.items()) and (not empty or waited > 1.5):
        break
    if waited > 6:
        break
    time.sleep(0.1)
time.sleep(0.2)
print(json.dumps(fields()))
PY
}

# What fldigi should show for a call in a mode, from the service's JSON record.
expect() {
  python3 - "$1" "$2" <<'PY'
import json, sys, urllib.request, urllib.error
mode, call = sys.argv[1], sys.argv[2]
try:
    r = json.load(urllib.request.urlopen("http://127.0.0.1/api/v1/calls/" + call, timeout=5))
except urllib.error.HTTPError:
    r = {}
def camel(s):
    return " ".join(w[:1].upper() + w[1:].lower() for w in s.split(" "))
out = {"name": "", "qth": "", "state": "", "province": ""}
if mode == "qrz" and r.get("match") not in ("exact", "base-call"):
    # fldigi's QRZ mode announces "Not found" and shows the previous look-up's fields again
    # (it parses nothing of such an answer but still displays what it holds).
    out = {"previous": True}
elif r.get("match") in ("exact", "base-call"):
    us = r.get("database") == "us"
    words = r.get("name", "").split()
    if mode == "callook" and not us:
        pass  # callook knows U.S. calls only
    else:
        if mode == "hamqth":
            first = words[0] if len(words) > 1 else ""
            out["name"] = camel(first)
        else:
            # QRZ: the given names; callook: the whole name; fldigi shows the first word of
            # either when it is longer than 2 letters.
            given = " ".join(words[:-1]) if mode == "qrz" else " ".join(words)
            if mode == "qrz" and len(words) > 2 and words[-1] in ("JR", "SR", "II", "III", "IV"):
                given = " ".join(words[:-2] + words[-1:])
            g = camel(given)
            sp = g.find(" ")
            out["name"] = g if sp < 0 or sp == 1 or sp <= 2 else g[:sp]
        out["qth"] = r.get("city", "")
        if us:
            out["state"] = r.get("state", "")
        elif r.get("dxcc") == "Canada" and mode != "callook":
            out["province"] = r.get("state", "")
print(json.dumps(out))
PY
}

failures=0
previous='{}'
check() {  # mode call
  local got want
  want=$(expect "$1" "$2")
  got=$(look_up "$2" "$want" "$previous")
  if python3 - "$got" "$want" "$previous" <<'PY'
import json, sys
got, want = json.loads(sys.argv[1]), json.loads(sys.argv[2])
if want.get("previous"):
    want = {k: v for k, v in json.loads(sys.argv[3]).items() if k != "notes"}
bad = {k: (got.get(k), v) for k, v in want.items() if got.get(k) != v}
sys.exit(1 if bad else 0)
PY
  then
    echo "ok   $1 $2: $got"
  else
    echo "FAIL $1 $2: got $got, want $want"
    failures=$((failures + 1))
  fi
  previous=$got
}

# Calls: K5DRC; an International call; a U.S. entry with an apostrophe in its QTH; one not in
# the edition. The International and apostrophe calls are found in the edition itself.
intl=$(python3 -c '
import json, urllib.request
r = json.load(urllib.request.urlopen("http://127.0.0.1/api/v1/search?words=berlin&db=intl&count=1"))
print(r[0]["call"] if r else "DL1ABC")')
apostrophe=$(python3 -c '
import json, urllib.request
r = json.load(urllib.request.urlopen("http://127.0.0.1/api/v1/search?city=land+o&count=50"))
print(next((e["call"] for e in r if "\x27" in e.get("city", "")), "K5DRC"))')
echo "International call $intl, apostrophe call $apostrophe"

for mode in ${TELLMARK_FLDIGI_MODES:-callook hamqth qrz}; do
  case $mode in callook) n=4 ;; hamqth) n=5 ;; qrz) n=1 ;; esac
  start_fldigi "$n"
  check "$mode" K5DRC
  check "$mode" "$intl"
  check "$mode" "$apostrophe"
  check "$mode" ZZ9ZZZ
  # The service restarts between two look-ups: fldigi keeps its session key.
  kill "$service_pid"; wait "$service_pid" || true
  serve
  check "$mode" K5DRC
  stop_fldigi
done

if [ "$failures" -ne 0 ]; then
  echo "$failures look-ups showed other fields"; cat "$work/serve.err"; exit 1
fi
echo "fldigi filled every look-up as expected"
