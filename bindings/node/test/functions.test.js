// SPDX-License-Identifier: MIT
// The small functions on tables of cases, their null rules, and the errors
// they throw: LyrnError with the library's code, TypeError for wrong types.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const lyrn = require('..');

const BASE = 'https://feeds.example.com/music';

test('parseDuration reads clock text, 0 for what cannot be read', () => {
  const cases = [
    ['1:16:26', 4586],
    ['3:44', 224],
    ['90', 90],
    ['3:44.5', 224.5],
    ['  3 : 44  ', 224],
    ['1:2:3:4', 3723],
    ['1:2:3x', 0],
    ['-5', 0],
    ['inf', 0],
    ['', 0],
    [null, 0],
    [undefined, 0],
  ];
  for (const [text, seconds] of cases) assert.equal(lyrn.parseDuration(text), seconds, String(text));
});

test('formatDuration writes M:SS or H:MM:SS', () => {
  const cases = [
    [224, '3:44'],
    [4586, '1:16:26'],
    [59.9, '0:59'],
    [3600, '1:00:00'],
    [90000, '25:00:00'],
    [0, '0:00'],
    [-3, '0:00'],
    [NaN, '0:00'],
    [Infinity, '0:00'],
    // The largest hour counts still fit the addon's buffer.
    [9e18, '2500000000000000:00:00'],
  ];
  for (const [seconds, text] of cases) assert.equal(lyrn.formatDuration(seconds), text, String(seconds));
});

test('parseDate gives Unix seconds, null where the library gives 0', () => {
  const cases = [
    ['Tue, 02 Jan 2024 10:00:00 +0200', 1704182400],
    ['Tue, 02 Jan 2024 10:00:00 GMT', 1704189600],
    ['02 jan 2024 10:00:00', 1704189600],
    ['2024-01-02T10:00:00+02:00', 1704189600],
    ['1969-12-31T23:59:59', -1],
    ['Tue 02 Jan 2024 10:00:00 GMT', null],
    ['2024-01-02', null],
    ['', null],
    [null, null],
  ];
  for (const [text, seconds] of cases) assert.equal(lyrn.parseDate(text), seconds, String(text));
});

test('cleanTitle cleans file-name titles', () => {
  const cases = [
    ['O_Holy_Night [4hjgkvuKES8]', 'O Holy Night'],
    ['  Plain Title  ', 'Plain Title'],
    ['a__b  c', 'a b c'],
    ['Café_Noir', 'Café Noir'],
    ['', ''],
    [null, ''],
  ];
  for (const [raw, clean] of cases) assert.equal(lyrn.cleanTitle(raw), clean, String(raw));
});

test('isValidFeedUrl checks scheme, authority and bytes', () => {
  const cases = [
    [`${BASE}/u/all/feed.xml`, true],
    ['HTTPS://a', true],
    ['http://caf\u00e9.example/', true],
    ['ftp://a/b', false],
    ['https://', false],
    ['https:///x', false],
    ['https://a b', false],
    [`https://${'a'.repeat(255)}/x`, true],
    [`https://${'a'.repeat(256)}`, false],
    // A NUL would end a C string early; it is a control byte and rejected.
    ['https://a\u0000', false],
    ['https://a\u0000b/feed.xml', false],
    ['', false],
    [null, false],
  ];
  for (const [url, ok] of cases) assert.equal(lyrn.isValidFeedUrl(url), ok, JSON.stringify(url));
});

test('buildUserFeedUrl joins base, user and slug', () => {
  assert.equal(lyrn.buildUserFeedUrl(BASE, 'user-123', 'all'), `${BASE}/user-123/all/feed.xml`);
  assert.equal(lyrn.buildUserFeedUrl(`${BASE}///`, 'user-123', 'all'), `${BASE}/user-123/all/feed.xml`);
  assert.equal(lyrn.buildUserFeedUrl(BASE, '.hidden', 'Röck'), `${BASE}/.hidden/Röck/feed.xml`);
});

test('buildUserFeedUrl throws LyrnError with the library code, checked in order', () => {
  const cases = [
    [[BASE, '../etc', 'all'], 'invalid user_id'],
    [['ftp://x', '../etc', '..'], 'invalid base_url'],
    [[BASE, 'u', 'a b'], 'invalid slug'],
    [[BASE, 'u', ''], 'invalid slug'],
    [[null, 'u', 'all'], 'invalid base_url'],
    [[BASE, undefined, 'all'], 'invalid user_id'],
    // Text after a NUL must not be dropped: "a\0/../x" is not the safe "a".
    [[BASE, 'a\u0000/../x', 'all'], 'invalid user_id'],
    [[BASE, 'u', 'all\u0000'], 'invalid slug'],
    [[`${BASE}\u0000`, 'u', 'all'], 'invalid base_url'],
  ];
  for (const [args, code] of cases) {
    assert.throws(
      () => lyrn.buildUserFeedUrl(...args),
      (e) => e instanceof lyrn.LyrnError && e instanceof Error && e.name === 'LyrnError' && e.code === code,
      JSON.stringify(args),
    );
  }
  // The message names the field and quotes the value.
  assert.throws(() => lyrn.buildUserFeedUrl(BASE, '../etc', 'all'), /^LyrnError: invalid user_id: "\.\.\/etc" must be/);
  // A failure leaves nothing behind for the next call on the same thread.
  assert.equal(lyrn.buildUserFeedUrl(BASE, 'u', 'all'), `${BASE}/u/all/feed.xml`);
});

test('discoverSlugs lists the feed folders of a listing', () => {
  const link = (name, q = '"') => `<a href=${q}./${name}/${q}>${name}</a>\n`;
  const cases = [
    [link('worship') + link('video') + link('all'), ['all', 'worship']],
    ["href='./a/'", ['a']],
    [link('Rock') + link('rock') + link('Rock') + link('Videos') + link('VIDEO'), ['Rock', 'rock', 'Videos']],
    [link('a') + link('b') + link('ALL'), ['ALL', 'a', 'b']],
    [link('..') + link('a b') + link('a%20b') + '<a href="./x/y/">', []],
    [Buffer.from(link('one') + '\u0000' + link('two')), ['one', 'two']],
    ['', []],
    [Buffer.alloc(0), []],
    [null, []],
  ];
  for (const [html, slugs] of cases) assert.deepEqual(lyrn.discoverSlugs(html), slugs, String(html));
});

test('discoverSlugs rejects a slug that is not UTF-8', () => {
  const html = Buffer.concat([Buffer.from('<a href="./ok/">'), Buffer.from('<a href="./caf'), Buffer.from([0xe9]), Buffer.from('/">')]);
  assert.throws(
    () => lyrn.discoverSlugs(html),
    (e) => e instanceof lyrn.LyrnError && e.code === 'invalid utf-8' && /not UTF-8/.test(e.message) && e.offset === 30,
  );
});

test('arguments of the wrong type throw TypeError', () => {
  const calls = [
    () => lyrn.parseDuration(5),
    () => lyrn.parseDuration('3:44\u0000junk'),
    () => lyrn.parseDate({}),
    () => lyrn.parseDate('2024-01-02T10:00:00\u0000'),
    () => lyrn.cleanTitle(['a']),
    () => lyrn.cleanTitle('a\u0000b'),
    () => lyrn.formatDuration('224'),
    () => lyrn.formatDuration(),
    () => lyrn.isValidFeedUrl(42),
    () => lyrn.buildUserFeedUrl(BASE, 7, 'all'),
    () => lyrn.discoverSlugs(42),
    () => lyrn.parseFeedSync(),
    () => lyrn.parseFeedSync(new Uint16Array(4)),
    () => lyrn.parseFeedSync('<rss/>', 5),
    () => lyrn.parseFeedSync('<rss/>', 'https://a/b\u0000c'),
    () => lyrn.parseFeedSync('<rss/>', null, { encoding: 5 }),
    () => lyrn.parseFeedJsonSync('<rss/>', null, { repair: 'yes' }),
    () => lyrn.parseFeedSync('<rss/>', null, 'ISO-8859-1'),
    () => lyrn.discoverSlugs('', { encoding: null }),
  ];
  for (const call of calls) assert.throws(call, TypeError, call.toString());
});

test('selftest and versions', () => {
  assert.equal(lyrn.selftest(), 0);
  assert.equal(lyrn.version(), '1.0.0');
  assert.equal(lyrn.abiVersion(), 1);
  const pkg = require('../package.json');
  assert.equal(pkg.version, lyrn.version(), 'the package carries the library version');
});
