# SPDX-License-Identifier: MIT
"""The folder converter example, run as its user would."""

import json
import os
import pathlib
import subprocess
import sys

import lyrn

from conftest import SAMPLE_FEED

SCRIPT = pathlib.Path(__file__).resolve().parents[1] / "examples" / "convert_folder.py"


def test_convert_folder(tmp_path, sample_bytes):
    feeds = tmp_path / "feeds"
    feeds.mkdir()
    (feeds / "demo.xml").write_bytes(sample_bytes)
    (feeds / "untitled.rss").write_bytes(b'<rss><channel><item><enclosure url="https://a/1.mp3"/></item></channel></rss>')
    (feeds / "broken.xml").write_bytes(b"<rss><channel><title>\xff</title></channel></rss>")
    (feeds / "notes.txt").write_text("not a feed")
    env = dict(os.environ, PYTHONPATH=str(SCRIPT.parents[1]))
    done = subprocess.run(
        [sys.executable, str(SCRIPT), str(feeds), "--out", str(tmp_path / "out"),
         "--base-url", "https://feeds.example.com/music/u", "--threads", "2"],
        env=env, capture_output=True, text=True)
    assert done.returncode == 1, done.stderr
    lines = done.stdout.splitlines()
    assert lines[-1].startswith("3 feeds, 2 converted, 1 failed; 13 tracks, ")
    assert any(line.startswith("broken.xml") and "not UTF-8" in line for line in lines)
    written = sorted(p.name for p in (tmp_path / "out").iterdir())
    assert written == ["demo.json", "untitled.json"]
    demo = (tmp_path / "out" / "demo.json").read_text()
    assert demo == lyrn.parse_feed_json(SAMPLE_FEED.read_bytes(), "https://feeds.example.com/music/u/demo/feed.xml") + "\n"
    assert json.loads((tmp_path / "out" / "untitled.json").read_text())["name"] == "untitled"
