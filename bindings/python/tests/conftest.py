# SPDX-License-Identifier: MIT
"""Paths shared by the tests: the source tree, the sample feed and the tool."""

import os
import pathlib
import shutil

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[3]
SAMPLE_FEED = ROOT / "examples" / "sample-feed.xml"
SAMPLE_URL = "https://feeds.example.com/music/demo/all/feed.xml"


@pytest.fixture(scope="session")
def sample_bytes() -> bytes:
    return SAMPLE_FEED.read_bytes()


@pytest.fixture(scope="session")
def lyrn_tool() -> str:
    """The command-line tool of the same build: LYRN_TOOL, else build/tools/lyrn."""
    tool = os.environ.get("LYRN_TOOL") or str(ROOT / "build" / "tools" / "lyrn")
    if not shutil.which(tool):
        pytest.fail("the lyrn tool was not found at %s; set LYRN_TOOL to its path" % tool)
    return tool
