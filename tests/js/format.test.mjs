// The panel's writer of counts, sizes and clock times (ui/format.js), run as its exact text with
// a bare window object, in each of the panel's languages.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import vm from 'node:vm';

const script = readFileSync(new URL('../../ui/format.js', import.meta.url), 'utf8');

function writer(locale, hourCycle) {
  const page = {};
  page.window = page;
  vm.runInContext(script, vm.createContext(page));
  return page.TamselFormat(locale, hourCycle);
}
const nbsp = '\u00a0';
const pt = writer('pt-BR', 'h23');
const en = writer('en', 'h12');
const es = writer('es', 'h23');

test('counts take the singular for exactly one, the plural for zero and for many', () => {
  assert.equal(pt.count(1, 'crédito', 'créditos'), '1 crédito');
  assert.equal(pt.count(0, 'crédito', 'créditos'), '0 créditos');
  assert.equal(en.count(2, 'file', 'files'), '2 files');
  assert.equal(es.count(1, 'archivo guardado', 'archivos guardados'), '1 archivo guardado');
  assert.equal(pt.count(12000, 'crédito', 'créditos'), '12.000 créditos', 'grouped as the language groups');
  assert.equal(en.count(12000, 'credit', 'credits'), '12,000 credits');
});

test('sizes are in decimal units, one decimal below ten of a unit, with the language\'s decimal mark', () => {
  const cases = [
    [0, '0' + nbsp + 'B'],
    [999, '999' + nbsp + 'B'],
    [1000, '1' + nbsp + 'kB'],
    [9949, '9,9' + nbsp + 'kB'],
    [9950, '10' + nbsp + 'kB'],
    [412345, '412' + nbsp + 'kB'],
    [999499, '999' + nbsp + 'kB'],
    [999500, '1' + nbsp + 'MB'],       // never "1000 kB"
    [1234567, '1,2' + nbsp + 'MB'],
    [2.5e9, '2,5' + nbsp + 'GB'],
  ];
  for (const [bytes, text] of cases) assert.equal(pt.size(bytes), text, String(bytes));
  assert.equal(en.size(1234567), '1.2' + nbsp + 'MB');
  assert.equal(es.size(1234567), '1,2' + nbsp + 'MB');
  assert.equal(en.size(undefined), '0' + nbsp + 'B', 'a size the reply did not give');
});

test('the clock is the language\'s: 24 hours with two digits in Portuguese and Spanish, 12 in English', () => {
  const morning = new Date(2024, 0, 1, 5, 3, 4);
  const evening = new Date(2024, 0, 1, 17, 3, 4);
  assert.equal(pt.time(morning), '05:03:04');
  assert.equal(pt.time(evening), '17:03:04');
  assert.equal(es.time(evening), '17:03:04');
  assert.match(en.time(evening), /^5:03:04\sPM$/);
  assert.match(en.time(new Date(2024, 0, 1, 0, 3, 4)), /^12:03:04\sAM$/);
});
