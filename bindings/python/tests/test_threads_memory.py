# SPDX-License-Identifier: MIT
"""Four threads at once, and resident memory over 20,000 conversions."""

import os
import threading
from concurrent.futures import ThreadPoolExecutor

import lyrn

from conftest import SAMPLE_URL

# Each thread has its own failing call, so a message that crossed threads or
# outlived its call would show up as the wrong text.
BAD_URLS = [
    (("https://h", "../etc", "all"), "invalid user_id"),
    (("https://h", "u", "a?b"), "invalid slug"),
    (("mailto:x", "u", "all"), "invalid base_url"),
    (("https://h", "u", ""), "invalid slug"),
]


def test_four_threads_convert_at_once(sample_bytes):
    urls = ["https://feeds.example.com/music/t%d/all/feed.xml" % i for i in range(4)]
    expected = [lyrn.parse_feed_json(sample_bytes, url) for url in urls]
    start = threading.Barrier(4)

    def work(i: int) -> int:
        start.wait()
        bad_args, bad_message = BAD_URLS[i]
        for n in range(300):
            assert lyrn.parse_feed_json(sample_bytes, urls[i]) == expected[i]
            try:
                lyrn.build_user_feed_url(*bad_args)
            except lyrn.LyrnError as exc:
                assert str(exc) == bad_message
            else:
                raise AssertionError("no error for %r" % (bad_args,))
            assert lyrn.build_user_feed_url("https://h", "t%d" % i, "s%d" % n) == "https://h/t%d/s%d/feed.xml" % (i, n)
            assert lyrn.parse_duration("%d:%02d" % (i, n % 60)) == i * 60 + n % 60
        return i

    with ThreadPoolExecutor(max_workers=4) as pool:
        assert sorted(pool.map(work, range(4))) == [0, 1, 2, 3]


def resident_bytes() -> int:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def test_resident_memory_stays_flat_over_20000_conversions(sample_bytes):
    bad_feed = b"<rss><channel><title>\xff</title></channel></rss>"
    listing = b'<a href="./all/"><a href="./rock/">'

    def round_of_calls(n: int) -> None:
        lyrn.parse_feed_json(sample_bytes, SAMPLE_URL)
        # The other returned strings and the failure paths release theirs too.
        which = n % 4
        if which == 0:
            lyrn.clean_title("O_Holy_Night [4hjgkvuKES8]")
        elif which == 1:
            lyrn.discover_slugs(listing)
        elif which == 2:
            lyrn.build_user_feed_url("https://h", "u", "s%d" % n)
        else:
            for call in (lambda: lyrn.parse_feed(bad_feed), lambda: lyrn.build_user_feed_url("x", "u", "s")):
                try:
                    call()
                except lyrn.LyrnError:
                    pass

    document_size = len(lyrn.parse_feed_json(sample_bytes, SAMPLE_URL))
    for n in range(2000):  # allocator and interpreter warm-up
        round_of_calls(n)
    before = resident_bytes()
    for n in range(20000):
        round_of_calls(n)
    growth = resident_bytes() - before
    # A document left behind per call would add 20,000 x document_size
    # (about 100 MB); 4 MB leaves room for allocator noise only.
    print("resident memory: %.1f MB before, growth %+.2f MB over 20,000 conversions "
          "(one document is %d bytes)" % (before / 1e6, growth / 1e6, document_size))
    assert growth < 4 * 1024 * 1024
