# SPDX-License-Identifier: MIT
"""What the package does around the library, as the lyrn tool and the Node.js
addon do it: before a conversion, find the encoding (byte order mark, XML
declaration) and convert to UTF-8 with Python's codecs, rewrite character
reference pairs that encode one supplementary character, and optionally
repair invalid UTF-8; after a null result with no last error, name the cause
with a code and, where a byte is to blame, its offset, line and column in the
text the library was given. The tests hold the three hosts to one table of
cases (tests/hosts/cases.json in the source tree).

Bytes are not copied unless they have to change. The diagnosis runs only
after a failure.
"""

import codecs
import math
import re
from typing import Callable, List, NamedTuple, Optional, Tuple

INVALID_UTF8 = "invalid utf-8"
SURROGATE_REFERENCE = "surrogate reference"
NON_FINITE_DURATION = "non-finite duration"
UNKNOWN_ENCODING = "unknown encoding"
CANNOT_DECODE = "cannot decode"
CANNOT_WRITE = "cannot write document"

# A numeric character reference as the library reads one: '&', a name of at
# most 12 bytes ('#' and decimal digits, or '#x' and hex digits), then ';'.
_REFERENCE = re.compile(rb"&#(?:[xX]([0-9A-Fa-f]{1,10})|([0-9]{1,11}));")
# The end tag of a duration, in any letter case, whitespace allowed after "</".
_DURATION_END = re.compile(rb"</[ \t\n\v\f\r]*itunes:duration", re.IGNORECASE)
_SPACE = b" \t\n\v\f\r"
_LEADING_SPACE = re.compile(rb"[ \t\n\v\f\r]*")
_UTF8_NAMES = {"utf-8", "utf8", "us-ascii", "ascii"}
_WIDE_PREFIXES = ("utf-16", "utf16", "utf-32", "utf32", "ucs-2", "ucs-4")


class Failure(NamedTuple):
    code: str
    message: str
    position: Optional[Tuple[int, int, int]] = None  # offset, line, column


class Prepared(NamedTuple):
    text: bytes  # what the library reads
    source: Optional[str]  # the encoding it was transcoded from


def position_of(text: bytes, offset: int) -> Tuple[int, int, int]:
    """Byte `offset` with its 1-based line (LF, CR LF and a lone CR end a
    line) and column (counted in characters)."""
    head = text[:offset]
    lines = head.count(b"\n") + head.count(b"\r") - text[:offset + 1].count(b"\r\n")
    cr = head.rfind(b"\r")
    if cr >= 0 and cr + 1 == offset and text[offset:offset + 1] == b"\n":
        cr = head.rfind(b"\r", 0, cr)  # its LF lies beyond the offset: no line end yet
    tail = head[max(head.rfind(b"\n"), cr) + 1:]
    continuation = sum(tail.count(bytes([b])) for b in range(0x80, 0xC0))
    return offset, lines + 1, 1 + len(tail) - continuation - tail.count(b"\r")


def _where(position: Tuple[int, int, int]) -> str:
    return "byte offset %d (line %d, column %d)" % position


def _reference_value(match: "re.Match[bytes]") -> int:
    hexdigits, digits = match.group(1), match.group(2)
    return int(hexdigits, 16) if hexdigits is not None else int(digits)


def _codec(name: str) -> Optional[codecs.CodecInfo]:
    try:
        return codecs.lookup(name)
    except LookupError:
        return None


def unknown_encoding(name: str) -> Failure:
    return Failure(UNKNOWN_ENCODING, "encoding '%s' is not known to Python's codecs" % name)


def _transcode(data: bytes, name: str, skip: int) -> Tuple[Optional[bytes], Optional[Failure]]:
    info = _codec(name)
    if info is None:
        return None, unknown_encoding(name)
    codec = info.name
    # Without a byte order mark, UTF-16 and UTF-32 are big-endian, as iconv reads them.
    if codec in ("utf-16", "utf-32") and data[skip:skip + 2] not in (b"\xff\xfe", b"\xfe\xff"):
        codec += "-be"
    try:
        return codecs.decode(memoryview(data)[skip:], codec).encode("utf-8"), None
    except UnicodeDecodeError as exc:
        at = skip + exc.start
        done = data[skip:at].decode(codec, "replace").encode("utf-8", "surrogatepass")
        _, line, column = position_of(done, len(done))
        position = (at, line, column)
        if "truncated" in exc.reason or "unexpected end" in exc.reason:
            message = "the input ends inside a %s character at %s" % (name, _where(position))
        else:
            message = "invalid %s input at %s, byte 0x%02X" % (name, _where(position), data[at])
        return None, Failure(CANNOT_DECODE, message, position)
    except UnicodeError as exc:
        return None, Failure(CANNOT_DECODE, "the input cannot be read as %s: %s" % (name, exc))


def _signature(data: bytes) -> Tuple[Optional[str], int, bool]:
    """The encoding the first bytes show, the length of a mark to drop, and
    whether they are a UTF-8 byte order mark."""
    marks = [
        (b"\xef\xbb\xbf", None, 0),
        (b"\x00\x00\xfe\xff", "UTF-32BE", 4),
        (b"\xff\xfe\x00\x00", "UTF-32LE", 4),
        (b"\xfe\xff", "UTF-16BE", 2),
        (b"\xff\xfe", "UTF-16LE", 2),
        (b"\x00\x00\x00\x3c", "UTF-32BE", 0),
        (b"\x3c\x00\x00\x00", "UTF-32LE", 0),
    ]
    for prefix, name, skip in marks:
        if data.startswith(prefix):
            return name, skip, name is None
    # '<' and an ASCII character in UTF-16: a feed without a mark or a
    # declaration still starts with a tag.
    if len(data) >= 4 and data[0] == 0 and data[1] == 0x3C and data[2] == 0 and 0 < data[3] < 0x7F:
        return "UTF-16BE", 0, False
    if len(data) >= 4 and data[0] == 0x3C and data[1] == 0 and 0 < data[2] < 0x7F and data[3] == 0:
        return "UTF-16LE", 0, False
    return None, 0, False


def _declared_encoding(data: bytes) -> Optional[Tuple[str, int]]:
    """The encoding an XML declaration at the start names, with the offset of
    the name; reads no further than the declaration's '>'."""
    i = _LEADING_SPACE.match(data).end()  # type: ignore[union-attr]
    if data[i:i + 5] != b"<?xml" or len(data) - i < 6 or data[i + 5] not in _SPACE:
        return None
    end = data.find(b">", i)
    limit = len(data) if end < 0 else end
    k = data.find(b"encoding", i + 6, limit)
    while k >= 0:
        if data[k - 1] in _SPACE:
            j = k + 8
            while j < limit and data[j] in _SPACE:
                j += 1
            if j < limit and data[j] == ord("="):
                j += 1
                while j < limit and data[j] in _SPACE:
                    j += 1
                if j < limit and data[j] in b"\"'":
                    close = data.find(data[j:j + 1], j + 1, limit)
                    if close < 0:
                        return None
                    name = data[j + 1:close].decode("latin-1")
                    return (name, j + 1) if name else None
        k = data.find(b"encoding", k + 1, limit)
    return None


def _to_utf8(data: bytes, encoding: str) -> Tuple[Optional[bytes], Optional[str], Optional[Failure]]:
    """The bytes in UTF-8, the encoding they came from (None when they were
    not transcoded), or a failure."""
    lowered = encoding.lower()
    if lowered == "none":
        return data, None, None
    if lowered != "auto":
        if lowered in ("utf-8", "utf8"):
            return data, None, None
        text, failure = _transcode(data, encoding, 0)
        return text, encoding, failure
    name, skip, utf8_bom = _signature(data)
    if utf8_bom:
        return data, None, None  # the library skips text before the first tag
    if name is None:
        declared = _declared_encoding(data)
        if declared is None or declared[0].lower() in _UTF8_NAMES:
            return data, None, None
        name, at = declared
        if name.lower().startswith(_WIDE_PREFIXES):
            return data, None, None  # not in the bytes: they are read as UTF-8
        if _codec(name) is None:
            position = position_of(data, at)
            message = "encoding '%s' named by the XML declaration at %s is not known to Python's codecs" % (
                name, _where(position))
            return None, None, Failure(UNKNOWN_ENCODING, message, position)
    text, failure = _transcode(data, name, skip)
    return text, name, failure


def rewrite_pairs(text: bytes) -> bytes:
    """Each high surrogate reference followed at once by a low one becomes the
    one character the pair encodes."""
    if b"&#" not in text:
        return text
    pieces = []
    copied = 0
    previous = None  # a high surrogate reference waiting for its low half
    for match in _REFERENCE.finditer(text):
        value = _reference_value(match)
        if previous is not None and previous.end() == match.start() and 0xDC00 <= value <= 0xDFFF:
            high = _reference_value(previous)
            pieces.append(text[copied:previous.start()])
            pieces.append(chr(0x10000 + ((high - 0xD800) << 10) + (value - 0xDC00)).encode("utf-8"))
            copied = match.end()
            previous = None
            continue
        previous = match if 0xD800 <= value <= 0xDBFF else None
    if not pieces:
        return text
    pieces.append(text[copied:])
    return b"".join(pieces)


def _surrogate_reference(match: "re.Match[bytes]") -> bytes:
    return "\ufffd".encode("utf-8") if 0xD800 <= _reference_value(match) <= 0xDFFF else match.group(0)


def repair(text: bytes) -> bytes:
    """Every invalid UTF-8 sequence (each maximal invalid part) and every
    surrogate reference becomes U+FFFD."""
    try:
        text.decode("utf-8")
    except UnicodeDecodeError:
        text = text.decode("utf-8", "replace").encode("utf-8")
    if b"&#" in text:
        text = _REFERENCE.sub(_surrogate_reference, text)
    return text


def _spots(text: bytes, refs: bool) -> List[Tuple[int, int]]:
    """The start and end of every spot the library's writer refuses, in
    order: each maximal invalid part of a UTF-8 sequence and, with `refs`,
    each surrogate reference."""
    spots = []
    view = memoryview(text)
    at = 0
    while at < len(text):
        try:
            codecs.utf_8_decode(view[at:], "strict", True)
            break
        except UnicodeDecodeError as exc:
            spots.append((at + exc.start, at + exc.end))
            at += exc.end
    if refs and b"&#" in text:
        spots.extend(m.span() for m in _REFERENCE.finditer(text) if 0xD800 <= _reference_value(m) <= 0xDFFF)
        spots.sort()
    return spots


def _replace_spots(text: bytes, spots: List[Tuple[int, int]]) -> bytes:
    pieces = []
    copied = 0
    for start, end in spots:
        pieces.append(text[copied:start])
        pieces.append(b"\xef\xbf\xbd")
        copied = end
    pieces.append(text[copied:])
    return b"".join(pieces)


def _first_refused_spot(text: bytes, refs: bool, converts: Callable[[bytes], bool]) -> int:
    """The offset of the first spot whose bytes the library's writer refuses
    (spots in fields it never writes do not count): the smallest k for which
    the text still fails with spots 0..k as they are and the rest replaced,
    found by a galloping search and bisection, one conversion a step, only
    when there are several."""
    spots = _spots(text, refs)
    lo, hi = 0, len(spots) - 1
    # Probes 0, 1, 3, 7, ... first, so that a culprit near the start costs few
    # conversions; the text with every spot as it is fails already.
    probe = 0
    while probe < hi:
        if not converts(_replace_spots(text, spots[probe + 1:])):
            hi = probe
            break
        lo = probe + 1
        probe = min(hi, probe * 2 + 1)
    while lo < hi:
        mid = (lo + hi) // 2
        if converts(_replace_spots(text, spots[mid + 1:])):
            lo = mid + 1
        else:
            hi = mid
    return spots[lo][0]


def prepare(data: bytes, is_text: bool, encoding: str, repair_text: bool) -> Tuple[Optional[Prepared], Optional[Failure]]:
    source = None
    if not is_text:
        converted, source, failure = _to_utf8(data, encoding)
        if failure is not None or converted is None:
            return None, failure
        data = converted
    if encoding.lower() != "none":
        data = rewrite_pairs(data)
    if repair_text:
        data = repair(data)
    return Prepared(data, source), None


def _first_invalid(text: bytes) -> Optional[int]:
    try:
        text.decode("utf-8")
    except UnicodeDecodeError as exc:
        return exc.start
    return None


def _first_surrogate_reference(text: bytes) -> Optional[Tuple[int, int]]:
    for match in _REFERENCE.finditer(text):
        value = _reference_value(match)
        if 0xD800 <= value <= 0xDFFF:
            return match.start(), value
    return None


def _durations_not_finite(text: bytes, parse_duration: Callable[[bytes], float]) -> bool:
    """Whether a duration the library reads, or the sum of the positive ones,
    is not finite: each is the text between "</itunes:duration" and the '>'
    before it, read by the library's own reader."""
    total = 0.0
    for match in _DURATION_END.finditer(text):
        start = text.rfind(b">", 0, match.start()) + 1
        seconds = parse_duration(text[start:match.start()])
        if not math.isfinite(seconds):
            return True
        if seconds > 0:
            total += seconds
        if not math.isfinite(total):
            return True
    return False


def diagnose(prepared: Prepared, feed: bool, parse_duration: Callable[[bytes], float],
             converts: Callable[[bytes], bool]) -> Failure:
    """The cause of a null result with no last error. `converts` runs the
    library on a text, to tell a number from a text when both are suspect."""
    text = prepared.text
    what = "feed" if feed else "listing"
    transcoded = " of the text transcoded from %s" % prepared.source if prepared.source else ""
    bad = _first_invalid(text)
    reference = _first_surrogate_reference(text) if feed else None
    number = feed and _durations_not_finite(text, parse_duration)
    causes = (bad is not None) + (reference is not None) + number
    if causes == 0:
        return Failure(CANNOT_WRITE, "the %s could not be written, and the %s shows no cause (invalid UTF-8, a "
                       "surrogate reference, a non-finite duration): memory may have run out"
                       % ("playlist" if feed else "slug list", what))
    if number and (causes == 1 or not converts(repair(text))):
        return Failure(NON_FINITE_DURATION,
                       "a track duration or the total duration is not finite, and JSON has no such number")
    at = _first_refused_spot(text, feed, converts)
    reference = _REFERENCE.match(text, at) if feed else None
    if reference is not None:
        position = position_of(text, at)
        return Failure(SURROGATE_REFERENCE, "the character reference at %s%s stands for U+%04X, a surrogate that "
                       "UTF-8 cannot hold; pass repair=True" % (_where(position), transcoded,
                                                               _reference_value(reference)), position)
    position = position_of(text, at)
    return Failure(INVALID_UTF8, "the %s is not UTF-8: invalid sequence at %s%s, byte 0x%02X; name its "
                   "encoding with encoding=..., or pass repair=True"
                   % (what, _where(position), transcoded, text[at]), position)
