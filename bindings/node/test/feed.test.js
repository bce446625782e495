// SPDX-License-Identifier: MIT
// Feed conversion: the sample feed against the command-line tool, the four
// entry points against one another, bytes that C strings cannot carry, and
// failures with their codes.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const v8 = require('v8');
const lyrn = require('..');

v8.setFlagsFromString('--expose-gc');

const REPO = path.resolve(__dirname, '..', '..', '..');
const SAMPLE = path.join(REPO, 'examples', 'sample-feed.xml');
const SAMPLE_URL = 'https://feeds.example.com/music/demo/all/feed.xml';
// The tool of the library build under test (CTest names it), else the default build folder.
const TOOL = process.env.LYRN_TOOL || path.join(REPO, 'build', 'tools', 'lyrn');

const feed = (...items) => `<rss><channel><title>Mix</title>${items.join('')}</channel></rss>`;
const item = (title, url, extra = '') => `<item><title>${title}</title>${extra}<enclosure url="${url}" length="10"/></item>`;

test('the sample feed gives the tool\'s document', { skip: !fs.existsSync(TOOL) && `no tool at ${TOOL}` }, async () => {
  const expected = execFileSync(TOOL, ['feed', SAMPLE, '--url', SAMPLE_URL], { encoding: 'utf8' }).replace(/\n$/, '');
  const bytes = fs.readFileSync(SAMPLE);
  assert.equal(await lyrn.parseFeedJson(bytes, SAMPLE_URL), expected);
  assert.equal(lyrn.parseFeedJsonSync(bytes, SAMPLE_URL), expected);
  assert.deepEqual(await lyrn.parseFeed(bytes, SAMPLE_URL), JSON.parse(expected));
  assert.deepEqual(lyrn.parseFeedSync(bytes, SAMPLE_URL), JSON.parse(expected));
  // The same text as a string, and as a Uint8Array that is not a Buffer.
  assert.equal(await lyrn.parseFeedJson(bytes.toString('utf8'), SAMPLE_URL), expected);
  assert.equal(await lyrn.parseFeedJson(new Uint8Array(bytes), SAMPLE_URL), expected);
});

test('the sample playlist has the shape the types describe', async () => {
  const p = await lyrn.parseFeed(fs.readFileSync(SAMPLE), SAMPLE_URL);
  assert.equal(p.feedURL, SAMPLE_URL);
  assert.equal(p.trackCount, p.tracks.length);
  assert.ok(p.trackCount > 0);
  for (const t of p.tracks) {
    assert.equal(typeof t.title, 'string');
    assert.equal(typeof t.streamURL, 'string');
    assert.ok(t.streamURL.length > 0);
    assert.ok(t.artworkURL === null || typeof t.artworkURL === 'string');
    assert.equal(typeof t.publishTimestamp, 'number');
  }
});

test('feed URL: optional, written as given, names an untitled playlist', async () => {
  const untitled = '<rss><channel><item><enclosure url="a.mp3"/></item></channel></rss>';
  const cases = [
    [undefined, '', 'Playlist'],
    [null, '', 'Playlist'],
    ['https://feeds.example.com/music/u/worship/feed.xml', 'https://feeds.example.com/music/u/worship/feed.xml', 'worship'],
  ];
  for (const [url, feedURL, name] of cases) {
    const p = await lyrn.parseFeed(untitled, url);
    assert.equal(p.feedURL, feedURL);
    assert.equal(p.name, name);
    assert.deepEqual(lyrn.parseFeedSync(untitled, url), p);
  }
});

test('a Buffer is read to its length: NUL bytes are ordinary bytes', async () => {
  const plain = Buffer.from(feed(item('A', 'a.mp3'), item('B', 'b.mp3')));
  const expected = lyrn.parseFeedJsonSync(plain);
  assert.equal(JSON.parse(expected).trackCount, 2);
  const cases = [
    // A NUL first would make a C string empty.
    Buffer.concat([Buffer.from([0]), plain]),
    // A NUL between the items would cut the second one off.
    Buffer.from(feed(item('A', 'a.mp3'), '<description>x\u0000y</description>', item('B', 'b.mp3'))),
    // Trailing NULs, as in a fixed-size read buffer.
    Buffer.concat([plain, Buffer.alloc(64)]),
  ];
  for (const bytes of cases) {
    assert.equal(await lyrn.parseFeedJson(bytes), expected);
    assert.equal(lyrn.parseFeedJsonSync(bytes), expected);
  }
  // A view into a larger buffer reads only its own bytes.
  const big = Buffer.concat([Buffer.from('<item><title>X</title><enclosure url="x.mp3"/></item>'), plain, Buffer.from(item('C', 'c.mp3'))]);
  const view = big.subarray(big.indexOf('<rss>'), big.indexOf('</rss>') + 6);
  assert.equal(await lyrn.parseFeedJson(view), expected);
});

test('non-UTF-8 bytes: skipped where unread, a LyrnError where they reach the document', async () => {
  const latin1 = Buffer.concat([Buffer.from('<rss><channel><title>Mix</title><!-- '), Buffer.from([0xff, 0xfe, 0xe9]), Buffer.from(' -->'),
    Buffer.from('<description>caf'), Buffer.from([0xe9]), Buffer.from('</description>'), Buffer.from(item('A', 'a.mp3')), Buffer.from('</channel></rss>')]);
  assert.equal((await lyrn.parseFeed(latin1)).tracks[0].title, 'A');

  const badTitle = Buffer.concat([Buffer.from('<rss><channel><item><title>caf'), Buffer.from([0xe9]), Buffer.from('</title><enclosure url="a.mp3"/></item></channel></rss>')]);
  // The byte to blame, where the tool and the Python package name it too.
  const isInvalidUtf8 = (e) => e instanceof lyrn.LyrnError && e.code === 'invalid utf-8' && /not UTF-8/.test(e.message) &&
    e.offset === 30 && e.line === 1 && e.column === 31;
  await assert.rejects(lyrn.parseFeed(badTitle), isInvalidUtf8);
  await assert.rejects(lyrn.parseFeedJson(badTitle), isInvalidUtf8);
  assert.throws(() => lyrn.parseFeedSync(badTitle), isInvalidUtf8);
  assert.throws(() => lyrn.parseFeedJsonSync(badTitle), isInvalidUtf8);
  // The same feed read as Latin-1 into a string is valid UTF-8 on the way in.
  assert.equal((await lyrn.parseFeed(badTitle.toString('latin1'))).tracks[0].title, 'café');
});

test('empty and markup-free inputs give an empty playlist', async () => {
  const empty = '{"name":"Playlist","feedURL":"","artworkURL":null,"trackCount":0,"totalDuration":0.0,"tracks":[]}';
  for (const input of ['', Buffer.alloc(0), new Uint8Array(0), 'not a feed', Buffer.from([0, 0, 0])]) {
    assert.equal(await lyrn.parseFeedJson(input), empty);
    assert.equal(lyrn.parseFeedJsonSync(input), empty);
  }
});

test('parseFeed and parseFeedJson reject, never throw, on wrong arguments', async () => {
  for (const call of [() => lyrn.parseFeed(42), () => lyrn.parseFeedJson(), () => lyrn.parseFeedJson('<rss/>', 7)]) {
    let p;
    assert.doesNotThrow(() => { p = call(); });
    await assert.rejects(p, TypeError);
  }
});

test('a Buffer dropped by the caller stays alive until its conversion is done', async () => {
  // Only the pending conversion refers to these Buffers; the collector runs and
  // new Buffers of the same size take the freed memory while the pool converts.
  const gc = require('vm').runInNewContext('gc');
  const expected = lyrn.parseFeedJsonSync(makeFeed(0));
  const pending = [];
  for (let i = 0; i < 8; i++) pending.push(lyrn.parseFeedJson(makeFeed(0)));
  for (let i = 0; i < 4; i++) {
    gc();
    Buffer.alloc(makeFeed(0).length, 0x20);
  }
  for (const p of pending) assert.equal(await p, expected);
});

// About 1 MB, so that each Buffer has its own memory outside the pool.
function makeFeed(seed) {
  const items = [];
  for (let i = 0; i < 4000; i++) items.push(item(`Track ${seed + i}`, `https://cdn.example.org/${seed + i}.mp3`, '<description>' + 'x'.repeat(200) + '</description>'));
  return Buffer.from(feed(...items));
}

test('a document longer than a string can be rejects with "document too large"', () => {
  // The limit is Node's MAX_STRING_LENGTH, which index.js hands to the addon;
  // a child process hands it a small one instead, so a small feed exceeds it.
  const script = `
    const lyrn = require(${JSON.stringify(path.resolve(__dirname, '..'))});
    const native = require(process.env.LYRN_ADDON || ${JSON.stringify(path.resolve(__dirname, '..', 'build', 'Release', 'lyrn.node'))});
    native.setup(lyrn.LyrnError, 100);
    const feed = '<rss><channel><title>${'x'.repeat(120)}</title></channel></rss>';
    const seen = [];
    try { lyrn.parseFeedJsonSync(feed); } catch (e) { seen.push(e instanceof lyrn.LyrnError && e.code); }
    lyrn.parseFeedJson(feed).catch((e) => {
      seen.push(e instanceof lyrn.LyrnError && e.code);
      // A short document still fits.
      seen.push(lyrn.parseFeedJsonSync('<rss/>').length);
      process.stdout.write(JSON.stringify(seen));
    });`;
  const out = execFileSync(process.execPath, ['-e', script], { encoding: 'utf8' });
  assert.deepEqual(JSON.parse(out), ['document too large', 'document too large', 97]);
});
