// SPDX-License-Identifier: MIT
// Types of the `lyrn` package: podcast-style RSS feeds of music channels to
// JSON playlists, through the native lyrn library.

/**
 * Feed bytes: a Buffer or Uint8Array is read to its length (NUL bytes are ordinary bytes) and its encoding found
 * as {@link ConvertOptions} says; a string is already text: it is encoded as UTF-8 and never transcoded.
 */
export type FeedInput = Buffer | Uint8Array | string;

/** How feed and listing bytes are prepared before the library reads them. */
export interface ConvertOptions {
  /**
   * "auto" (the default): a byte order mark, else the XML declaration's encoding, else UTF-8, converted to UTF-8
   * with iconv; an encoding name iconv knows ("ISO-8859-1", "windows-1252", "UTF-16LE", ...); or "none", the bytes
   * as they are. Except under "none", a character reference pair that encodes one supplementary character
   * ("&#55357;&#56832;") is rewritten as that character.
   */
  encoding?: string;
  /** Replace every invalid UTF-8 sequence and every remaining surrogate reference with U+FFFD. Default false. */
  repair?: boolean;
}

/** One playlist entry: one item of the feed with an enclosure URL not seen before. */
export interface Track {
  /** The item's title, else the stream URL's last segment without its extension, cleaned as {@link cleanTitle} does. */
  title: string;
  /** The item's artist (itunes:author or author); "" when the feed names none. */
  artist: string;
  /** Seconds, as {@link parseDuration} reads itunes:duration; 0 when there is none. */
  duration: number;
  /** The enclosure URL, never empty. */
  streamURL: string;
  /** The item's itunes:image href, or null. */
  artworkURL: string | null;
  /** Unix seconds of pubDate, 0 when there is none or it cannot be read. */
  publishTimestamp: number;
  /** The enclosure length in bytes, 0 when there is none. Beyond 2^53 a number loses precision: use the JSON text then. */
  byteLength: number;
}

/** The playlist document. */
export interface Playlist {
  /** The channel title, else the folder that holds the feed file in feedURL, else "Playlist". */
  name: string;
  /** The feedUrl argument, "" when none was given. */
  feedURL: string;
  /** The channel's itunes:image href, or null. */
  artworkURL: string | null;
  /** tracks.length. */
  trackCount: number;
  /** The sum of the positive track durations, in seconds. */
  totalDuration: number;
  /** The tracks in the order in which their items close. */
  tracks: Track[];
}

/**
 * The error every failure of the library rejects or throws with. Wrong argument types throw a
 * TypeError instead.
 */
export class LyrnError extends Error {
  /**
   * The library's own reason: "null xml", "null html", "invalid base_url", "invalid user_id", "invalid slug",
   * "out of memory"; or, when the library wrote no document, the cause found in the input: "invalid utf-8",
   * "surrogate reference", "non-finite duration", "document too large" (longer than a JavaScript string can
   * be), "unknown encoding", "cannot decode" (bytes not valid in the named encoding), or "cannot write
   * document" when none of these shows. The same codes as the lyrn tool and the Python package.
   */
  readonly code: string;
  /** The byte to blame, counted in the text the library was given (after transcoding); null when none is. */
  readonly offset: number | null;
  /** Its 1-based line, or null. */
  readonly line: number | null;
  /** Its 1-based column in characters, or null. */
  readonly column: number | null;
  constructor(message: string, code: string, offset?: number | null, line?: number | null, column?: number | null);
}

/**
 * Converts a feed into a playlist on libuv's thread pool; the calling thread only parses the result.
 * A Buffer or Uint8Array is read in place and kept alive until the promise settles: do not change it,
 * or transfer its ArrayBuffer, before then (the rule of fs.write). A string is encoded to UTF-8 first and
 * never transcoded. Bytes are prepared as `options` says.
 * Malformed markup is never an error: what cannot be read is skipped.
 * @param data the feed's bytes
 * @param feedUrl where the feed was fetched; written as "feedURL", and its folder names the playlist
 *   when the channel has no title. Must not contain a NUL character.
 * @param options the encoding and repair, see {@link ConvertOptions}
 * @returns the playlist; rejects with a {@link LyrnError} whose code names the cause when no document can be
 *   written (see {@link LyrnError.code}), and with a TypeError for arguments of the wrong type.
 */
export function parseFeed(data: FeedInput, feedUrl?: string | null, options?: ConvertOptions): Promise<Playlist>;

/** As {@link parseFeed}, resolving with the compact JSON text of the document. */
export function parseFeedJson(data: FeedInput, feedUrl?: string | null, options?: ConvertOptions): Promise<string>;

/** As {@link parseFeed}, on the calling thread: for scripts, not for a thread that draws a window. Throws where parseFeed rejects. */
export function parseFeedSync(data: FeedInput, feedUrl?: string | null, options?: ConvertOptions): Playlist;

/** As {@link parseFeedJson}, on the calling thread. Throws where parseFeedJson rejects. */
export function parseFeedJsonSync(data: FeedInput, feedUrl?: string | null, options?: ConvertOptions): string;

/**
 * Reads a duration: "SS", "MM:SS" or "HH:MM:SS", each field a non-negative decimal number (fractions
 * count; whitespace around fields is allowed). A trailing ':' is ignored, and so is a ':' after the
 * third field with everything after it ("1:2:3:4" is 3723); any other text after a field makes the
 * text unreadable ("1:2:3 x" is 0).
 * @returns seconds; 0 for null and for text that cannot be read (0 also means a zero duration).
 * @throws TypeError when text is not a string or contains a NUL character.
 */
export function parseDuration(text: string | null | undefined): number;

/**
 * Writes seconds as clock text: "M:SS" below an hour, else "H:MM:SS" (hours not wrapped); "0:00" for
 * zero, negative, NaN and infinite values. Fractions are dropped. Values of 2^63 seconds and above are
 * written as 2^63 - 1 seconds ("2562047788015215:30:07").
 * @throws TypeError when seconds is not a number.
 */
export function formatDuration(seconds: number): string;

/**
 * Reads a publication date in the RFC 2822 form ("Tue, 02 Jan 2024 10:00:00 +0200"; named zones are
 * taken as UTC) or the ISO 8601 form ("2024-01-02T10:00:00", taken as UTC).
 * @returns Unix seconds, or null for null and for text that cannot be read (and for the epoch itself).
 * @throws TypeError when text is not a string or contains a NUL character.
 */
export function parseDate(text: string | null | undefined): number | null;

/**
 * Cleans a track title that is a file name: trims it, removes one bracketed 11-character identifier
 * at its end, turns underscores into spaces and collapses runs of separators into one space:
 * "O_Holy_Night [4hjgkvuKES8]" gives "O Holy Night". null gives "".
 * @throws TypeError when title is not a string or contains a NUL character; LyrnError "out of memory".
 */
export function cleanTitle(title: string | null | undefined): string;

/**
 * Checks a feed URL: "http://" or "https://" in any case, an authority of 1 to 255 bytes that does not
 * start with '/', '?' or '#', and no byte of 0x20 or below or 0x7F anywhere (a NUL included).
 * @returns true when acceptable; false for null and "".
 * @throws TypeError when url is neither a string nor null.
 */
export function isValidFeedUrl(url: string | null | undefined): boolean;

/**
 * Builds baseUrl + "/" + userId + "/" + slug + "/feed.xml", with the trailing '/' characters of
 * baseUrl removed first. baseUrl must pass {@link isValidFeedUrl}; userId and slug must be single safe
 * path segments (not empty, not "." or "..", no control character, space, '#', '%', '/', '?', '\\' or
 * DEL).
 * @throws LyrnError coded "invalid base_url", "invalid user_id" or "invalid slug" (checked in this
 *   order; null counts as invalid), or "out of memory"; TypeError for arguments of other types.
 */
export function buildUserFeedUrl(baseUrl: string, userId: string, slug: string): string;

/**
 * Finds a user's feed slugs in the HTML index page of the user's directory: every link href="./NAME/"
 * (or with apostrophes) whose NAME is a safe path segment, in order of first appearance, without exact
 * duplicates and without "video" in any case; the first "all" after the first place is moved to the
 * front. null gives [].
 * The listing's bytes are prepared as `options` says, as a feed's are.
 * @throws LyrnError coded "invalid utf-8" when a slug is not valid UTF-8 (or "unknown encoding",
 *   "cannot decode"); TypeError for arguments of other types.
 */
export function discoverSlugs(html: FeedInput | null | undefined, options?: ConvertOptions): string[];

/** Runs the library's ten built-in checks: 0 when all pass, else the number (1 to 10) of the first that failed. */
export function selftest(): number;

/** The library's version, "1.0.0". */
export function version(): string;

/** The library's ABI version, 1. */
export function abiVersion(): number;
