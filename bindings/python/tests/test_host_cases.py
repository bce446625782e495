# SPDX-License-Identifier: MIT
"""The hosts' shared table of cases (tests/hosts/cases.json): every case must
give the document, or the failure (code, offset, line, column), that the
tool and the Node.js package give."""

import json
import pickle

import pytest

import lyrn

from conftest import ROOT

DIR = ROOT / "tests" / "hosts"
CASES = json.loads((DIR / "cases.json").read_text(encoding="utf-8"))["cases"]


def outcome(case):
    data = (DIR / case["input"]).read_bytes()
    if case.get("text"):
        data = data.decode("utf-8")
    options = {"encoding": case.get("encoding", "auto"), "repair": case.get("repair", False)}
    try:
        if case.get("kind") == "listing":
            return {"document": json.dumps(lyrn.discover_slugs(data, **options), ensure_ascii=False)}
        return {"document": lyrn.parse_feed_json(data, **options)}
    except lyrn.LyrnError as exc:
        # Each failure survives pickling whole, as a process pool would send it.
        again = pickle.loads(pickle.dumps(exc))
        assert (str(again), again.code, again.offset, again.line, again.column) == (
            str(exc), exc.code, exc.offset, exc.line, exc.column)
        return {"code": exc.code, "offset": exc.offset, "line": exc.line, "column": exc.column}


@pytest.mark.parametrize("case", CASES, ids=[c["name"] for c in CASES])
def test_host_case(case):
    want = dict(case["expect"])
    if "document" in want:
        want["document"] = (DIR / want["document"]).read_text(encoding="utf-8")
        if case.get("kind") == "listing":
            want["document"] = json.dumps(json.loads(want["document"]), ensure_ascii=False)
    assert outcome(case) == want
