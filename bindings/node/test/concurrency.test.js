// SPDX-License-Identifier: MIT
// Fifty conversions in flight at once: every result is the right one, and
// the event loop keeps running while they convert on the thread pool.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const lyrn = require('..');

// About 16 MB: long enough per conversion that the pool is busy for many
// timer periods on any machine.
function bigFeed(items) {
  const parts = ['<rss><channel><title>Big</title>'];
  const words = 'words and more words, '.repeat(80);
  for (let i = 0; i < items; i++) {
    parts.push(`<item><title>Track ${i}</title><description><![CDATA[<p>${words}</p>]]></description>` +
      `<itunes:duration>3:${String(i % 60).padStart(2, '0')}</itunes:duration>` +
      `<enclosure url="https://cdn.example.org/${i}.mp3" length="${1000 + i}"/></item>`);
  }
  parts.push('</channel></rss>');
  return Buffer.from(parts.join(''));
}

test('50 conversions in flight: all correct while a timer keeps firing', async (t) => {
  const bytes = bigFeed(8000);
  const urls = Array.from({ length: 50 }, (_, i) => `https://feeds.example.com/music/u${i}/all/feed.xml`);
  // Each conversion has its own feed URL, so results that went to the wrong promise would show.
  const syncStart = process.hrtime.bigint();
  const expected = urls.map((u) => lyrn.parseFeedJsonSync(bytes, u));
  const syncMs = Number(process.hrtime.bigint() - syncStart) / 1e6;

  let pending = urls.length;
  let ticksWhilePending = 0;
  let last = process.hrtime.bigint();
  let maxGapMs = 0;
  const timer = setInterval(() => {
    const now = process.hrtime.bigint();
    if (pending > 0) {
      ticksWhilePending++;
      maxGapMs = Math.max(maxGapMs, Number(now - last) / 1e6);
    }
    last = now;
  }, 2);

  const start = process.hrtime.bigint();
  const results = await Promise.all(urls.map((u) => lyrn.parseFeedJson(bytes, u).finally(() => { pending--; })));
  const asyncMs = Number(process.hrtime.bigint() - start) / 1e6;
  clearInterval(timer);

  for (let i = 0; i < urls.length; i++) assert.equal(results[i], expected[i], `conversion ${i}`);
  // Converting on the calling thread would leave the timer no turn at all.
  assert.ok(ticksWhilePending >= 3, `the timer fired ${ticksWhilePending} times while conversions were pending`);
  t.diagnostic(`feed ${(bytes.length / 1e6).toFixed(2)} MB; 50 conversions: ${asyncMs.toFixed(0)} ms in flight ` +
    `(${syncMs.toFixed(0)} ms one after another on the main thread); the 2 ms timer fired ${ticksWhilePending} times, ` +
    `longest gap ${maxGapMs.toFixed(1)} ms`);
});
