#!/usr/bin/env python3
"""Resolves calls with the country file on its own and counts where a table of calls disagrees.

Usage: cty_check.py CTY_DAT CTY_CSV CALLS_TSV

CTY_DAT is the country file in its colon form: for each entity a heading line
"name: cq: itu: continent: lat: lon: utc: prefix:" and its prefixes and exact calls ("=CALL")
separated by commas up to ";", each with optional overrides (n) CQ zone, [n] ITU zone, {XX}
continent, <lat/lon> position and ~n~ time offset. A "*" before the prefix marks an entity that is
no DXCC entity of its own. CTY_CSV (the same file in its comma form) gives only the ADIF number of
each entity, by prefix. CALLS_TSV has a heading line and the columns call, dxcc, continent, cq,
itu. Prints the disagreements and "calls N disagreements M"; exit 0 when M is 0.
"""
import re
import sys

TOKEN = re.compile(r"^(=?)([A-Z0-9/]+)((?:\(\d+\)|\[\d+\]|\{[A-Z]{2}\}|<[^>]*>|~[^~]*~)*)$")


def read_dat(path):
    entities, prefixes, exact = [], {}, {}
    text = open(path, encoding="latin-1").read()
    for block in text.split(";"):
        block = block.strip()
        if not block:
            continue
        head, _, rest = block.partition("\n")
        f = [x.strip() for x in head.split(":")]
        name, cq, itu, cont, key = f[0], int(f[1]), int(f[2]), f[3], f[7]
        index = len(entities)
        entities.append((key, name, cont, cq, itu))
        for t in re.split(r"[,\s]+", rest.strip()):
            if not t:
                continue
            m = TOKEN.match(t)
            if not m:
                raise SystemExit("bad token %r" % t)
            ov = m.group(3)
            z = re.search(r"\((\d+)\)", ov)
            i = re.search(r"\[(\d+)\]", ov)
            c = re.search(r"\{([A-Z]{2})\}", ov)
            place = (index, c.group(1) if c else cont, int(z.group(1)) if z else cq,
                     int(i.group(1)) if i else itu)
            (exact if m.group(1) else prefixes).setdefault(m.group(2), place)
    return entities, prefixes, exact


def read_numbers(path):
    numbers = {}
    for line in open(path, encoding="latin-1"):
        f = line.split(",")
        if len(f) >= 10:
            numbers[f[0]] = int(f[2])
    return numbers


def main():
    entities, prefixes, exact = read_dat(sys.argv[1])
    numbers = read_numbers(sys.argv[2])
    longest = max(len(p) for p in prefixes)
    rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[3], encoding="utf-8")][1:]
    bad = 0
    for call, dxcc, cont, cq, itu in rows:
        place = exact.get(call)
        if place is None:
            for n in range(min(len(call), longest), 0, -1):
                place = prefixes.get(call[:n])
                if place:
                    break
        if place is None:
            want = ("", "", "", "")
        else:
            index, pcont, pcq, pitu = place
            want = (str(numbers[entities[index][0]]), pcont, str(pcq), str(pitu))
        got = (dxcc, cont, cq, itu)
        if got != want:
            bad += 1
            if bad <= 20:
                print("%s: got %s, the country file says %s" % (call, got, want))
    print("calls %d disagreements %d" % (len(rows), bad))
    return 0 if bad == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
