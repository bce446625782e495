#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Converts a folder (or a list) of stored feeds into playlists on a Dask cluster.

    python3 dask_convert.py INPUT OUTPUT_DIR [--scheduler ADDRESS] [--workers N]
                            [--batch N] [--serial]

INPUT is a folder, whose *.xml and *.rss files are converted, or a text file
naming one feed file per line. Each feed becomes OUTPUT_DIR/NAME.json, NAME
being the file name without its last extension, holding the playlist document
and a newline, as `lyrn feed FILE -o OUTPUT_DIR` writes it; two inputs with one
NAME are a usage error. A file is written whole or not at all: a temporary
file beside it is renamed into place.

The feeds are converted in batches of --batch files (default 64) with
dask.bag on the cluster at --scheduler (a scheduler address such as
tcp://10.0.0.5:8786), else on a local cluster of --workers processes (default:
one per core) with one thread each, listening on 127.0.0.1 only. Workers read
the inputs and write the outputs themselves, so on a cluster of several
machines both folders must be on storage they all see, under the same paths;
each worker needs the lyrn package and the C library (LYRN_LIBRARY works
there too). --serial converts in this process, one feed after another,
without Dask, for comparison.

A feed the library refuses comes back from its worker as the lyrn.LyrnError
the worker raised, and is named with its message. Prints one summary line with
the conversions per second of wall time, and per CPU second that the
converting threads spent (reading, converting, writing), which does not count
waiting for a busy core. Exit status: 0 when every feed converted, 1 when
one did not, 2 on bad usage.
"""

import argparse
import os
import pathlib
import sys
import tempfile
import time
from typing import Iterable, List, NamedTuple, Optional, Sequence, Tuple

import lyrn

Job = Tuple[str, str]  # (feed path, playlist path)


class Result(NamedTuple):
    """What became of one feed. Workers send plain tuples: a class defined in
    a script run as __main__ is pickled by value, which typing.NamedTuple
    does not survive."""

    feed: str
    size: int
    tracks: int
    # The exception the worker caught: a lyrn.LyrnError the library raised,
    # or an OSError reading or writing a file.
    error: Optional[BaseException]
    pid: int
    # CPU seconds the converting thread spent on this feed: reading,
    # converting and writing, without the time it waited for a core.
    cpu: float


def write_whole(path: str, text: str) -> None:
    """Writes text to path through a temporary file renamed into place."""
    folder = os.path.dirname(path) or "."
    fd, tmp = tempfile.mkstemp(prefix=".%s." % os.path.basename(path), suffix=".tmp", dir=folder)
    try:
        with os.fdopen(fd, "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
        os.replace(tmp, path)
    except BaseException:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        raise


def track_count(document: str) -> int:
    """The document's trackCount, read without parsing the whole document: a
    bare '"trackCount":' can only be that key, since quotes inside JSON
    strings are escaped, and the top-level one comes before the tracks."""
    start = document.index('"trackCount":') + len('"trackCount":')
    end = start
    while document[end].isdigit():
        end += 1
    return int(document[start:end])


def convert_one(job: Job) -> tuple:
    """Reads one feed, converts it and writes its playlist; the Result's fields."""
    feed, out = job
    size = 0
    cpu = time.thread_time()
    try:
        with open(feed, "rb") as f:
            data = f.read()
        size = len(data)
        document = lyrn.parse_feed_json(data)
        write_whole(out, document + "\n")
    except (lyrn.LyrnError, OSError) as exc:
        return (feed, size, 0, exc, os.getpid(), time.thread_time() - cpu)
    return (feed, size, track_count(document), None, os.getpid(), time.thread_time() - cpu)


def convert_batch(jobs: Iterable[Job]) -> List[tuple]:
    return [convert_one(job) for job in jobs]


def convert_on_cluster(client, jobs: Sequence[Job], batch: int) -> List[Result]:
    """Converts the jobs with dask.bag on the client's cluster, in order."""
    import dask.bag

    if not jobs:
        return []
    bag = dask.bag.from_sequence(jobs, partition_size=batch)
    return [Result(*r) for r in bag.map_partitions(convert_batch).compute(scheduler=client.get)]


def local_cluster(workers: int):
    """A cluster of worker processes on this machine, reachable from it only.

    Dask starts workers with MALLOC_TRIM_THRESHOLD_=65536 to hand freed memory
    back at once. Setting it also stops glibc from raising its mmap threshold,
    so every buffer of a large feed is mapped and faulted in afresh: a 1 MB
    feed then takes several times the CPU time. These workers keep glibc's
    defaults."""
    import dask
    from dask.distributed import LocalCluster

    environ = dict(dask.config.get("distributed.nanny.pre-spawn-environ", {}))
    environ.pop("MALLOC_TRIM_THRESHOLD_", None)
    with dask.config.set({"distributed.nanny.pre-spawn-environ": environ}):
        return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                            host="127.0.0.1", dashboard_address=None)


def run_on_dask(jobs: Sequence[Job], scheduler: Optional[str], workers: int,
                batch: int) -> Tuple[List[Result], float, str]:
    """Converts on the scheduler's cluster, else on a new local one; returns
    the results, the seconds they took and where they ran."""
    from dask.distributed import Client

    cluster = None if scheduler else local_cluster(workers)
    client = Client(scheduler or cluster)
    try:
        count = len(client.scheduler_info()["workers"])
        start = time.perf_counter()
        results = convert_on_cluster(client, jobs, batch)
        seconds = time.perf_counter() - start
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    return results, seconds, "on %d Dask worker%s" % (count, "" if count == 1 else "s")


def feed_files(source: pathlib.Path) -> List[pathlib.Path]:
    if source.is_dir():
        return sorted(p for p in source.iterdir() if p.suffix.lower() in (".xml", ".rss") and p.is_file())
    lines = source.read_text(encoding="utf-8").splitlines()
    return [pathlib.Path(line.strip()) for line in lines if line.strip()]


def plan(feeds: Sequence[pathlib.Path], out: pathlib.Path) -> Tuple[List[Job], List[str]]:
    """The jobs, and the names that more than one input would write."""
    jobs: List[Job] = []
    taken = {}
    clashes = []
    for feed in feeds:
        name = feed.stem
        if name in taken:
            clashes.append("%s and %s both give %s.json" % (taken[name], feed, name))
            continue
        taken[name] = feed
        # Absolute paths, so that workers started elsewhere find the files.
        jobs.append((str(feed.resolve()), str((out / (name + ".json")).resolve())))
    return jobs, clashes


def per(amount: float, seconds: float) -> float:
    return amount / seconds if seconds > 0 else 0.0


def main(argv: Optional[Sequence[str]] = None) -> int:
    ap = argparse.ArgumentParser(description="Convert stored feeds into playlists on a Dask cluster.")
    ap.add_argument("input", type=pathlib.Path, help="folder of .xml and .rss feeds, or a file listing feeds")
    ap.add_argument("output", type=pathlib.Path, help="folder for the playlists (NAME.json)")
    ap.add_argument("--scheduler", help="address of an existing Dask scheduler")
    ap.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                    help="worker processes of the local cluster (default: one per core)")
    ap.add_argument("--batch", type=int, default=64, help="feeds per task (default 64)")
    ap.add_argument("--serial", action="store_true", help="convert here, one by one, without Dask")
    args = ap.parse_args(argv)
    if not args.input.exists():
        ap.error("%s does not exist" % args.input)
    if args.workers < 1 or args.batch < 1:
        ap.error("--workers and --batch must be at least 1")
    try:
        feeds = feed_files(args.input)
    except (OSError, UnicodeDecodeError) as exc:
        ap.error("cannot read %s: %s" % (args.input, exc))
    jobs, clashes = plan(feeds, args.output)
    if clashes:
        ap.error("; ".join(clashes))
    args.output.mkdir(parents=True, exist_ok=True)

    # The clock starts once the cluster is up: what a long crawl pays per feed.
    if args.serial:
        where = "in one process"
        start = time.perf_counter()
        results = [Result(*r) for r in convert_batch(jobs)]
        seconds = time.perf_counter() - start
    else:
        results, seconds, where = run_on_dask(jobs, args.scheduler, args.workers, args.batch)

    failed = [r for r in results if r.error is not None]
    for r in failed:
        print("dask_convert: %s: %s: %s" % (r.feed, type(r.error).__name__, r.error), file=sys.stderr)
    size = sum(r.size for r in results)
    cpu = sum(r.cpu for r in results)
    print("%d feeds, %d failed, %d tracks, %.2f MB in %.2f s %s: %.0f feeds/s, %.1f MB/s; "
          "%.0f feeds per CPU second of converting"
          % (len(results), len(failed), sum(r.tracks for r in results), size / 1e6, seconds, where,
             per(len(results), seconds), per(size / 1e6, seconds), per(len(results), cpu)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
