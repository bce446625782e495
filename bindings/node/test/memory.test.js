// SPDX-License-Identifier: MIT
// Resident memory stays flat over 20,000 conversions, sync and async: every
// document the library returns is released, and so is every held input.
// The file runs in its own process, so only its own work shows in the RSS.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const v8 = require('v8');
const vm = require('vm');
const lyrn = require('..');

v8.setFlagsFromString('--expose-gc');
const gc = vm.runInNewContext('gc');

// About 70 KB of feed giving a 21 KB document: a leak of either would be
// hundreds of megabytes over the run.
function feed() {
  const parts = ['<rss><channel><title>Memory</title>'];
  for (let i = 0; i < 120; i++) {
    parts.push(`<item><title>Song_${i} [4hjgkvuKES8]</title><description>${'d'.repeat(300)}</description>` +
      `<itunes:author>Artist ${i}</itunes:author><itunes:duration>1:${String(i % 60).padStart(2, '0')}</itunes:duration>` +
      `<pubDate>Tue, 02 Jan 2024 10:00:00 +0200</pubDate><enclosure url="https://cdn.example.org/m/${i}.mp3" length="${5000 + i}"/></item>`);
  }
  parts.push('</channel></rss>');
  return Buffer.from(parts.join(''));
}

function rssMB() {
  gc();
  gc();
  return process.memoryUsage.rss() / 1048576;
}

const COUNT = 20000;
const BATCH = 50;
const BOUND_MB = 24;

test(`RSS does not grow over ${COUNT} conversions`, async (t) => {
  const bytes = feed();
  const text = bytes.toString('utf8');
  const expected = lyrn.parseFeedJsonSync(bytes, 'https://a/b/c/feed.xml');
  assert.ok(expected.length > 20000);

  async function run(count) {
    for (let done = 0; done < count; done += 2 * BATCH) {
      for (let i = 0; i < BATCH; i++) assert.equal(lyrn.parseFeedJsonSync(bytes, 'https://a/b/c/feed.xml').length, expected.length);
      const docs = await Promise.all(Array.from({ length: BATCH }, (_, i) =>
        lyrn.parseFeedJson(i % 2 ? bytes : text, 'https://a/b/c/feed.xml')));
      for (const d of docs) assert.equal(d.length, expected.length);
    }
  }

  await run(6000); // warm-up: the JavaScript and C heaps reach their working size
  const before = rssMB();
  await run(COUNT);
  const after = rssMB();
  t.diagnostic(`RSS ${before.toFixed(1)} MB after the warm-up, ${after.toFixed(1)} MB after ${COUNT} more conversions ` +
    `(growth ${(after - before).toFixed(1)} MB, bound ${BOUND_MB} MB; a leaked document alone would be ` +
    `${((COUNT * expected.length) / 1048576).toFixed(0)} MB)`);
  assert.ok(after - before < BOUND_MB, `RSS grew by ${(after - before).toFixed(1)} MB`);
});
