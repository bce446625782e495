#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Converts every feed in a folder to a playlist on a thread pool.

    python3 convert_folder.py FEEDS [--out PLAYLISTS] [--base-url URL] [--threads N]

Reads FEEDS/*.xml and *.rss, converts each with lyrn.parse_feed_json on N
threads (default: the number of cores) and prints one line per feed and a
summary. With --out, writes each playlist to PLAYLISTS/NAME.json. With
--base-url, a feed file NAME.xml is taken to come from BASE/NAME/feed.xml, so
a feed without a channel title is named after its file.
Exit status: 0 when every feed converted, 1 when one did not, 2 on bad usage.
"""

import argparse
import json
import os
import pathlib
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from typing import NamedTuple, Optional

import lyrn


class Result(NamedTuple):
    path: pathlib.Path
    size: int
    tracks: int
    duration: float
    error: Optional[str]


def convert(path: pathlib.Path, out: Optional[pathlib.Path], base_url: Optional[str]) -> Result:
    try:
        data = path.read_bytes()
    except OSError as exc:
        return Result(path, 0, 0, 0.0, exc.strerror or str(exc))
    url = "%s/%s/feed.xml" % (base_url.rstrip("/"), path.stem) if base_url else None
    try:
        text = lyrn.parse_feed_json(data, url)
    except lyrn.LyrnError as exc:
        return Result(path, len(data), 0, 0.0, str(exc))
    document = json.loads(text)
    if out is not None:
        (out / (path.stem + ".json")).write_text(text + "\n", encoding="utf-8")
    return Result(path, len(data), document["trackCount"], document["totalDuration"], None)


def main() -> int:
    ap = argparse.ArgumentParser(description="Convert every feed in a folder to a JSON playlist.")
    ap.add_argument("feeds", type=pathlib.Path, help="folder of .xml and .rss feeds")
    ap.add_argument("--out", type=pathlib.Path, help="folder for the playlists (NAME.json)")
    ap.add_argument("--base-url", help="feeds come from BASE/NAME/feed.xml")
    ap.add_argument("--threads", type=int, default=os.cpu_count() or 1)
    args = ap.parse_args()
    if not args.feeds.is_dir() or args.threads < 1:
        ap.error("FEEDS must be a folder and --threads at least 1")
    if args.base_url and not lyrn.is_valid_feed_url(args.base_url):
        ap.error("--base-url is not an http(s) URL")
    if args.out is not None:
        args.out.mkdir(parents=True, exist_ok=True)
    paths = sorted(p for p in args.feeds.iterdir() if p.suffix.lower() in (".xml", ".rss") and p.is_file())

    start = time.perf_counter()
    with ThreadPoolExecutor(max_workers=args.threads) as pool:
        results = list(pool.map(lambda p: convert(p, args.out, args.base_url), paths))
    seconds = time.perf_counter() - start

    for r in results:
        if r.error is None:
            print("%-40s %6d tracks  %10s" % (r.path.name, r.tracks, lyrn.format_duration(r.duration)))
        else:
            print("%-40s failed: %s" % (r.path.name, r.error))
    failed = [r for r in results if r.error is not None]
    size = sum(r.size for r in results)
    print("%d feeds, %d converted, %d failed; %d tracks, %s in all; %.2f MB in %.3f s on %d threads"
          % (len(results), len(results) - len(failed), len(failed), sum(r.tracks for r in results),
             lyrn.format_duration(sum(r.duration for r in results)), size / 1e6, seconds, args.threads))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
