// Derives data/sources/cty.tsv from the country file of Debian's hamradio-files (cty.csv): one
// row per entity of the file, WAE-only entities ("*" before the prefix) included, with every
// prefix and exact call ("=CALL") as the file writes it, overrides kept: CQ zone (n), ITU zone
// [n], continent {XX}, position <lat/lon> and time offset ~n~. Columns are the file's; latitude,
// longitude (west positive) and time offset (west positive) are the file's texts. Run by hand
// (`node cty.mjs`, or CTY_CSV=path for another file); the build only reads the committed table.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const OUT = path.resolve(here, '../../data/sources/cty.tsv');
const CTY = process.env.CTY_CSV || '/usr/share/hamradio-files/cty.csv';

const header = ['prefix', 'name', 'dxcc', 'continent', 'cq', 'itu', 'lat', 'lon', 'utc', 'calls'];
const lines = [header.join('\t')];
let calls = 0;
for (const line of fs.readFileSync(CTY, 'utf8').split(/\r?\n/)) {
  if (!line.trim()) continue;
  const f = line.split(',');
  if (f.length < 10) throw new Error(`cty.csv: short line: ${line}`);
  const list = f.slice(9).join(',').replace(/;\s*$/, '').split(/\s+/).filter(Boolean);
  calls += list.length;
  lines.push([...f.slice(0, 9).map((v) => v.trim()), list.join(' ')].join('\t'));
}
fs.writeFileSync(OUT, lines.join('\n') + '\n');
console.log(`cty.tsv: ${lines.length - 1} entities, ${calls} prefixes and calls, ` +
  `${fs.statSync(OUT).size} bytes`);
