// Reads an ADIF file with an independent parser (adif-parser-ts) and checks that it gives
// back every record, in order, with exactly the fields and values expected.
//   node check_adif.js FILE.adi EXPECTED.json [ENCODING]
// ENCODING is how the file and the expected values are read: latin1 (the default: one byte per
// character, as under a Windows single-byte code page; Latin-1 keeps every byte) or utf8.
'use strict';
const fs = require('fs');
const { AdifParser } = require('adif-parser-ts');

const [adiPath, jsonPath, encoding = 'latin1'] = process.argv.slice(2);
const parsed = AdifParser.parseAdi(fs.readFileSync(adiPath, encoding));
const expected = JSON.parse(fs.readFileSync(jsonPath, encoding));
const problems = [];
if (!parsed.header || parsed.header.text !== 'QSOPAD Log file')
  problems.push(`header: ${JSON.stringify(parsed.header)}`);
const records = parsed.records || [];
if (records.length !== expected.length)
  problems.push(`${records.length} records read, ${expected.length} written`);
for (let i = 0; i < Math.min(records.length, expected.length); i++) {
  const got = records[i], want = expected[i];
  for (const key of new Set([...Object.keys(got), ...Object.keys(want)])) {
    if (got[key] !== want[key])
      problems.push(`record ${i + 1}, field "${key}": read ${JSON.stringify(got[key])}, ` +
                    `written ${JSON.stringify(want[key])}`);
  }
}
if (problems.length) {
  console.error(`${adiPath}: ${problems.length} difference(s)`);
  for (const p of problems.slice(0, 20)) console.error('  ' + p);
  process.exit(1);
}
console.log(`${adiPath}: ${records.length} records read back field for field`);
