# SPDX-License-Identifier: MIT
"""The tool under faults: batches stopped by signals at random moments, write
failures, outputs that would replace inputs or follow links, endless inputs
and names with control bytes. Every check judges what is left on disk and the
exit status, never how long anything took.

LYRN_TOOL names the tool binary. LYRN_FAULT_ROUNDS (default 4) sets how many
interrupted runs each signal gets; LYRN_FAULT_SEED fixes the moments."""
import os
import random
import resource
import signal
import subprocess
import sys
import time

import pytest

TOOL = os.environ.get("LYRN_TOOL")
ROUNDS = int(os.environ.get("LYRN_FAULT_ROUNDS", "4"))
SEED = int(os.environ.get("LYRN_FAULT_SEED", "20261211"))

pytestmark = pytest.mark.skipif(not TOOL, reason="LYRN_TOOL is not set")


def make_feed(items, tag):
    """A feed whose playlist is large, so that its write takes a while."""
    parts = ['<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0"><channel><title>Batch ',
             tag, "</title>\n"]
    pad = "x" * 180
    for i in range(items):
        parts.append(
            f"<item><title>{tag} track {i} {pad}</title><itunes:author>Artist {i}</itunes:author>"
            f'<itunes:duration>{i % 3600}</itunes:duration><enclosure url="https://cdn.example.com/{tag}/{i}.mp3" '
            f'length="{i}"/></item>\n')
    parts.append("</channel></rss>\n")
    return "".join(parts).encode()


def run_tool(*args, **kw):
    return subprocess.run([TOOL, *args], capture_output=True, **kw)


def temporaries(folder):
    return sorted(n for n in os.listdir(folder) if ".lyrn-" in n)


@pytest.fixture(scope="module")
def batch(tmp_path_factory):
    """Six large feeds, the documents they give, and the documents an earlier
    version of the same feeds gave (to stand in the folder beforehand)."""
    root = tmp_path_factory.mktemp("batch")
    feeds = root / "feeds"
    feeds.mkdir()
    names = [f"feed{i:02d}" for i in range(6)]
    paths, expected, earlier = [], {}, {}
    for n in names:
        p = feeds / f"{n}.xml"
        p.write_bytes(make_feed(20000, n))
        paths.append(str(p))
        expected[n + ".json"] = run_tool("feed", str(p), check=True).stdout
        old = root / f"{n}-old.xml"
        old.write_bytes(make_feed(300, n + "-old"))
        earlier[n + ".json"] = run_tool("feed", str(old), check=True).stdout
    # How long a whole batch takes here, so that the moments fall inside it.
    t0 = time.monotonic()
    run_tool("feed", *paths, "-o", str(root / "timing"), "--jobs", "2", "--quiet", check=True)
    span = max(time.monotonic() - t0, 0.1)
    return {"root": root, "paths": paths, "expected": expected, "earlier": earlier, "span": span}


def check_outputs(folder, batch, prefilled):
    for name, doc in batch["expected"].items():
        p = folder / name
        if prefilled:
            assert p.exists(), f"{name}: the earlier output is gone"
        if not p.exists():
            continue
        got = p.read_bytes()
        allowed = [doc] + ([batch["earlier"][name]] if prefilled else [])
        assert got in allowed, f"{name}: {len(got)} bytes, neither the earlier nor the complete document"


@pytest.mark.parametrize("sig,status", [(signal.SIGINT, 130), (signal.SIGTERM, 143), (signal.SIGHUP, 129),
                                        (signal.SIGKILL, None)])
@pytest.mark.parametrize("prefilled", [False, True], ids=["empty", "earlier-outputs"])
def test_interrupted_batch_leaves_whole_files(batch, sig, status, prefilled):
    rng = random.Random(f"{SEED}-{sig}-{prefilled}")
    for round_ in range(ROUNDS):
        out = batch["root"] / f"out-{int(sig)}-{int(prefilled)}-{round_}"
        out.mkdir()
        if prefilled:
            for name, doc in batch["earlier"].items():
                (out / name).write_bytes(doc)
        proc = subprocess.Popen([TOOL, "feed", *batch["paths"], "-o", str(out), "--jobs", "2", "--quiet"],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        time.sleep(rng.uniform(0.02, batch["span"]))
        proc.send_signal(sig)
        _, err = proc.communicate(timeout=120)
        check_outputs(out, batch, prefilled)
        if proc.returncode == 0:
            continue  # finished before the signal came
        if status is not None and proc.returncode == -sig:
            # Stopped by the signal's default action before the batch began:
            # then it cannot have written anything.
            assert temporaries(out) == []
            assert sorted(os.listdir(out)) == (sorted(batch["earlier"]) if prefilled else [])
            continue
        if status is None:
            assert proc.returncode == -signal.SIGKILL
            # The same batch run again clears what the killed one left.
            again = run_tool("feed", *batch["paths"], "-o", str(out), "--jobs", "2", "--quiet")
            assert again.returncode == 0, again.stderr
            for name, doc in batch["expected"].items():
                assert (out / name).read_bytes() == doc
        else:
            assert proc.returncode == status, err
            lines = err.decode().splitlines()
            assert len(lines) == 1 and lines[0].startswith("lyrn: stopped by "), err
            assert "outputs finished" in lines[0]
        assert temporaries(out) == []


def test_file_size_limit_keeps_the_earlier_output(tmp_path):
    feed = tmp_path / "launched.xml"
    feed.write_bytes(make_feed(2000, "big"))
    out = tmp_path / "out"
    out.mkdir()
    earlier = b'{"earlier":true}\n'
    (out / "launched.json").write_bytes(earlier)

    def small_files():
        resource.setrlimit(resource.RLIMIT_FSIZE, (64 * 1024, resource.RLIM_INFINITY))

    r = subprocess.run([TOOL, "feed", str(feed), "-o", str(out), "--quiet"], capture_output=True,
                       preexec_fn=small_files)
    assert r.returncode == 1
    assert r.stderr.decode() == f"lyrn: {out}/launched.json: File too large\n"
    assert (out / "launched.json").read_bytes() == earlier
    assert temporaries(out) == []


def test_full_file_system_keeps_the_earlier_output(tmp_path):
    mnt = tmp_path / "small"
    mnt.mkdir()
    if os.geteuid() != 0 or subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", str(mnt)],
                                           capture_output=True).returncode != 0:
        pytest.skip("cannot mount a small file system here (the file size limit test covers the write path)")
    try:
        feed = tmp_path / "launched.xml"
        feed.write_bytes(make_feed(3000, "big"))
        earlier = b'{"earlier":true}\n' + b" " * 100000
        (mnt / "launched.json").write_bytes(earlier)
        r = run_tool("feed", str(feed), "-o", str(mnt), "--quiet")
        assert r.returncode == 1
        assert r.stderr.decode() == f"lyrn: {mnt}/launched.json: No space left on device\n"
        assert (mnt / "launched.json").read_bytes() == earlier
        assert temporaries(mnt) == []
    finally:
        subprocess.run(["umount", str(mnt)], check=True)


def test_read_only_file_system_keeps_the_earlier_output(tmp_path):
    """No temporary file can be made: the batch fails and names the file, and
    a missing folder under the read-only mount is named as the one it could not
    create."""
    mnt = tmp_path / "ro"
    mnt.mkdir()
    if os.geteuid() != 0 or subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", str(mnt)],
                                           capture_output=True).returncode != 0:
        pytest.skip("cannot mount a file system here")
    try:
        feed = tmp_path / "launched.xml"
        feed.write_bytes(make_feed(3, "ro"))
        earlier = b'{"earlier":true}\n'
        (mnt / "launched.json").write_bytes(earlier)
        subprocess.run(["mount", "-o", "remount,ro", str(mnt)], check=True)
        r = run_tool("feed", str(feed), "-o", str(mnt), "--quiet")
        assert (r.returncode, r.stderr.decode()) == (1, f"lyrn: {mnt}/launched.json: Read-only file system\n")
        assert (mnt / "launched.json").read_bytes() == earlier
        r = run_tool("feed", str(feed), "-o", str(mnt / "new" / "sub"), "--quiet")
        assert r.returncode == 1
        assert r.stderr.decode() == f"lyrn: {mnt}/new: Read-only file system\n"
        assert sorted(os.listdir(mnt)) == ["launched.json"]
    finally:
        subprocess.run(["umount", str(mnt)], check=True)


def test_an_output_that_is_an_input_is_refused(tmp_path):
    d = tmp_path / "self"
    d.mkdir()
    feed = make_feed(3, "self")
    (d / "a.json").write_bytes(feed)
    (tmp_path / "link").symlink_to(d)
    os.link(d / "a.json", tmp_path / "a.xml")  # a hard link: another name, the same file
    for args in (["self/a.json", "-o", "self"], ["self/a.json", "-o", "link"], ["a.xml", "-o", "self"],
                 ["./self/../self/a.json", "-o", "./self/"]):
        r = run_tool("feed", *args, cwd=tmp_path)
        assert r.returncode == 2, (args, r.stderr)
        assert b"is an input of this batch" in r.stderr
        assert (d / "a.json").read_bytes() == feed
    assert sorted(os.listdir(d)) == ["a.json"]


def test_a_symbolic_link_under_an_output_name_is_replaced(tmp_path):
    feed = tmp_path / "sample-feed.xml"
    feed.write_bytes(make_feed(2, "s"))
    victim = tmp_path / "victim"
    victim.write_bytes(b"precious")
    out = tmp_path / "out"
    out.mkdir()
    (out / "sample-feed.json").symlink_to(victim)
    r = run_tool("feed", str(feed), "-o", str(out), "--quiet")
    assert r.returncode == 0, r.stderr
    assert victim.read_bytes() == b"precious"
    assert not (out / "sample-feed.json").is_symlink()
    assert (out / "sample-feed.json").read_bytes() == run_tool("feed", str(feed)).stdout


@pytest.mark.parametrize("args", [["feed", "/dev/zero"], ["slugs", "/dev/zero"], ["feed", "-"]])
def test_endless_input_ends_at_the_limit(args):
    with open("/dev/zero", "rb") as zero:
        r = subprocess.run([TOOL, *args, "--max-input", "4M"], stdin=zero, capture_output=True, timeout=60)
    assert r.returncode == 1
    label = "standard input" if args[1] == "-" else "/dev/zero"
    assert r.stderr.decode() == (f"lyrn: {label}: the input is larger than the limit of 4 MiB "
                                 "(--max-input SIZE raises it)\n")
    assert r.stdout == b""


def test_names_with_control_bytes_print_on_one_line(tmp_path):
    name = "bad\nname\x1b[2J.xml"
    (tmp_path / name).write_bytes(b"<rss><channel><title>\xff</title></channel></rss>")
    for args in (["feed", name], ["feed", name, "-o", "out"]):
        r = run_tool(*args, "--quiet", cwd=tmp_path)
        assert r.returncode == 1
        err = r.stderr.decode()
        assert err.count("\n") == 1 and "\x1b" not in err, err
        assert err.startswith("lyrn: bad\\nname\\x1B[2J.xml: "), err
    # Text from the command line in a usage error, too.
    r = run_tool("feed", "--no\nsuch\x1b]0;title\x07", cwd=tmp_path)
    assert r.returncode == 2
    assert r.stderr.decode().splitlines()[0] == "lyrn: feed: unknown option '--no\\nsuch\\x1B]0;title\\x07'"


if __name__ == "__main__":
    sys.exit(pytest.main([__file__, "-q"]))
