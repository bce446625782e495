// SPDX-License-Identifier: MIT
// lyrn: podcast-style RSS feeds of music channels to JSON playlists, through
// the native addon. parseFeed and parseFeedJson convert on libuv's thread
// pool; everything else runs on the calling thread and returns at once.
'use strict';

const path = require('path');

// LYRN_ADDON names another build of the addon (the tests use it).
const native = require(process.env.LYRN_ADDON || path.join(__dirname, 'build', 'Release', 'lyrn.node'));

/** An Error with a `code`: the library's reason ("invalid user_id", ...) or one of ours. */
class LyrnError extends Error {
  constructor(message, code) {
    super(message);
    this.name = 'LyrnError';
    this.code = code;
  }
}
native.setErrorClass(LyrnError);

function parseFeedJson(data, feedUrl) {
  try {
    return native.parseFeedJson(data, feedUrl);
  } catch (e) {
    return Promise.reject(e);
  }
}

async function parseFeed(data, feedUrl) {
  return JSON.parse(await parseFeedJson(data, feedUrl));
}

function parseFeedSync(data, feedUrl) {
  return JSON.parse(native.parseFeedJsonSync(data, feedUrl));
}

function discoverSlugs(html) {
  return JSON.parse(native.discoverSlugsJson(html));
}

module.exports = {
  LyrnError,
  parseFeed,
  parseFeedJson,
  parseFeedSync,
  parseFeedJsonSync: native.parseFeedJsonSync,
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
