#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Times lyrn.parse_feed against the Python feed parsers on generated feeds.

The feeds are the C benchmark's own (bench/feed_gen.cpp, same seed), written
to files by bench/lyrn_feed_gen. Every parser gets the feed's bytes and
returns Python objects; each figure is the median wall time over rounds,
shown as MB/s (10^6 bytes per second), with ratios against each peer
measured in the same run. Then lyrn on 1 and 2 threads of a
ThreadPoolExecutor.

    LYRN_LIBRARY=build/libquorvane-velotune-feed-rss-parser.so.1 \\
        PYTHONPATH=bindings/python python3 bindings/python/bench/bench_parsers.py

The peers are Debian's python3-podcastparser and python3-feedparser; a
missing one is reported and left out. --quick runs small feeds only;
--threads-only runs only the 1- and 2-thread comparison.
"""

import argparse
import io
import json
import os
import pathlib
import platform
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from typing import Any, Callable, Dict, List, Optional, Tuple

try:
    import lyrn
except ImportError as exc:
    sys.exit("bench_parsers: %s" % exc)

ROOT = pathlib.Path(__file__).resolve().parents[3]
FEED_URL = "https://feeds.example.com/music/bench/all/feed.xml"

# (label, generator kind, size argument)
FULL_FEEDS = [
    ("rich 100 KB", "rich", 100_000),
    ("rich 1 MB", "rich", 1_000_000),
    ("rich 10 MB", "rich", 10_000_000),
    ("minimal 10k items", "minimal", 10_000),
]
QUICK_FEEDS = [("rich 100 KB", "rich", 100_000), ("minimal 1k items", "minimal", 1_000)]


def find_generator(explicit: Optional[str]) -> str:
    """bench/lyrn_feed_gen: the given path, LYRN_FEED_GEN, or built in build-bench."""
    for candidate in (explicit, os.environ.get("LYRN_FEED_GEN")):
        if candidate:
            return candidate
    build = ROOT / "build-bench"
    gen = build / "bench" / "lyrn_feed_gen"
    if not gen.exists():
        print("building %s ..." % gen, file=sys.stderr)
        subprocess.run(["bash", str(ROOT / "scripts" / "install-bench-deps.sh")], check=True)
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        "-DLYRN_BENCH=ON"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", str(build), "--target", "lyrn_feed_gen", "-j2"], check=True,
                       stdout=subprocess.DEVNULL)
    return str(gen)


def generate(gen: str, folder: pathlib.Path, feeds: List[Tuple[str, str, int]]) -> List[Tuple[str, bytes]]:
    out = []
    for label, kind, size in feeds:
        path = folder / ("%s-%d.xml" % (kind, size))
        subprocess.run([gen, kind, str(size), str(path)], check=True, stdout=subprocess.DEVNULL)
        out.append((label, path.read_bytes()))
    return out


def peers() -> Dict[str, Callable[[bytes], Any]]:
    found: Dict[str, Callable[[bytes], Any]] = {
        "lyrn.parse_feed": lambda data: lyrn.parse_feed(data, FEED_URL),
        "lyrn.parse_feed_json": lambda data: lyrn.parse_feed_json(data, FEED_URL),
    }
    try:
        import podcastparser  # type: ignore[import]

        found["podcastparser %s" % podcastparser.__version__] = (
            lambda data: podcastparser.parse(FEED_URL, io.BytesIO(data)))
    except ImportError:
        print("- podcastparser is not installed (Debian: python3-podcastparser); left out")
    try:
        import feedparser  # type: ignore[import]

        found["feedparser %s" % feedparser.__version__] = lambda data: feedparser.parse(data)
    except ImportError:
        print("- feedparser is not installed (Debian: python3-feedparser); left out")
    return found


def track_count(name: str, result: Any) -> int:
    """Items with an enclosure, as each parser reports them: a check that all
    of them read the same feed."""
    if name == "lyrn.parse_feed_json":
        return int(json.loads(result)["trackCount"])
    if name.startswith("lyrn"):
        return int(result["trackCount"])
    if name.startswith("podcastparser"):
        return sum(1 for e in result["episodes"] if e.get("enclosures"))
    return sum(1 for e in result.entries if e["enclosures"])


def median_seconds(fn: Callable[[bytes], Any], data: bytes, budget: float, min_rounds: int) -> float:
    """The median CPU time of this thread over rounds: other programs on a
    busy machine slow the wall clock, not this figure."""
    times: List[float] = []
    spent = 0.0
    while len(times) < min_rounds or (spent < budget and len(times) < 1000):
        t0 = time.thread_time()
        fn(data)
        dt = time.thread_time() - t0
        times.append(dt)
        spent += dt
    return statistics.median(times)


def threaded(fn: Callable[[bytes], Any], data: bytes, jobs: int, threads: int) -> Tuple[float, float]:
    """Wall time of `jobs` conversions on a pool of `threads` workers, and the
    process's CPU time over that wall time (near 2 when two threads really
    run at once; at most about 1 if the GIL serialised them)."""
    with ThreadPoolExecutor(max_workers=threads) as pool:
        list(pool.map(fn, [data] * threads))  # start the workers before timing
        t0, c0 = time.perf_counter(), time.process_time()
        list(pool.map(fn, [data] * jobs))
        wall = time.perf_counter() - t0
        return wall, (time.process_time() - c0) / wall


def speed_up(fn: Callable[[bytes], Any], data: bytes, jobs: int, rounds: int) -> Tuple[float, float, float]:
    """Medians of 1- and 2-thread wall times, measured in alternate rounds so
    that a change in the machine's load hits both alike, and the median CPU
    use of the 2-thread rounds."""
    one, two, busy = [], [], []
    for _ in range(rounds):
        one.append(threaded(fn, data, jobs, 1)[0])
        wall, cpu = threaded(fn, data, jobs, 2)
        two.append(wall)
        busy.append(cpu)
    return statistics.median(one), statistics.median(two), statistics.median(busy)


def print_threads(parsers: Dict[str, Callable[[bytes], Any]], label: str, data: bytes, quick: bool) -> None:
    jobs = 16 if quick else 64
    rounds = 3 if quick else 7
    print("\nThreads: %d conversions of the %s feed on a ThreadPoolExecutor, median wall time of %d"
          " alternate rounds (load average now %.2f)" % (jobs, label, rounds, os.getloadavg()[0]))
    for n in ("lyrn.parse_feed_json", "lyrn.parse_feed"):
        one, two, busy = speed_up(parsers[n], data, jobs, rounds)
        print("- %s: 1 thread %.3f s, 2 threads %.3f s: speed-up %.2fx (CPU/wall on 2 threads %.2f)"
              % (n, one, two, one / two, busy))


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--quick", action="store_true", help="small feeds only, a few seconds")
    ap.add_argument("--gen", help="path of bench/lyrn_feed_gen (default: build-bench)")
    ap.add_argument("--threads-only", action="store_true", help="only the 1- and 2-thread runs of lyrn")
    ap.add_argument("--budget", type=float, default=1.0, help="seconds per parser and feed (default 1)")
    args = ap.parse_args()
    feeds = QUICK_FEEDS if args.quick else FULL_FEEDS
    budget = 0.2 if args.quick else args.budget

    print("## Python feed parsers: lyrn against the Python peers\n")
    print("- %s %s on %s, %d cores online; library %s" % (
        platform.python_implementation(), platform.python_version(), platform.machine(),
        os.cpu_count() or 0, lyrn.__version__))
    print("- MB/s: input bytes over the median CPU time of the calling thread, over rounds (at least 3,")
    print("  about %.1f s per parser and feed); MB = 10^6 bytes; load average at start %s" % (
        budget, " ".join("%.2f" % x for x in os.getloadavg())))
    parsers = peers()
    with tempfile.TemporaryDirectory() as tmp:
        cases = generate(find_generator(args.gen), pathlib.Path(tmp), feeds)

    if args.threads_only:
        label, data = cases[-2] if len(cases) > 2 else cases[0]
        print_threads(parsers, label, data, args.quick)
        return 0
    names = list(parsers)
    print("\n| feed | size | tracks | " + " | ".join("%s MB/s" % n for n in names) + " |")
    print("|---|---|---|" + "---|" * len(names))
    ratios: Dict[str, List[str]] = {n: [] for n in names[2:]}
    for label, data in cases:
        counts = {n: track_count(n, fn(data)) for n, fn in parsers.items()}
        rates = {}
        for n, fn in parsers.items():
            rates[n] = len(data) / 1e6 / median_seconds(fn, data, budget, 3)
        tracks = "/".join(str(c) for c in dict.fromkeys(counts.values()))
        print("| %s | %.2f MB | %s | %s |" % (label, len(data) / 1e6, tracks,
                                              " | ".join("%.1f" % rates[n] for n in names)))
        for n in names[2:]:
            ratios[n].append("%s: %.0fx" % (label, rates["lyrn.parse_feed"] / rates[n]))
    print("\nlyrn.parse_feed (document read into Python objects) against each peer, same feeds, same run:")
    for n, items in ratios.items():
        print("- %s: %s" % (n, ", ".join(items)))

    label, data = cases[-2] if len(cases) > 2 else cases[0]
    print_threads(parsers, label, data, args.quick)
    return 0


if __name__ == "__main__":
    sys.exit(main())
