# SPDX-License-Identifier: MIT
"""Each function on a table of cases: results, types, None and NUL handling."""

import math
import re

import pytest

import lyrn
from lyrn import _native

from conftest import ROOT


@pytest.mark.parametrize(
    "text, seconds",
    [
        ("3:44", 224.0),
        ("1:16:26", 4586.0),
        ("90", 90.0),
        ("3:44.5", 224.5),
        ("  3 : 44  ", 224.0),
        ("1:2:3:4", 3723.0),
        ("1e305:0:0", math.inf),
        ("abc", 0.0),
        ("-5", 0.0),
        ("", 0.0),
        (None, 0.0),
    ],
)
def test_parse_duration(text, seconds):
    result = lyrn.parse_duration(text)
    assert type(result) is float
    assert result == seconds


@pytest.mark.parametrize(
    "seconds, text",
    [
        (224, "3:44"),
        (4586.9, "1:16:26"),
        (59.99, "0:59"),
        (3600, "1:00:00"),
        (360000, "100:00:00"),
        (0, "0:00"),
        (-1, "0:00"),
        (math.nan, "0:00"),
        (math.inf, "0:00"),
        (1e300, "2562047788015215:30:07"),
    ],
)
def test_format_duration(seconds, text):
    assert lyrn.format_duration(seconds) == text


@pytest.mark.parametrize(
    "text, unix",
    [
        ("Tue, 02 Jan 2024 10:00:00 +0200", 1704182400),
        ("Tue, 02 Jan 2024 10:00:00 GMT", 1704189600),
        ("Tue, 02 Jan 2024 10:00:00 EST", 1704189600),
        ("2024-01-02T10:00:00", 1704189600),
        # Beyond 32 bits and before 1970: the result is a signed 64-bit number.
        ("2100-01-01T00:00:00", 4102444800),
        ("1969-12-31T23:59:59", -1),
        ("yesterday", None),
        ("", None),
        (None, None),
        # The library's "unreadable" is 0, so the epoch itself reads as None.
        ("Thu, 01 Jan 1970 00:00:00 GMT", None),
    ],
)
def test_parse_date(text, unix):
    assert lyrn.parse_date(text) == unix


@pytest.mark.parametrize(
    "raw, clean",
    [
        ("O_Holy_Night [4hjgkvuKES8]", "O Holy Night"),
        ("  Café_del__Mar [4hjgkvuKES8] ", "Café del Mar"),
        ("a [4hjgkvuKES8] [4hjgkvuKES8]", "a [4hjgkvuKES8]"),
        ("Track-01 [abc]", "Track-01 [abc]"),
        ("x_-_y", "x - y"),
        ("   ", ""),
        (None, ""),
    ],
)
def test_clean_title(raw, clean):
    assert lyrn.clean_title(raw) == clean


@pytest.mark.parametrize(
    "url, valid",
    [
        ("https://feeds.example.com/music/u/all/feed.xml", True),
        ("HTTP://x", True),
        ("https://é.example/", True),
        ("https://" + "a" * 255, True),
        ("https://" + "a" * 256, False),
        ("ftp://x", False),
        ("http://", False),
        ("http:///x", False),
        ("https://a b", False),
        ("https://a/\x7f", False),
        # A NUL is a control byte like any other: the URL is not valid, even
        # though the C function would have read only "https://a".
        ("https://a\0b", False),
        ("", False),
        (None, False),
    ],
)
def test_is_valid_feed_url(url, valid):
    assert lyrn.is_valid_feed_url(url) is valid


@pytest.mark.parametrize(
    "base, user, slug, url",
    [
        ("https://feeds.example.com/music", "user-123", "all",
         "https://feeds.example.com/music/user-123/all/feed.xml"),
        ("https://feeds.example.com/music///", "u", "Rock",
         "https://feeds.example.com/music/u/Rock/feed.xml"),
        ("https://h", "ü", "…", "https://h/ü/…/feed.xml"),
    ],
)
def test_build_user_feed_url(base, user, slug, url):
    assert lyrn.build_user_feed_url(base, user, slug) == url
    assert lyrn.is_valid_feed_url(url)


@pytest.mark.parametrize(
    "base, user, slug, message",
    [
        ("https://feeds.example.com/music", "../etc", "all", "invalid user_id"),
        ("https://feeds.example.com/music", "u", "a/b", "invalid slug"),
        ("ftp://feeds.example.com", "u", "all", "invalid base_url"),
        # Checked in the order base, user, slug.
        ("nope", "..", "..", "invalid base_url"),
        ("https://h", "", "", "invalid user_id"),
        (None, "u", "all", "invalid base_url"),
        ("https://h", None, "all", "invalid user_id"),
        ("https://h", "u", None, "invalid slug"),
        # A NUL makes the whole argument invalid; it is not cut short there.
        ("https://h\0/x", "u", "all", "invalid base_url"),
        ("https://h", "u\0", "all", "invalid user_id"),
        ("https://h", "u", "all\0", "invalid slug"),
    ],
)
def test_build_user_feed_url_errors(base, user, slug, message):
    with pytest.raises(lyrn.LyrnError) as info:
        lyrn.build_user_feed_url(base, user, slug)
    assert str(info.value) == info.value.code == message
    assert isinstance(info.value, ValueError)


@pytest.mark.parametrize(
    "html, slugs",
    [
        ((ROOT / "tests" / "cli" / "listing.html").read_bytes(), ["all", "worship", "Rock"]),
        ("<a href='./x/'><a href=\"./VIDEO/\"><a href='./x/'><a href='./all/'>", ["all", "x"]),
        # Passed with its length: the second link after the NUL still counts.
        (b'<a href="./a/">\0<a href="./b/">', ["a", "b"]),
        ('<a href="./café/">'.encode("utf-8"), ["café"]),
        (bytearray(b'<a href="./m/">'), ["m"]),
        (b"<p>no links</p>", []),
        (b"", []),
        (None, []),
    ],
)
def test_discover_slugs(html, slugs):
    assert lyrn.discover_slugs(html) == slugs


def test_discover_slugs_refuses_a_slug_that_is_not_utf8():
    with pytest.raises(lyrn.LyrnError, match="^the listing is not UTF-8: invalid sequence at byte offset 11 ") as info:
        lyrn.discover_slugs(b'<a href="./\xff/">')
    assert (info.value.code, info.value.offset, info.value.line, info.value.column) == ("invalid utf-8", 11, 1, 12)
    assert lyrn.discover_slugs(b'<a href="./\xff/">', repair=True) == ["\ufffd"]


@pytest.mark.parametrize("call", [lyrn.parse_duration, lyrn.parse_date, lyrn.clean_title])
def test_text_with_a_nul_is_refused(call):
    # The C function would read only "3:44" and answer for a text the caller
    # did not give.
    with pytest.raises(lyrn.LyrnError, match="NUL"):
        call("3:44\0 and more")


@pytest.mark.parametrize(
    "call",
    [
        lambda: lyrn.parse_duration(224),
        lambda: lyrn.clean_title(b"x"),
        lambda: lyrn.is_valid_feed_url(b"https://x"),
        lambda: lyrn.parse_feed(123),
        lambda: lyrn.discover_slugs(["a"]),
    ],
)
def test_wrong_argument_types_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


def test_versions_match_the_header():
    header = (ROOT / "include" / "lyrn.h").read_text()
    parts = [re.search(r"#define LYRN_VERSION_%s (\d+)" % p, header).group(1) for p in ("MAJOR", "MINOR", "PATCH")]
    assert lyrn.__version__ == ".".join(parts)
    assert lyrn.abi_version == 1 == int(parts[0])


def test_selftest_passes():
    assert lyrn.selftest() == 0


def test_every_export_has_a_prototype():
    exports = (ROOT / "tests" / "exports.txt").read_text().split()
    assert sorted(name for name, _, _ in _native._PROTOTYPES) == sorted(exports)

