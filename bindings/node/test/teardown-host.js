// SPDX-License-Identifier: MIT
// The process that teardown.test.js judges. As the main thread it starts
// workers that convert in loops (sync, async, or async then process.exit)
// and ends them with terminate() at random moments, round after round, then
// calls process.exit(STATUS) with its own conversions in flight. As a
// worker it converts until it is ended.
// Usage: node teardown-host.js SEED ROUNDS WORKERS STATUS
'use strict';

const { Worker, isMainThread, parentPort, workerData } = require('worker_threads');
const lyrn = require('..');

// About 400 KB of feed: a few milliseconds per conversion, so that ends
// fall before, during and after conversions.
function feed() {
  const parts = ['<rss><channel><title>Teardown</title>'];
  for (let i = 0; i < 1500; i++) {
    parts.push(`<item><title>Song ${i}</title><description>${'d'.repeat(160)}</description>` +
      `<itunes:duration>3:${String(i % 60).padStart(2, '0')}</itunes:duration><enclosure url="https://cdn.example.org/${i}.mp3"/></item>`);
  }
  parts.push('</channel></rss>');
  return Buffer.from(parts.join(''));
}

// A small seeded generator (mulberry32), so that a failing seed can be run again.
function random(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// Async conversions kept in flight, plus a failing one now and then, so
// that rejections are in flight too.
function convertAsync(bytes, inFlight) {
  const bad = Buffer.from('<rss><channel><title>\xff</title></channel></rss>', 'latin1');
  let n = 0;
  const more = () => {
    n++;
    lyrn.parseFeedJson(n % 5 === 0 ? bad : bytes, 'https://a/b/c/feed.xml').then(more, more);
  };
  for (let i = 0; i < inFlight; i++) more();
}

if (!isMainThread) {
  const bytes = feed();
  const { mode, exitAfter } = workerData;
  parentPort.postMessage('ready');
  if (mode === 'sync') {
    for (;;) {
      lyrn.parseFeedJsonSync(bytes);
      try {
        lyrn.parseFeedSync(Buffer.from('<rss><channel><title>&#xD800;</title></channel></rss>'));
      } catch {
        // a LyrnError, thrown while the worker may be ending
      }
    }
  }
  convertAsync(bytes, 4);
  if (mode === 'exit') setTimeout(() => process.exit(3), exitAfter);
} else {
  const [seed, rounds, workers, status] = process.argv.slice(2).map(Number);
  const rand = random(seed);
  const modes = ['sync', 'async', 'exit'];
  const unexpected = [];

  const round = () => Promise.all(Array.from({ length: workers }, (_, i) => new Promise((resolve) => {
    const mode = modes[(i + Math.floor(rand() * 3)) % 3];
    const w = new Worker(__filename, { workerData: { mode, exitAfter: Math.floor(rand() * 20) } });
    const delay = Math.floor(rand() * 25);
    // Some are ended before they are ready, the others at a random moment after.
    const end = () => w.terminate();
    if (rand() < 0.2) setTimeout(end, delay);
    else w.once('message', () => setTimeout(end, delay));
    w.on('error', (e) => unexpected.push(`worker error: ${e && e.stack}`));
    w.on('exit', (code) => {
      // terminate() gives 1 (0 when the worker had not started its script);
      // the worker's own process.exit gives 3.
      if (code !== 0 && code !== 1 && code !== 3) unexpected.push(`worker exit ${code} (${mode})`);
      resolve();
    });
  })));

  (async () => {
    for (let r = 0; r < rounds; r++) await round();
    if (unexpected.length) {
      process.stderr.write(unexpected.join('\n') + '\n');
      process.exit(1);
    }
    // The main environment goes with conversions in flight here and in
    // workers that are still converting.
    const last = Array.from({ length: workers }, () => new Worker(__filename, { workerData: { mode: 'async' } }));
    await Promise.all(last.map((w) => new Promise((resolve) => w.once('message', resolve))));
    convertAsync(feed(), 8);
    setTimeout(() => process.exit(status), Math.floor(rand() * 10));
  })();
}
