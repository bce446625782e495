// SPDX-License-Identifier: MIT
// The hosts' shared table of cases (tests/hosts/cases.json): every case
// through the four feed entry points, or discoverSlugs, must give the
// document or the failure (code, offset, line, column) that the tool and the
// Python package give.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const lyrn = require('..');

const DIR = path.resolve(__dirname, '..', '..', '..', 'tests', 'hosts');
const { cases } = JSON.parse(fs.readFileSync(path.join(DIR, 'cases.json'), 'utf8'));

// What one entry point gave, in the table's terms.
async function outcome(call) {
  try {
    return { document: await call() };
  } catch (e) {
    assert.ok(e instanceof lyrn.LyrnError, `not a LyrnError: ${e && e.stack}`);
    return { code: e.code, offset: e.offset, line: e.line, column: e.column };
  }
}

for (const c of cases) {
  test(c.name, async () => {
    const bytes = fs.readFileSync(path.join(DIR, c.input));
    const input = c.text ? bytes.toString('utf8') : bytes;
    const options = { encoding: c.encoding, repair: c.repair };
    const want = { ...c.expect };
    if (want.document !== undefined) want.document = fs.readFileSync(path.join(DIR, want.document), 'utf8');
    if (c.kind === 'listing') {
      const got = await outcome(() => JSON.stringify(lyrn.discoverSlugs(input, options)));
      if (want.document !== undefined) want.document = JSON.stringify(JSON.parse(want.document));
      assert.deepEqual(got, want);
      return;
    }
    const calls = {
      parseFeedJson: () => lyrn.parseFeedJson(input, undefined, options),
      parseFeedJsonSync: () => lyrn.parseFeedJsonSync(input, undefined, options),
      parseFeed: async () => JSON.stringify(await lyrn.parseFeed(input, undefined, options)),
      parseFeedSync: () => JSON.stringify(lyrn.parseFeedSync(input, undefined, options)),
    };
    for (const [name, call] of Object.entries(calls)) {
      let expected = want;
      // The object forms are compared through JSON.stringify of what JSON.parse made.
      if (want.document !== undefined && !name.includes('Json')) expected = { document: JSON.stringify(JSON.parse(want.document)) };
      assert.deepEqual(await outcome(call), expected, name);
    }
  });
}
