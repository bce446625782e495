// SPDX-License-Identifier: MIT
// Converts the benchmark's generated feeds (the .xml files in FEED_DIR, each
// beside the library's .json document) with the lyrn addon and with three
// JavaScript feed parsers, checks that every converter finds the same number
// of tracks, and prints MB/s and the addon's speed-up over each parser.
// Every converter goes from the feed to a JavaScript object: the addon
// through its document and JSON.parse, fast-xml-parser through a DOM walk
// that extracts the playlist's fields, rss-parser and podcast-partytime
// through their own feed objects. The JavaScript parsers get the feed already
// decoded to a string (not timed); the addon gets the bytes.
// Usage: node bench.js FEED_DIR [--quick] [--max-mb N]
'use strict';

process.env.PARTYTIME_LOG = 'silent';

const fs = require('fs');
const path = require('path');
const lyrn = require('..');
const { XMLParser, XMLValidator } = require('fast-xml-parser');
const RssParser = require('rss-parser');
const partytime = require('podcast-partytime');

const FEED_URL = 'https://feeds.example.com/music/bench/all/feed.xml';

function parseArgs(argv) {
  const args = { dir: null, quick: false, maxMB: 16 };
  for (let i = 0; i < argv.length; i++) {
    if (argv[i] === '--quick') args.quick = true;
    else if (argv[i] === '--max-mb' && i + 1 < argv.length) args.maxMB = Number(argv[++i]);
    else if (!args.dir) args.dir = argv[i];
    else throw new Error(`unknown argument ${argv[i]}`);
  }
  if (!args.dir) {
    process.stderr.write('usage: node bench.js FEED_DIR [--quick] [--max-mb N]\n');
    process.exit(2);
  }
  return args;
}

// ---- fast-xml-parser with the playlist's field extraction ------------------

const fxp = new XMLParser({
  ignoreAttributes: false,
  parseTagValue: false,
  parseAttributeValue: false,
  isArray: (name, jpath) => jpath === 'rss.channel.item',
});

const text = (v) => {
  if (Array.isArray(v)) v = v[0];
  if (typeof v === 'string') return v.trim();
  if (v && typeof v === 'object' && typeof v['#text'] === 'string') return v['#text'].trim();
  return '';
};
const attr = (v, name) => {
  if (Array.isArray(v)) v = v[v.length - 1];
  return v && typeof v === 'object' && typeof v[`@_${name}`] === 'string' ? v[`@_${name}`] : '';
};

function duration(s) {
  if (!s) return 0;
  const parts = s.split(':', 3).map(Number);
  if (parts.some((n) => !Number.isFinite(n) || n < 0)) return 0;
  return parts.reduce((acc, n) => acc * 60 + n, 0);
}

function cleanTitle(t) {
  return t.trim().replace(/\s*\[[A-Za-z0-9_-]{11}\]$/, '').replace(/[_\s]+/g, ' ').trim();
}

function titleFromUrl(url) {
  let last = url.slice(url.lastIndexOf('/') + 1);
  const dot = last.lastIndexOf('.');
  if (dot > 0) last = last.slice(0, dot);
  return last || 'Track';
}

function fxpPlaylist(xml) {
  const channel = fxp.parse(xml).rss.channel;
  const seen = new Set();
  const tracks = [];
  let total = 0;
  for (const item of channel.item || []) {
    const url = attr(item.enclosure, 'url');
    if (!url || seen.has(url)) continue;
    seen.add(url);
    const d = duration(text(item['itunes:duration']));
    if (d > 0) total += d;
    const date = Date.parse(text(item.pubDate));
    tracks.push({
      title: cleanTitle(text(item.title) || titleFromUrl(url)),
      artist: text(item['itunes:author']) || text(item.author),
      duration: d,
      streamURL: url,
      artworkURL: attr(item['itunes:image'], 'href') || null,
      publishTimestamp: Number.isNaN(date) ? 0 : Math.floor(date / 1000),
      byteLength: Number(attr(item.enclosure, 'length')) || 0,
    });
  }
  return {
    name: text(channel.title) || 'Playlist',
    feedURL: FEED_URL,
    artworkURL: attr(channel['itunes:image'], 'href') || null,
    trackCount: tracks.length,
    totalDuration: total,
    tracks,
  };
}

// ---- the converters --------------------------------------------------------

const uniqueUrls = (urls) => new Set(urls.filter(Boolean)).size;
const rss = new RssParser();

const CONVERTERS = [
  {
    name: 'lyrn parseFeedSync',
    run: (c) => lyrn.parseFeedSync(c.bytes, FEED_URL),
    tracks: (p) => p.tracks.length,
  },
  {
    name: 'lyrn await parseFeed',
    run: (c) => lyrn.parseFeed(c.bytes, FEED_URL),
    tracks: (p) => p.tracks.length,
  },
  {
    // The document text alone, without JSON.parse: not an object, so not in the ratios' base.
    name: 'lyrn parseFeedJsonSync (text only)',
    run: (c) => lyrn.parseFeedJsonSync(c.bytes, FEED_URL),
    tracks: (json) => JSON.parse(json).tracks.length,
  },
  {
    name: 'fast-xml-parser',
    run: (c) => fxpPlaylist(c.text),
    tracks: (p) => p.tracks.length,
  },
  {
    name: 'rss-parser',
    run: (c) => rss.parseString(c.text),
    tracks: (f) => uniqueUrls(f.items.map((i) => i.enclosure && i.enclosure.url)),
  },
  {
    name: 'podcast-partytime',
    // Items without a guid are kept, as every other converter keeps them.
    run: (c) => partytime.parseFeed(c.text, { allowMissingGuid: true }),
    tracks: (f) => (f ? uniqueUrls(f.items.map((i) => i.enclosure && i.enclosure.url)) : 0),
  },
];

// podcast-partytime writes a console warning for every item without a guid;
// the benchmark times the parsing, not the console.
function quietly(fn) {
  const warn = console.warn;
  console.warn = () => {};
  try {
    return fn();
  } finally {
    console.warn = warn;
  }
}

async function timeOnce(conv, c) {
  const t0 = process.hrtime.bigint();
  const out = await quietly(() => conv.run(c));
  const ms = Number(process.hrtime.bigint() - t0) / 1e6;
  return { ms, out };
}

const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  const m = s.length >> 1;
  return s.length % 2 ? s[m] : (s[m - 1] + s[m]) / 2;
};

// Rounds interleave the converters, so a slower phase of the machine touches all of them alike.
async function measure(c, settings) {
  const samples = CONVERTERS.map(() => []);
  const spent = CONVERTERS.map(() => 0);
  const counts = [];
  for (let k = 0; k < CONVERTERS.length; k++) {
    const { out } = await timeOnce(CONVERTERS[k], c); // warm-up and check
    counts.push(CONVERTERS[k].tracks(out));
  }
  for (let round = 0; round < settings.maxRounds; round++) {
    let busy = false;
    for (let k = 0; k < CONVERTERS.length; k++) {
      if (round >= settings.minRounds && spent[k] >= settings.budgetMs) continue;
      busy = true;
      const { ms } = await timeOnce(CONVERTERS[k], c);
      samples[k].push(ms);
      spent[k] += ms;
    }
    if (!busy) break;
  }
  return CONVERTERS.map((conv, k) => ({ name: conv.name, ms: median(samples[k]), runs: samples[k].length, tracks: counts[k] }));
}

function loadFeeds(dir, maxMB) {
  const feeds = [];
  const skipped = [];
  for (const file of fs.readdirSync(dir).filter((f) => f.endsWith('.xml')).sort()) {
    const bytes = fs.readFileSync(path.join(dir, file));
    if (bytes.length > maxMB * 1e6) {
      skipped.push(`${file} (${(bytes.length / 1e6).toFixed(1)} MB)`);
      continue;
    }
    const doc = JSON.parse(fs.readFileSync(path.join(dir, file.replace(/\.xml$/, '.json')), 'utf8'));
    feeds.push({ file, bytes, text: bytes.toString('utf8'), expected: doc.trackCount });
  }
  // Rich feeds first, then by size.
  feeds.sort((a, b) => (a.file[0] === b.file[0] ? a.bytes.length - b.bytes.length : a.file < b.file ? 1 : -1));
  return { feeds, skipped };
}

// How long the event loop stands still while a converter works: a 5 ms
// interval timer notes its longest gap. The synchronous converters run one
// conversion per macrotask, so the timer gets its turns between them.
async function loopStall(run, count) {
  let last = process.hrtime.bigint();
  let maxGap = 0;
  let ticks = 0;
  const timer = setInterval(() => {
    const now = process.hrtime.bigint();
    maxGap = Math.max(maxGap, Number(now - last) / 1e6);
    last = now;
    ticks++;
  }, 5);
  const t0 = process.hrtime.bigint();
  await run(count);
  const total = Number(process.hrtime.bigint() - t0) / 1e6;
  const now = process.hrtime.bigint();
  maxGap = Math.max(maxGap, Number(now - last) / 1e6);
  clearInterval(timer);
  return { total, maxGap, ticks };
}

const oneByOne = (fn) => async (count) => {
  for (let i = 0; i < count; i++) await new Promise((resolve) => setImmediate(() => resolve(quietly(fn))));
};

async function printStalls(feeds, count) {
  const c = feeds.filter((f) => f.file.startsWith('rich-')).pop();
  if (!c) return;
  const runs = [
    ['lyrn parseFeed, all at once', (n) => Promise.all(Array.from({ length: n }, () => lyrn.parseFeed(c.bytes, FEED_URL)))],
    ['lyrn parseFeedJson, all at once', (n) => Promise.all(Array.from({ length: n }, () => lyrn.parseFeedJson(c.bytes, FEED_URL)))],
    ['lyrn parseFeed, one in flight', async (n) => { for (let i = 0; i < n; i++) await lyrn.parseFeed(c.bytes, FEED_URL); }],
    ['lyrn parseFeedSync', oneByOne(() => lyrn.parseFeedSync(c.bytes, FEED_URL))],
    ['fast-xml-parser', oneByOne(() => fxpPlaylist(c.text))],
    ['rss-parser', oneByOne(() => rss.parseString(c.text))],
    ['podcast-partytime', oneByOne(() => partytime.parseFeed(c.text, { allowMissingGuid: true }))],
  ];
  console.log(`\n### The event loop during ${count} conversions of ${c.file} (${(c.bytes.length / 1e6).toFixed(2)} MB)\n`);
  console.log('| converter | total ms | 5 ms timer turns | longest stall ms |');
  console.log('|---|---|---|---|');
  for (const [name, run] of runs) {
    const r = await loopStall(run, count);
    console.log(`| ${name} | ${r.total.toFixed(0)} | ${r.ticks} | ${r.maxGap.toFixed(1)} |`);
  }
}

async function main() {
  const args = parseArgs(process.argv.slice(2));
  const settings = args.quick
    ? { budgetMs: 150, minRounds: 3, maxRounds: 15 }
    : { budgetMs: 1500, minRounds: 5, maxRounds: 100 };
  const { feeds, skipped } = loadFeeds(args.dir, args.maxMB);
  const pkg = (name) => JSON.parse(fs.readFileSync(path.join(__dirname, 'node_modules', name, 'package.json'), 'utf8')).version;
  console.log(`## Node.js: the lyrn addon against JavaScript feed parsers${args.quick ? ' (quick)' : ''}\n`);
  console.log(`- Node ${process.version}, library ${lyrn.version()}; fast-xml-parser ${pkg('fast-xml-parser')}, ` +
    `rss-parser ${pkg('rss-parser')}, podcast-partytime ${pkg('podcast-partytime')}`);
  console.log(`- ${require('os').cpus().length} cores online, ${require('os').cpus()[0].model}`);
  console.log('- each figure: the median wall time of one conversion, feed to JavaScript object, over interleaved ' +
    'rounds; MB/s of feed bytes; "lyrn x" = that converter\'s time / parseFeedSync\'s time');
  if (skipped.length) console.log(`- larger than ${args.maxMB} MB, not run: ${skipped.join(', ')}`);
  console.log('\n| feed | size | tracks | converter | ms | MB/s | lyrn x |');
  console.log('|---|---|---|---|---|---|---|');
  let mismatches = 0;
  for (const c of feeds) {
    // fast-xml-parser's own check that the benchmark's feeds are well-formed XML.
    if (XMLValidator.validate(c.text) !== true) throw new Error(`${c.file} is not well-formed`);
    const rows = await measure(c, settings);
    const base = rows[0].ms;
    for (const r of rows) {
      const agree = r.tracks === c.expected ? '' : ` (found ${r.tracks} tracks, not ${c.expected})`;
      if (agree) mismatches++;
      const mbs = c.bytes.length / 1e6 / (r.ms / 1e3);
      console.log(`| ${c.file.replace(/\.xml$/, '')} | ${(c.bytes.length / 1e6).toFixed(2)} MB | ${c.expected} | ` +
        `${r.name}${agree} | ${r.ms.toFixed(2)} | ${mbs.toFixed(1)} | ${(r.ms / base).toFixed(1)} |`);
    }
  }
  await printStalls(feeds, args.quick ? 4 : 20);
  if (mismatches) {
    console.log(`\n${mismatches} converter runs found another track count`);
    process.exitCode = 1;
  } else {
    console.log('\nEvery converter found the same number of tracks in every feed.');
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
