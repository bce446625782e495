# SPDX-License-Identifier: MIT
"""Turn podcast-style RSS feeds of music channels into playlist documents.

A thin ctypes layer over the C library libquorvane-velotune-feed-rss-parser.
The library is found through the LYRN_LIBRARY environment variable (a path),
else through the system's loader by its SONAME,
libquorvane-velotune-feed-rss-parser.so.1; when neither works, importing this
package raises ImportError.

Every function may run on any number of threads at once: ctypes releases the
GIL for the length of each C call, so conversions on a thread pool run in
parallel. Every string the library returns is copied into Python and released
at once. Failures raise LyrnError, a ValueError with a code.

Feed and listing bytes are prepared as the lyrn tool prepares them (see
parse_feed_json): their encoding is found and converted to UTF-8, character
reference pairs that encode one character are rewritten, and on request
invalid UTF-8 is repaired. A refused conversion names its cause with the
same codes, offsets, lines and columns as the tool and the Node.js package.
"""

import ctypes
import json
from typing import Any, Dict, List, Optional, Union

from . import _native, _prepare

__all__ = [
    "LyrnError",
    "abi_version",
    "build_user_feed_url",
    "clean_title",
    "discover_slugs",
    "format_duration",
    "is_valid_feed_url",
    "parse_date",
    "parse_duration",
    "parse_feed",
    "parse_feed_json",
    "selftest",
]

_lib = _native.load()

#: The library's version, "1.0.0" (read from the library, not from this package).
__version__: str = _lib.lyrn_version().decode("ascii")
#: The library's ABI version, the major number of its SONAME: 1.
abi_version: int = int(_lib.lyrn_abi_version())

#: What the functions taking bytes accept; str is encoded as UTF-8.
BytesOrText = Union[bytes, bytearray, memoryview, str]


class LyrnError(ValueError):
    """A call the library refused or could not complete.

    code: the library's last-error text where it left one ("null xml",
    "null html", "invalid base_url", "invalid user_id", "invalid slug",
    "out of memory"); for a document the library could not write, the cause
    found in the input: "invalid utf-8", "surrogate reference",
    "non-finite duration", "unknown encoding", "cannot decode" (bytes not
    valid in the named encoding), or "cannot write document" when none of
    these shows; None for an argument the library cannot take (a NUL
    character in a text).
    offset, line, column: the byte to blame, counted in the text the library
    was given (after transcoding), with its 1-based line and column; None
    where no byte is to blame.
    The message is the library's text, or a sentence saying why.
    """

    def __init__(self, message: str, code: Optional[str] = None, offset: Optional[int] = None,
                 line: Optional[int] = None, column: Optional[int] = None) -> None:
        super().__init__(message)
        self.code = code
        self.offset = offset
        self.line = line
        self.column = column

    def __reduce__(self) -> Any:
        return (type(self), (str(self), self.code, self.offset, self.line, self.column))


def _raise(failure: "_prepare.Failure") -> None:
    offset, line, column = failure.position or (None, None, None)
    raise LyrnError(failure.message, failure.code, offset, line, column)


def _library_error(fallback: str) -> LyrnError:
    text = _last_error()
    return LyrnError(text, text) if text else LyrnError(fallback, "out of memory")


def _take(ptr: Optional[int]) -> Optional[bytes]:
    """Copies a string the library returned and releases it, whatever happens."""
    if not ptr:
        return None
    try:
        return ctypes.string_at(ptr)
    finally:
        _lib.lyrn_free(ptr)


def _last_error() -> str:
    # The calling thread's own text: ctypes runs the C call on this thread.
    text: bytes = _lib.lyrn_last_error()
    return text.decode("utf-8", "replace")


def _span(data: BytesOrText, what: str) -> bytes:
    if isinstance(data, str):
        return data.encode("utf-8")
    if isinstance(data, bytes):
        return data
    if isinstance(data, (bytearray, memoryview)):
        return bytes(data)
    raise TypeError("%s must be bytes or str, not %s" % (what, type(data).__name__))


def _parse_duration_bytes(text: bytes) -> float:
    return float(_lib.lyrn_parse_duration(text))


def _prepared(data: BytesOrText, what: str, encoding: str, repair: bool) -> "_prepare.Prepared":
    """The text the library reads, or LyrnError when it cannot be made."""
    if not isinstance(encoding, str):
        raise TypeError("encoding must be str, not %s" % type(encoding).__name__)
    span = _span(data, what)
    prepared, failure = _prepare.prepare(span, isinstance(data, str), encoding, bool(repair))
    if failure is not None:
        _raise(failure)
    assert prepared is not None
    return prepared


def _converts(convert: Any) -> Any:
    """Whether the library writes a document for a text (the diagnosis asks)."""
    def run(text: bytes) -> bool:
        ptr = convert(text)
        if ptr:
            _lib.lyrn_free(ptr)
        return bool(ptr)
    return run


def _c_text(text: Optional[str], what: str) -> Optional[bytes]:
    """UTF-8 for a NUL-terminated argument. A NUL inside would end the text
    early and the library would judge only a prefix, so it is refused."""
    if text is None:
        return None
    if not isinstance(text, str):
        raise TypeError("%s must be str or None, not %s" % (what, type(text).__name__))
    encoded = text.encode("utf-8")
    if b"\0" in encoded:
        raise LyrnError("%s holds a NUL character, which the library cannot read past" % what)
    return encoded


def _c_segment(text: Optional[str], what: str) -> Optional[bytes]:
    """Like _c_text for the URL checks, which reject any control byte: a NUL
    becomes U+0001, which fails the same check, so the library still gives
    its own verdict and message for the whole text."""
    if text is None:
        return None
    if not isinstance(text, str):
        raise TypeError("%s must be str or None, not %s" % (what, type(text).__name__))
    return text.encode("utf-8").replace(b"\0", b"\x01")


def parse_feed_json(data: Optional[BytesOrText], feed_url: Optional[str] = None, *,
                    encoding: str = "auto", repair: bool = False) -> str:
    """Converts an RSS 2.0 feed with iTunes podcast tags into the compact JSON
    playlist document, as the library wrote it:

        {"name":...,"feedURL":...,"artworkURL":...|null,"trackCount":N,
         "totalDuration":S,"tracks":[{"title":...,"artist":...,"duration":S,
         "streamURL":...,"artworkURL":...|null,"publishTimestamp":T,
         "byteLength":B},...]}

    One track for every item with an enclosure URL not seen before. Malformed
    markup is never an error: what cannot be read is skipped.

    data: the feed; bytes are passed with their exact length, so a NUL inside
    is an ordinary byte; str is already text: it is encoded as UTF-8 and
    never transcoded, whatever its declaration says. None raises LyrnError
    ("null xml").
    feed_url: where the feed was fetched; None is written as "". Used for
    "feedURL" and, when the channel has no title, for the playlist name (the
    folder that holds the feed file, else "Playlist").
    encoding: "auto" (a byte order mark, else the XML declaration's encoding,
    else UTF-8), an encoding name Python's codecs know, or "none" (the bytes
    as they are). Other encodings are converted to UTF-8 first. Except under
    "none", a character reference pair that encodes one supplementary
    character ("&#55357;&#56832;") is rewritten as that character.
    repair: replace every invalid UTF-8 sequence and every remaining
    surrogate reference with U+FFFD.

    Raises LyrnError when the document cannot be written, its code naming
    the cause ("invalid utf-8", "surrogate reference", "non-finite duration",
    "unknown encoding", "cannot decode", ...) and offset, line and column the
    byte to blame.
    """
    url = _c_text(feed_url, "feed_url")
    if data is None:
        _take(_lib.lyrn_parse_feed_json(None, 0, url))
        raise _library_error("the playlist could not be written")
    prepared = _prepared(data, "data", encoding, repair)
    feed = prepared.text
    doc = _take(_lib.lyrn_parse_feed_json(feed, len(feed), url))
    if doc is None:
        why = _last_error()
        if why:
            raise LyrnError(why, why)
        _raise(_prepare.diagnose(prepared, True, _parse_duration_bytes,
                                 _converts(lambda text: _lib.lyrn_parse_feed_json(text, len(text), url))))
    assert doc is not None
    return doc.decode("utf-8")


def parse_feed(data: Optional[BytesOrText], feed_url: Optional[str] = None, *,
               encoding: str = "auto", repair: bool = False) -> Dict[str, Any]:
    """parse_feed_json() read into Python objects: a dict with the keys name,
    feedURL, artworkURL (None when absent), trackCount, totalDuration (float
    seconds) and tracks, a list of dicts with title, artist, duration,
    streamURL, artworkURL, publishTimestamp (Unix seconds, 0 when none) and
    byteLength (0 when none). Same arguments and errors as parse_feed_json().
    """
    result: Dict[str, Any] = json.loads(parse_feed_json(data, feed_url, encoding=encoding, repair=repair))
    return result


def parse_duration(text: Optional[str]) -> float:
    """Reads a duration, "SS", "MM:SS" or "HH:MM:SS", each field a
    non-negative decimal number (fractions count; whitespace around fields is
    allowed; a trailing ':' is ignored, and so is a ':' after the third field
    with everything after it, "1:2:3:4" == 3723.0; any other text after a
    field makes the text unreadable: "1:2:3 x" gives 0.0).

    Returns seconds, or 0.0 for None and for text that cannot be read (0.0
    also means a zero duration): parse_duration("3:44") == 224.0.
    Raises LyrnError for a text holding a NUL character.
    """
    return float(_lib.lyrn_parse_duration(_c_text(text, "text")))


def format_duration(seconds: float) -> str:
    """Writes seconds as clock text: "M:SS" below an hour, else "H:MM:SS"
    (hours not wrapped); "0:00" for zero, negative, NaN and infinite values.
    Fractions are dropped: format_duration(4586.9) == "1:16:26". Values of
    2^63 seconds and above are written as 2^63 - 1 seconds
    ("2562047788015215:30:07").
    """
    # The longest text is "2562047788015215:30:07", 22 bytes and a NUL.
    buf = ctypes.create_string_buffer(32)
    n = _lib.lyrn_format_duration(float(seconds), buf, len(buf))
    if n < 0:
        raise LyrnError("the duration %r does not fit in clock text" % (seconds,))
    return buf.raw[:n].decode("ascii")


def parse_date(text: Optional[str]) -> Optional[int]:
    """Reads a publication date in the RFC 2822 form
    ("Tue, 02 Jan 2024 10:00:00 +0200"; named zones are taken as UTC) or the
    ISO 8601 form ("2024-01-02T10:00:00", taken as UTC).

    Returns Unix seconds, or None for None and for text that cannot be read.
    The library reports an unreadable date as 0, so a date of exactly
    1970-01-01 00:00:00 UTC also gives None.
    Raises LyrnError for a text holding a NUL character.
    """
    seconds = int(_lib.lyrn_parse_rfc2822_date(_c_text(text, "text")))
    return None if seconds == 0 else seconds


def clean_title(text: Optional[str]) -> str:
    """Cleans a track title that is a file name: trims it, removes one
    bracketed 11-character identifier at its end ("[4hjgkvuKES8]"), turns
    underscores into spaces and collapses runs of separators into one space:
    clean_title("O_Holy_Night [4hjgkvuKES8]") == "O Holy Night".

    None gives "". Raises LyrnError for a text holding a NUL character, and
    when the library runs out of memory.
    """
    result = _take(_lib.lyrn_clean_title(_c_text(text, "text")))
    if result is None:
        raise LyrnError("out of memory", "out of memory")
    return result.decode("utf-8", "surrogateescape")


def is_valid_feed_url(url: Optional[str]) -> bool:
    """Checks a feed URL: "http://" or "https://" in any case, an authority of
    1 to 255 bytes that does not start with '/', '?' or '#', and no byte of
    0x20 or below or 0x7F anywhere (a NUL character included). None and ""
    are not valid.
    """
    return int(_lib.lyrn_validate_feed_url(_c_segment(url, "url"))) == 0


def build_user_feed_url(base: Optional[str], user: Optional[str], slug: Optional[str]) -> str:
    """Builds base + "/" + user + "/" + slug + "/feed.xml", with the trailing
    '/' characters of base removed first: build_user_feed_url(
    "https://feeds.example.com/music", "user-123", "all") ==
    "https://feeds.example.com/music/user-123/all/feed.xml".

    base must pass is_valid_feed_url(); user and slug must be single safe
    path segments (not empty, not "." or "..", no control character, space,
    '#', '%', '/', '?', '\\\\' or DEL). None arguments are invalid.
    Raises LyrnError with the library's message, checked in this order:
    "invalid base_url", "invalid user_id", "invalid slug"; or "out of memory".
    """
    ptr = _lib.lyrn_build_user_feed_url(
        _c_segment(base, "base"), _c_segment(user, "user"), _c_segment(slug, "slug")
    )
    url = _take(ptr)
    if url is None:
        raise _library_error("the feed URL could not be built")
    return url.decode("utf-8")


def discover_slugs(html: Optional[BytesOrText], *, encoding: str = "auto", repair: bool = False) -> List[str]:
    """Finds a user's feed slugs in the HTML index page of the user's
    directory: every link href="./NAME/" (or with apostrophes) whose NAME is a
    safe path segment, in order of first appearance, without exact duplicates
    and without "video" in any case; the first "all" after the first place is
    moved to the front. Returns [] when there is none.

    html: bytes are passed with their exact length; str is encoded as UTF-8;
    None is an empty listing. encoding and repair work as for
    parse_feed_json().
    Raises LyrnError when the list cannot be written (code "invalid utf-8"
    for a slug that is not valid UTF-8; "unknown encoding", "cannot decode").
    """
    prepared = None if html is None else _prepared(html, "html", encoding, repair)
    listing = None if prepared is None else prepared.text
    # An empty listing is passed as NULL with length 0, which the library
    # reads as empty (a non-NULL pointer with length 0 would be measured).
    ptr = _lib.lyrn_discover_slugs_json(listing or None, len(listing) if listing else 0)
    text = _take(ptr)
    if text is None:
        why = _last_error()
        if why or prepared is None:
            raise _library_error("the slug list could not be written")
        _raise(_prepare.diagnose(prepared, False, _parse_duration_bytes,
                                 _converts(lambda t: _lib.lyrn_discover_slugs_json(t or None, len(t)))))
    assert text is not None
    slugs: List[str] = json.loads(text.decode("utf-8"))
    return slugs


def selftest() -> int:
    """Runs the library's ten fixed checks and stops at the first that fails.
    Returns 0 when all pass, else the number (1 to 10) of the failing check.
    """
    return int(_lib.lyrn_selftest())
