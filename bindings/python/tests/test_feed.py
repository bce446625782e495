# SPDX-License-Identifier: MIT
"""Feed conversion: the sample feed against the tool, bytes, text and errors."""

import json
import subprocess

import pytest

import lyrn

from conftest import SAMPLE_FEED, SAMPLE_URL

def feed(*items: bytes, title: bytes = b"<title>Mix</title>") -> bytes:
    return b"<rss><channel>" + title + b"".join(items) + b"</channel></rss>"


def item(title: bytes, url: bytes) -> bytes:
    return b"<item><title>" + title + b'</title><enclosure url="' + url + b'"/></item>'


def tool_document(tool: str, *args: str) -> str:
    done = subprocess.run([tool, "feed", str(SAMPLE_FEED), *args], check=True, capture_output=True)
    return done.stdout.decode("utf-8").rstrip("\n")


@pytest.mark.parametrize("url", [SAMPLE_URL, None])
def test_sample_feed_matches_the_tool(lyrn_tool, sample_bytes, url):
    expected = tool_document(lyrn_tool, *(["--url", url] if url else []))
    assert lyrn.parse_feed_json(sample_bytes, url) == expected
    assert lyrn.parse_feed_json(sample_bytes.decode("utf-8"), url) == expected
    document = lyrn.parse_feed(sample_bytes, url)
    assert document == json.loads(expected)
    assert document["trackCount"] == len(document["tracks"]) == 12
    assert document["feedURL"] == (url or "")


@pytest.mark.parametrize(
    "data, url, name",
    [
        (feed(title=b""), "https://feeds.example.com/music/u/worship/feed.xml", "worship"),
        (feed(title=b""), None, "Playlist"),
        (feed(), "https://x/a/feed.xml", "Mix"),
    ],
)
def test_playlist_name(data, url, name):
    assert lyrn.parse_feed(data, url)["name"] == name


def test_a_nul_byte_is_an_ordinary_byte():
    data = feed(item(b"One", b"https://a/1.mp3"), b"\0", item(b"Two", b"https://a/2.mp3"))
    tracks = lyrn.parse_feed(data)["tracks"]
    assert [t["streamURL"] for t in tracks] == ["https://a/1.mp3", "https://a/2.mp3"]


@pytest.mark.parametrize(
    "data, bad",
    [
        (feed(item(b"Caf\xe9", b"https://a/1.mp3")), b"\xe9"),  # Latin-1 in a title
        (feed(title=b"<title>\xff</title>"), b"\xff"),
        (feed(item(b"ok", b"https://a/\xc3(.mp3")), b"\xc3"),  # a broken two-byte sequence in a URL
    ],
)
def test_text_that_is_not_utf8_raises(data, bad):
    offset = data.index(bad)
    with pytest.raises(lyrn.LyrnError) as info:
        lyrn.parse_feed(data)
    error = info.value
    assert (error.code, error.offset, error.line, error.column) == ("invalid utf-8", offset, 1, offset + 1)
    assert str(error).startswith("the feed is not UTF-8: invalid sequence at byte offset %d" % offset)
    with pytest.raises(ValueError):
        lyrn.parse_feed_json(data)
    # Repaired, the same feed converts.
    assert "\ufffd" in lyrn.parse_feed_json(data, repair=True)


def test_bytes_outside_the_document_do_not_matter():
    data = feed(b"<description>\xff\xfe</description>", item(b"ok", b"https://a/1.mp3"))
    assert lyrn.parse_feed(data)["trackCount"] == 1


def test_none_feed_is_the_librarys_null_xml():
    with pytest.raises(lyrn.LyrnError, match="^null xml$") as info:
        lyrn.parse_feed(None)
    assert (info.value.code, info.value.offset) == ("null xml", None)


def test_feed_url_with_a_nul_is_refused(sample_bytes):
    with pytest.raises(lyrn.LyrnError, match="NUL"):
        lyrn.parse_feed(sample_bytes, "https://x/a\0/feed.xml")


@pytest.mark.parametrize("data", [b"", "", b"not a feed", "<rss>"])
def test_empty_and_unreadable_feeds_give_an_empty_playlist(data):
    document = lyrn.parse_feed(data)
    assert (document["trackCount"], document["tracks"], document["name"]) == (0, [], "Playlist")


def test_bytes_like_input(sample_bytes):
    expected = lyrn.parse_feed_json(sample_bytes)
    assert lyrn.parse_feed_json(bytearray(sample_bytes)) == expected
    assert lyrn.parse_feed_json(memoryview(sample_bytes)) == expected


def test_an_error_message_does_not_outlive_its_call():
    with pytest.raises(lyrn.LyrnError, match="invalid user_id"):
        lyrn.build_user_feed_url("https://h", "..", "all")
    # The next failure without a message of its own must not report the old one.
    with pytest.raises(lyrn.LyrnError) as info:
        lyrn.parse_feed(feed(title=b"<title>\xff</title>"))
    assert info.value.code == "invalid utf-8"


def test_encoding_and_repair_are_checked_and_keyword_only(sample_bytes):
    with pytest.raises(TypeError):
        lyrn.parse_feed(sample_bytes, None, "auto")  # type: ignore[misc]
    with pytest.raises(TypeError):
        lyrn.parse_feed(sample_bytes, encoding=None)  # type: ignore[arg-type]
    # "none" reads the bytes as they are; for a UTF-8 feed that is the default's result.
    assert lyrn.parse_feed_json(sample_bytes, encoding="none") == lyrn.parse_feed_json(sample_bytes)


def test_a_str_declaring_latin1_is_not_transcoded_twice():
    text = '<?xml version="1.0" encoding="ISO-8859-1"?><rss><channel><title>Café</title></channel></rss>'
    assert lyrn.parse_feed(text)["name"] == "Café"
    # The same bytes are transcoded as declared, as the tool does.
    assert lyrn.parse_feed(text.encode("utf-8"))["name"] == "CafÃ©"
    assert lyrn.parse_feed(text.encode("latin-1"))["name"] == "Café"
