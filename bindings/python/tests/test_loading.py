# SPDX-License-Identifier: MIT
"""Finding the library: LYRN_LIBRARY, the SONAME, and the ImportError messages."""

import ctypes
import ctypes.util
import os
import pathlib
import subprocess
import sys

import pytest

import lyrn
from lyrn import _native

PACKAGE_DIR = str(pathlib.Path(lyrn.__file__).resolve().parents[1])


def run_python(code: str, **env: str) -> subprocess.CompletedProcess:
    environ = {k: v for k, v in os.environ.items() if k not in ("LYRN_LIBRARY", "LD_LIBRARY_PATH")}
    environ["PYTHONPATH"] = PACKAGE_DIR
    environ.update(env)
    return subprocess.run([sys.executable, "-c", code], env=environ, capture_output=True, text=True)


def library_path() -> str:
    path = os.environ.get("LYRN_LIBRARY")
    if not path:
        pytest.fail("these tests need LYRN_LIBRARY set to the built library")
    return str(pathlib.Path(path).resolve())


def test_the_soname_is_found_through_the_loader():
    # The build folder holds the SONAME link; the loader finds it on LD_LIBRARY_PATH.
    folder = str(pathlib.Path(library_path()).parent)
    code = (
        "import lyrn\n"
        "maps = open('/proc/self/maps').read()\n"
        "print(lyrn.__version__, %r in maps)\n" % folder
    )
    done = run_python(code, LD_LIBRARY_PATH=folder)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == [lyrn.__version__, "True"]


def test_a_missing_library_named_by_the_variable():
    done = run_python("import lyrn", LYRN_LIBRARY="/nonexistent/liblyrn.so")
    assert done.returncode != 0
    last = done.stderr.strip().splitlines()[-1]
    assert last.startswith("ImportError: lyrn: could not load the library that LYRN_LIBRARY names")
    assert "/nonexistent/liblyrn.so" in last


def test_the_message_when_nothing_is_found(monkeypatch):
    def refuse(name, *args, **kwargs):
        raise OSError("%s: cannot open shared object file" % name)

    monkeypatch.delenv("LYRN_LIBRARY", raising=False)
    monkeypatch.setattr(_native.ctypes, "CDLL", refuse)
    with pytest.raises(ImportError) as info:
        _native.load()
    message = str(info.value)
    assert _native.SONAME in message and "LYRN_LIBRARY is not set" in message
    assert message.endswith("set LYRN_LIBRARY to its path.")


def test_a_library_without_the_exports():
    done = run_python("import lyrn", LYRN_LIBRARY=ctypes.util.find_library("c") or "libc.so.6")
    assert "has no export lyrn_abi_version" in done.stderr


def test_another_abi_version_is_refused(monkeypatch):
    class OtherAbi:
        def __init__(self, name):
            self.lyrn_abi_version = lambda: 2

    monkeypatch.setenv("LYRN_LIBRARY", "/opt/other/liblyrn.so.2")
    monkeypatch.setattr(_native.ctypes, "CDLL", OtherAbi)
    with pytest.raises(ImportError, match="has ABI version 2, but this package needs ABI version 1"):
        _native.load()

