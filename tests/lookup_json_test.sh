#!/bin/bash
# tellmark-lookup --json on the sample edition, read by Python: K5DRC's record with its entity
# number and zones, and an International call's entity from the edition's entity table.
# Usage: lookup_json_test.sh TELLMARK_LOOKUP DATA_DIR
set -euo pipefail
lookup=$1
data=$2
out=$(mktemp)
trap 'rm -f "$out"' EXIT

"$lookup" --data "$data" --json K5DRC > "$out"
python3 -m json.tool "$out" > /dev/null
python3 - "$out" <<'PY'
import json, sys
text = open(sys.argv[1], encoding="utf-8").read()
assert text.endswith("]\n"), repr(text[-5:])
rows = json.loads(text)
assert len(rows) == 1, rows
r = rows[0]
want = {"call": "K5DRC", "match": "exact", "database": "us", "name": "GERALD D SMITH",
        "city": "DALLAS", "state": "TX", "dxcc_code": 291, "cq_zone": 4, "itu_zone": 7,
        "continent": "NA"}
for k, v in want.items():
    assert r.get(k) == v and type(r.get(k)) is type(v), (k, r.get(k))
assert isinstance(r["longitude"], float) and r["longitude"] < 0, r["longitude"]
assert isinstance(r["latitude"], float) and r["latitude"] > 0, r["latitude"]
assert isinstance(r["vanity"], bool), r["vanity"]
y, m, d = r["issued"].split("-")
assert len(y) == 4 and len(m) == 2 and len(d) == 2, r["issued"]
PY

# An International call: its entity's number and zones as the edition's table has them.
status=0
"$lookup" --data "$data" --json DL1ABC G4AAA VK2AAA 2>/dev/null > "$out" || status=$?
[ "$status" -le 1 ] || { echo "exit status $status"; exit 1; }
python3 - "$out" "$data/data/entities.tsv" <<'PY'
import json, sys
rows = json.load(open(sys.argv[1], encoding="utf-8"))
table = {}
for line in open(sys.argv[2], encoding="utf-8"):
    cells = line.rstrip("\n").split("\t")
    if len(cells) == 6 and cells[0].isdigit():
        table[int(cells[0])] = (int(cells[3]), int(cells[4]), cells[2])
assert len(rows) == 3, rows
for r, code in zip(rows, (230, 223, 150)):
    assert r["database"] == "intl", r
    assert r["dxcc_code"] == code, (r["call"], r.get("dxcc_code"))
    assert (r["cq_zone"], r["itu_zone"], r["continent"]) == table[code], r
PY
echo "lookup JSON on the sample edition: ok"
