// Reads an ADIF log with adif-parser-ts and prints every record as one line:
// name=value fields in file order, tab-separated, names in lower case, CR and LF as \r and \n.
// The file is read byte for byte (latin1), so lengths count bytes; values are then taken as UTF-8.
// Exit 77 when the package is not installed (npm install in this folder).
'use strict';
const fs = require('fs');
let AdifParser;
try {
  ({AdifParser} = require('adif-parser-ts'));
} catch (e) {
  process.stderr.write('adif-parser-ts is not installed: npm install --prefix ' + __dirname + '\n');
  process.exit(77);
}
const bytes = fs.readFileSync(process.argv[2]).toString('latin1');
const parsed = AdifParser.parseAdi(bytes);
const escape = (s) => Buffer.from(s, 'latin1').toString('utf8').replace(/\r/g, '\\r').replace(/\n/g, '\\n');
for (const record of parsed.records || []) {
  process.stdout.write(Object.entries(record).map(([k, v]) => k + '=' + escape(v)).join('\t') + '\n');
}
