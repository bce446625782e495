// SPDX-License-Identifier: MIT
// lyrn: podcast-style RSS feeds of music channels to JSON playlists, through
// the native addon. parseFeed and parseFeedJson convert on libuv's thread
// pool; everything else runs on the calling thread and returns at once.
// Feed and listing bytes are prepared as the lyrn tool prepares them: their
// encoding found and converted to UTF-8, character reference pairs that
// encode one character rewritten, and, on request, invalid UTF-8 repaired.
'use strict';

const path = require('path');
const { constants } = require('buffer');

// LYRN_ADDON names another build of the addon (the tests use it).
const native = require(process.env.LYRN_ADDON || path.join(__dirname, 'build', 'Release', 'lyrn.node'));

/**
 * An Error with a `code`: the library's reason ("invalid user_id", ...) or one of the hosts' ("invalid utf-8",
 * "surrogate reference", "non-finite duration", "document too large", "unknown encoding", "cannot decode"),
 * and, where a byte is to blame, its `offset`, `line` and `column` (else null).
 */
class LyrnError extends Error {
  constructor(message, code, offset = null, line = null, column = null) {
    super(message);
    this.name = 'LyrnError';
    this.code = code;
    this.offset = offset;
    this.line = line;
    this.column = column;
  }
}
native.setup(LyrnError, constants.MAX_STRING_LENGTH);

// The options as the native side takes them: an encoding name or undefined,
// a boolean or undefined.
function optionArgs(options, fn) {
  if (options === undefined || options === null) return [undefined, undefined];
  if (typeof options !== 'object') throw new TypeError(`${fn}: options must be an object`);
  const { encoding, repair } = options;
  if (encoding !== undefined && typeof encoding !== 'string') throw new TypeError(`${fn}: options.encoding must be a string`);
  if (repair !== undefined && typeof repair !== 'boolean') throw new TypeError(`${fn}: options.repair must be a boolean`);
  return [encoding, repair];
}

function parseFeedJson(data, feedUrl, options) {
  try {
    return native.parseFeedJson(data, feedUrl, ...optionArgs(options, 'parseFeed'));
  } catch (e) {
    return Promise.reject(e);
  }
}

async function parseFeed(data, feedUrl, options) {
  return JSON.parse(await parseFeedJson(data, feedUrl, options));
}

function parseFeedJsonSync(data, feedUrl, options) {
  return native.parseFeedJsonSync(data, feedUrl, ...optionArgs(options, 'parseFeedSync'));
}

function parseFeedSync(data, feedUrl, options) {
  return JSON.parse(parseFeedJsonSync(data, feedUrl, options));
}

function discoverSlugs(html, options) {
  return JSON.parse(native.discoverSlugsJson(html, ...optionArgs(options, 'discoverSlugs')));
}

module.exports = {
  LyrnError,
  parseFeed,
  parseFeedJson,
  parseFeedSync,
  parseFeedJsonSync,
  parseDuration: native.parseDuration,
  formatDuration: native.formatDuration,
  parseDate: native.parseDate,
  cleanTitle: native.cleanTitle,
  isValidFeedUrl: native.isValidFeedUrl,
  buildUserFeedUrl: native.buildUserFeedUrl,
  discoverSlugs,
  selftest: native.selftest,
  version: native.version,
  abiVersion: native.abiVersion,
};
