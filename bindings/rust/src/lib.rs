// SPDX-License-Identifier: MIT
//! Turn podcast-style RSS feeds of music channels into JSON playlists.
//!
//! A safe API over the lyrn C library (libquorvane-velotune-feed-rss-parser).
//! Every function may run on any number of threads at once: the library keeps
//! no state beyond each thread's last error, which this crate reads on the
//! thread that made the call. Every string the library returns is copied into
//! Rust and released with `lyrn_free` before the function returns.
//!
//! ```no_run
//! let feed = std::fs::read("feed.xml").unwrap();
//! let playlist = lyrn::parse_feed(&feed, Some("https://feeds.example.com/music/demo/all/feed.xml")).unwrap();
//! for track in &playlist.tracks {
//!     println!("{} ({} s) {}", track.title, track.duration, track.stream_url);
//! }
//! ```

mod ffi;
mod json;

use std::ffi::{CStr, CString};
use std::fmt;
use std::os::raw::{c_char, c_void};
use std::ptr;

/// What kind of failure an [`Error`] is.
#[derive(Debug, Clone, Copy, PartialEq, Eq, Hash)]
#[non_exhaustive]
pub enum ErrorKind {
    /// The base URL failed [`is_valid_feed_url`] ("invalid base_url").
    InvalidBaseUrl,
    /// The user id is not a single safe path segment ("invalid user_id").
    InvalidUserId,
    /// The slug is not a single safe path segment ("invalid slug").
    InvalidSlug,
    /// The library ran out of memory ("out of memory").
    OutOfMemory,
    /// The document could not be written: the input holds text that is not
    /// valid UTF-8, or a duration that is not finite.
    NotWritable,
    /// An argument holds a NUL character, which the library cannot read past.
    InteriorNul,
    /// A last-error text this crate does not know.
    Other,
}

/// A call the library refused or could not complete. Its message is the
/// library's last-error text where it left one, else a sentence saying why.
#[derive(Debug, Clone, PartialEq, Eq)]
pub struct Error {
    kind: ErrorKind,
    message: String,
}

impl Error {
    fn new(kind: ErrorKind, message: &str) -> Error {
        Error { kind, message: message.to_owned() }
    }

    /// Reads the calling thread's last error; `fallback` when it is empty.
    fn last(fallback: &str) -> Error {
        Error::last_or(ErrorKind::NotWritable, fallback)
    }

    fn last_or(empty_kind: ErrorKind, fallback: &str) -> Error {
        let text = last_error();
        let kind = match text.as_str() {
            "" => return Error::new(empty_kind, fallback),
            "invalid base_url" => ErrorKind::InvalidBaseUrl,
            "invalid user_id" => ErrorKind::InvalidUserId,
            "invalid slug" => ErrorKind::InvalidSlug,
            "out of memory" => ErrorKind::OutOfMemory,
            _ => ErrorKind::Other,
        };
        Error { kind, message: text }
    }

    pub fn kind(&self) -> ErrorKind {
        self.kind
    }

    /// The library's message, such as "invalid user_id".
    pub fn message(&self) -> &str {
        &self.message
    }
}

impl fmt::Display for Error {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        f.write_str(&self.message)
    }
}

impl std::error::Error for Error {}

const FEED_NOT_WRITTEN: &str =
    "the playlist could not be written: the feed is not valid UTF-8 or holds a non-finite number";
const SLUGS_NOT_WRITTEN: &str = "the slug list could not be written: a slug is not valid UTF-8";

/// Copies a string the library returned and releases it; None for NULL.
fn take(p: *mut c_char) -> Option<String> {
    if p.is_null() {
        return None;
    }
    // SAFETY: the library returned a NUL-terminated heap string that is ours
    // until it is released here, once.
    let text = unsafe { CStr::from_ptr(p) }.to_string_lossy().into_owned();
    unsafe { ffi::lyrn_free(p as *mut c_void) };
    Some(text)
}

/// The bytes to hand over with their length. An empty slice goes as a
/// pointer to a NUL with length 0, which the library measures as empty (the
/// slice's own dangling pointer would be read as a C string).
fn span(bytes: &[u8]) -> (*const c_char, usize) {
    if bytes.is_empty() {
        (b"\0".as_ptr() as *const c_char, 0)
    } else {
        (bytes.as_ptr() as *const c_char, bytes.len())
    }
}

fn c_text(text: &str) -> Result<CString, Error> {
    CString::new(text).map_err(|_| Error::new(ErrorKind::InteriorNul, "the text holds a NUL character"))
}

/// For the URL checks, which reject every control byte: a NUL becomes 0x01,
/// which fails the same check, so the library still judges the whole text
/// and gives its own message.
fn c_segment(text: &str) -> CString {
    CString::new(text.replace('\0', "\u{1}")).expect("no NUL is left")
}

/// The library's version, "1.0.0".
pub fn version() -> &'static str {
    // SAFETY: a static NUL-terminated ASCII string that is never released.
    unsafe { CStr::from_ptr(ffi::lyrn_version()) }.to_str().unwrap_or("")
}

/// The ABI version, the major number of the shared library's SONAME: 1.
pub fn abi_version() -> i32 {
    unsafe { ffi::lyrn_abi_version() }
}

/// The calling thread's last-error text, "" when none. Only
/// [`parse_feed_json`], [`discover_slugs_json`] and [`build_user_feed_url`]
/// (and the functions built on them) change it.
pub fn last_error() -> String {
    // SAFETY: the library's per-thread text, valid until this thread's next
    // call that writes it; copied at once.
    unsafe { CStr::from_ptr(ffi::lyrn_last_error()) }.to_string_lossy().into_owned()
}

/// Converts an RSS 2.0 feed with iTunes podcast tags into the compact JSON
/// playlist document, exactly as the library writes it:
///
/// ```text
/// {"name":...,"feedURL":...,"artworkURL":...|null,"trackCount":N,"totalDuration":S,
///  "tracks":[{"title":...,"artist":...,"duration":S,"streamURL":...,
///             "artworkURL":...|null,"publishTimestamp":T,"byteLength":B},...]}
/// ```
///
/// One track for every item with an enclosure URL not seen before. Malformed
/// markup is never an error: what cannot be read is skipped. The feed is read
/// with its exact length, so a NUL byte in it is an ordinary byte.
///
/// `feed_url` is where the feed was fetched (None is written as ""): the
/// document's "feedURL" and, when the channel has no title, the source of the
/// playlist's name (the folder that holds the feed file, else "Playlist").
///
/// Fails with [`ErrorKind::NotWritable`] when the feed holds text that is not
/// valid UTF-8 or a duration that is not finite, and with
/// [`ErrorKind::InteriorNul`] when `feed_url` holds a NUL.
pub fn parse_feed_json(feed: &[u8], feed_url: Option<&str>) -> Result<String, Error> {
    let url = feed_url.map(c_text).transpose()?;
    let (p, n) = span(feed);
    let doc = unsafe { ffi::lyrn_parse_feed_json(p, n, url.as_ref().map_or(ptr::null(), |u| u.as_ptr())) };
    take(doc).ok_or_else(|| Error::last(FEED_NOT_WRITTEN))
}

/// One track of a [`Playlist`].
#[derive(Debug, Clone, PartialEq)]
pub struct Track {
    pub title: String,
    /// The item's author, "" when none.
    pub artist: String,
    /// Seconds; 0 when the item gives none.
    pub duration: f64,
    pub stream_url: String,
    /// The item's artwork, else the channel's, else None.
    pub artwork_url: Option<String>,
    /// Unix seconds; 0 when the item has no readable date.
    pub publish_timestamp: i64,
    /// The enclosure's length in bytes; 0 when none.
    pub byte_length: i64,
}

/// The playlist document of [`parse_feed_json`] as Rust values.
#[derive(Debug, Clone, PartialEq)]
pub struct Playlist {
    pub name: String,
    pub feed_url: String,
    pub artwork_url: Option<String>,
    /// The sum of the tracks' positive durations, in seconds.
    pub total_duration: f64,
    pub tracks: Vec<Track>,
}

fn text_of(v: Option<&json::Value>) -> Option<String> {
    match v {
        Some(json::Value::String(s)) => Some(s.clone()),
        _ => None,
    }
}

fn optional_text_of(v: Option<&json::Value>) -> Option<Option<String>> {
    match v {
        Some(json::Value::Null) => Some(None),
        other => text_of(other).map(Some),
    }
}

fn number_of<T: std::str::FromStr>(v: Option<&json::Value>) -> Option<T> {
    match v {
        Some(json::Value::Number(n)) => n.parse().ok(),
        _ => None,
    }
}

fn playlist_from(doc: &json::Value) -> Option<Playlist> {
    let mut tracks = Vec::new();
    match doc.get("tracks") {
        Some(json::Value::Array(items)) => {
            for t in items {
                tracks.push(Track {
                    title: text_of(t.get("title"))?,
                    artist: text_of(t.get("artist"))?,
                    duration: number_of(t.get("duration"))?,
                    stream_url: text_of(t.get("streamURL"))?,
                    artwork_url: optional_text_of(t.get("artworkURL"))?,
                    publish_timestamp: number_of(t.get("publishTimestamp"))?,
                    byte_length: number_of(t.get("byteLength"))?,
                });
            }
        }
        _ => return None,
    }
    Some(Playlist {
        name: text_of(doc.get("name"))?,
        feed_url: text_of(doc.get("feedURL"))?,
        artwork_url: optional_text_of(doc.get("artworkURL"))?,
        total_duration: number_of(doc.get("totalDuration"))?,
        tracks,
    })
}

/// [`parse_feed_json`] read into a [`Playlist`]. Same arguments and errors.
pub fn parse_feed(feed: &[u8], feed_url: Option<&str>) -> Result<Playlist, Error> {
    let text = parse_feed_json(feed, feed_url)?;
    json::parse(&text)
        .as_ref()
        .and_then(playlist_from)
        .ok_or_else(|| Error::new(ErrorKind::Other, "the library's playlist document could not be read"))
}

/// Reads a duration, "SS", "MM:SS" or "HH:MM:SS", each field a non-negative
/// number ("1.5" counts; whitespace around fields is allowed; a trailing ':'
/// is ignored, and so is a ':' after the third field with everything after
/// it, "1:2:3:4" is 3723.0; any other text after a field makes the text
/// unreadable, "1:2:3 x" is 0.0): `parse_duration("3:44")` is 224.0.
/// Returns 0.0 for text that cannot be read, one holding a NUL included (0.0
/// also means a zero duration).
pub fn parse_duration(text: &str) -> f64 {
    match CString::new(text) {
        Ok(c) => unsafe { ffi::lyrn_parse_duration(c.as_ptr()) },
        Err(_) => 0.0,
    }
}

/// Writes seconds as clock text: "M:SS" below an hour, else "H:MM:SS" (hours
/// not wrapped); "0:00" for zero, negative, NaN and infinite values.
/// Fractions are dropped: `format_duration(4586.9)` is "1:16:26".
pub fn format_duration(seconds: f64) -> String {
    // The longest text, a 64-bit hour count and ":MM:SS", is 27 bytes.
    let mut buf = [0u8; 64];
    let n = unsafe { ffi::lyrn_format_duration(seconds, buf.as_mut_ptr() as *mut c_char, buf.len()) };
    assert!(n >= 0, "clock text always fits in 64 bytes");
    String::from_utf8_lossy(&buf[..n as usize]).into_owned()
}

/// Reads a publication date in the RFC 2822 form
/// ("Tue, 02 Jan 2024 10:00:00 +0200"; named zones are taken as UTC) or the
/// ISO 8601 form ("2024-01-02T10:00:00", taken as UTC) into Unix seconds.
/// None for text that cannot be read (one holding a NUL included); the
/// library reports that as 0, so 1970-01-01 00:00:00 UTC also gives None.
pub fn parse_rfc2822_date(text: &str) -> Option<i64> {
    let c = CString::new(text).ok()?;
    match unsafe { ffi::lyrn_parse_rfc2822_date(c.as_ptr()) } {
        0 => None,
        t => Some(t),
    }
}

/// Cleans a track title that is a file name: trims it, removes one bracketed
/// 11-character identifier at its end, turns underscores into spaces and
/// collapses runs of separators: `clean_title("O_Holy_Night [4hjgkvuKES8]")`
/// is "O Holy Night". Fails for a title holding a NUL and when memory runs out.
pub fn clean_title(title: &str) -> Result<String, Error> {
    let c = c_text(title)?;
    take(unsafe { ffi::lyrn_clean_title(c.as_ptr()) }).ok_or_else(|| Error::new(ErrorKind::OutOfMemory, "out of memory"))
}

/// Checks a feed URL: "http://" or "https://" in any case, an authority of 1
/// to 255 bytes that does not start with '/', '?' or '#', and no byte of 0x20
/// or below or 0x7F anywhere (NUL included). "" is not valid.
pub fn is_valid_feed_url(url: &str) -> bool {
    let c = c_segment(url);
    unsafe { ffi::lyrn_validate_feed_url(c.as_ptr()) == 0 }
}

/// Builds `base/user/slug/feed.xml`, with the trailing '/' characters of
/// `base` removed first:
/// `build_user_feed_url("https://feeds.example.com/music", "user-123", "all")`
/// is "https://feeds.example.com/music/user-123/all/feed.xml".
///
/// `base` must pass [`is_valid_feed_url`]; `user` and `slug` must be single
/// safe path segments (not empty, not "." or "..", no control character,
/// space, '#', '%', '/', '?', '\\' or DEL). Fails with the library's message,
/// checked in this order: "invalid base_url", "invalid user_id",
/// "invalid slug"; or "out of memory".
pub fn build_user_feed_url(base: &str, user: &str, slug: &str) -> Result<String, Error> {
    let (b, u, s) = (c_segment(base), c_segment(user), c_segment(slug));
    take(unsafe { ffi::lyrn_build_user_feed_url(b.as_ptr(), u.as_ptr(), s.as_ptr()) })
        .ok_or_else(|| Error::last_or(ErrorKind::Other, "the feed URL could not be built"))
}

/// Finds a user's feed slugs in the HTML index page of the user's directory
/// and returns them as the library's compact JSON array, such as
/// `["all","worship"]`: every link `href="./NAME/"` whose NAME is a safe path
/// segment, in order of first appearance, without exact duplicates and
/// without a folder named "video" in any case; the first "all" is moved to
/// the front. Fails with [`ErrorKind::NotWritable`] when a slug is not valid
/// UTF-8.
pub fn discover_slugs_json(html: &[u8]) -> Result<String, Error> {
    // An empty listing goes as NULL with length 0, which the library reads as empty.
    let (p, n) = if html.is_empty() { (ptr::null(), 0) } else { span(html) };
    take(unsafe { ffi::lyrn_discover_slugs_json(p, n) }).ok_or_else(|| Error::last(SLUGS_NOT_WRITTEN))
}

/// [`discover_slugs_json`] read into a list.
pub fn discover_slugs(html: &[u8]) -> Result<Vec<String>, Error> {
    let text = discover_slugs_json(html)?;
    let unreadable = || Error::new(ErrorKind::Other, "the library's slug list could not be read");
    match json::parse(&text) {
        Some(json::Value::Array(items)) => items
            .into_iter()
            .map(|v| match v {
                json::Value::String(s) => Ok(s),
                _ => Err(unreadable()),
            })
            .collect(),
        _ => Err(unreadable()),
    }
}

/// Runs the library's ten fixed checks and stops at the first that fails.
/// Returns 0 when all pass, else the number (1 to 10) of the failing check.
pub fn selftest() -> i32 {
    unsafe { ffi::lyrn_selftest() }
}
