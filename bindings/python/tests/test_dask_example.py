# SPDX-License-Identifier: MIT
"""The Dask example on local clusters of two worker processes (127.0.0.1
only) over small generated feeds: the same playlists as one-by-one conversion
and as the tool's batch mode, and the library's refusal arriving as a
lyrn.LyrnError from the worker that raised it."""

import os
import pathlib
import subprocess
import sys

import pytest

import lyrn

distributed = pytest.importorskip(
    "distributed", reason="Dask's distributed scheduler is not installed (Debian: python3-distributed)")

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"
SCRIPT = EXAMPLES / "dask_convert.py"
# The workers import lyrn and the example from here; LYRN_LIBRARY passes on.
WORKER_ENV = dict(os.environ, PYTHONPATH=os.pathsep.join([str(EXAMPLES.parent), str(EXAMPLES)]))
BROKEN = b"<rss><channel><title>\xff</title></channel></rss>"


def generated_feed(i: int) -> bytes:
    items = "".join(
        '<item><title>Song_%d_%d [abcdefghijk]</title><itunes:duration>%d:%02d</itunes:duration>'
        '<enclosure url="https://cdn.example.org/%d/%d.mp3" length="%d"/></item>'
        % (i, k, k, i % 60, i, k % 7, 1000 * k) for k in range(1 + i % 9))
    title = "<title>Channel %d</title>" % i if i % 4 else ""
    return ('<rss xmlns:itunes="http://www.itunes.com/dtds/podcast-1.0.dtd"><channel>%s%s</channel></rss>'
            % (title, items)).encode()


@pytest.fixture(scope="module")
def example():
    with pytest.MonkeyPatch.context() as mp:
        mp.syspath_prepend(str(EXAMPLES))
        import dask_convert

        yield dask_convert


@pytest.fixture(scope="module")
def client(example):
    """One local cluster of two worker processes for the module's tests,
    started as the example starts its own."""
    with pytest.MonkeyPatch.context() as mp:
        for name, value in WORKER_ENV.items():
            mp.setenv(name, value)
        with example.local_cluster(2) as cluster, distributed.Client(cluster) as c:
            assert len(c.scheduler_info()["workers"]) == 2
            yield c


@pytest.fixture
def feeds(tmp_path):
    folder = tmp_path / "feeds"
    folder.mkdir()
    for i in range(40):
        (folder / ("feed-%02d.xml" % i)).write_bytes(generated_feed(i))
    (folder / "broken.rss").write_bytes(BROKEN)
    (folder / "notes.txt").write_text("not a feed")
    return folder


def test_folder_on_two_workers_equals_one_by_one_and_the_tool(feeds, tmp_path, lyrn_tool, client):
    out = tmp_path / "playlists"
    done = subprocess.run([sys.executable, str(SCRIPT), str(feeds), str(out), "--batch", "8",
                           "--scheduler", client.scheduler.address],
                          env=WORKER_ENV, capture_output=True, text=True, timeout=240)
    assert done.returncode == 1, done.stderr
    assert "41 feeds, 1 failed, " in done.stdout and "on 2 Dask workers" in done.stdout
    assert "broken.rss: LyrnError: the feed is not UTF-8: invalid sequence at byte offset" in done.stderr

    expected = {p.stem + ".json": lyrn.parse_feed_json(p.read_bytes()) + "\n"
                for p in feeds.glob("feed-*.xml")}
    written = {p.name: p.read_text(encoding="utf-8") for p in out.iterdir()}
    assert written == expected

    by_tool = tmp_path / "by-tool"
    inputs = sorted(str(p) for p in feeds.iterdir() if p.suffix != ".txt")
    tool = subprocess.run([lyrn_tool, "feed", *inputs, "-o", str(by_tool), "--jobs", "2", "--quiet"],
                          capture_output=True, text=True, timeout=120)
    assert tool.returncode == 1, tool.stderr
    assert {p.name: p.read_text(encoding="utf-8") for p in by_tool.iterdir()} == written


def test_lyrn_error_crosses_the_process_boundary(feeds, tmp_path, example, client):
    jobs, clashes = example.plan(sorted(feeds.glob("*.rss")) + sorted(feeds.glob("feed-0*.xml")), tmp_path / "out")
    assert not clashes
    (tmp_path / "out").mkdir()
    results = example.convert_on_cluster(client, jobs, batch=3)
    assert [r.feed for r in results] == [feed for feed, _ in jobs]
    broken = results[0]
    assert broken.feed.endswith("broken.rss")
    assert type(broken.error) is lyrn.LyrnError
    assert str(broken.error) == str(pytest.raises(lyrn.LyrnError, lyrn.parse_feed_json, BROKEN).value)
    assert broken.pid != os.getpid()
    assert all(r.error is None and r.tracks == lyrn.parse_feed(generated_feed(int(r.feed[-6:-4])))["trackCount"]
               for r in results[1:])


def test_local_workers_keep_the_default_heap_trimming(client):
    # A trim threshold set in the environment makes large feeds convert
    # several times slower (see local_cluster).
    found = client.run(lambda: os.environ.get("MALLOC_TRIM_THRESHOLD_"))
    assert len(found) == 2 and set(found.values()) == {None}


def test_usage_errors(tmp_path):
    clash = tmp_path / "clash"
    clash.mkdir()
    (clash / "a.xml").write_bytes(b"<rss/>")
    (clash / "a.rss").write_bytes(b"<rss/>")
    done = subprocess.run([sys.executable, str(SCRIPT), str(clash), str(tmp_path / "out"), "--serial"],
                          env=WORKER_ENV, capture_output=True, text=True, timeout=60)
    assert done.returncode == 2 and "both give a.json" in done.stderr
    assert not (tmp_path / "out").exists()
