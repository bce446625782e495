#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs the command-line tool on every case of cases.json and compares its
outcome: the exact document on standard output, or the code, offset, line
and column of its one-line refusal. Usage: run_tool_cases.py LYRN_BINARY"""

import json
import pathlib
import re
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
CODES = ["invalid utf-8", "surrogate reference", "non-finite duration", "document too large",
         "unknown encoding", "cannot decode", "cannot write document", "out of memory"]
POSITION = re.compile(r"byte offset (\d+) \(line (\d+), column (\d+)\)")


def outcome(tool, case):
    command = "slugs" if case.get("kind") == "listing" else "feed"
    args = [tool, command, case["input"], "--quiet"]
    encoding = "UTF-8" if case.get("text") else case.get("encoding", "auto")
    args += ["--encoding", encoding]
    if case.get("repair"):
        args.append("--repair")
    run = subprocess.run(args, cwd=HERE, capture_output=True, timeout=60)
    if run.returncode == 0:
        return {"document": run.stdout.rstrip(b"\n").decode("utf-8")}
    line = run.stderr.decode("utf-8", "replace").strip()
    for label in (case["input"], command):
        prefix = "lyrn: %s: " % label
        if line.startswith(prefix):
            line = line[len(prefix):]
            break
    code = next((c for c in CODES if line == c or line.startswith(c + ": ")), "unrecognised: " + line)
    where = POSITION.search(line)
    return {"code": code, "offset": int(where.group(1)) if where else None,
            "line": int(where.group(2)) if where else None,
            "column": int(where.group(3)) if where else None, "status": run.returncode}


def expected(case):
    want = dict(case["expect"])
    if "document" in want:
        want["document"] = (HERE / want["document"]).read_text(encoding="utf-8")
    else:
        want["status"] = 1
    return want


def main():
    tool = str(pathlib.Path(sys.argv[1]).resolve())
    cases = json.loads((HERE / "cases.json").read_text(encoding="utf-8"))["cases"]
    failed = 0
    for case in cases:
        got, want = outcome(tool, case), expected(case)
        if got != want:
            failed += 1
            print("FAIL %s\n  expected %r\n  got      %r" % (case["name"], want, got))
    print("host cases (tool): %d passed, %d failed" % (len(cases) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
