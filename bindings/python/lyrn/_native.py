# SPDX-License-Identifier: MIT
"""Loads the shared library and declares the C prototype of every export.

ctypes assumes ``int`` for a result it was not told about, which truncates
pointers and reads doubles as garbage, so every export gets its argument and
result types here, once, before the package uses it.
"""

import ctypes
import os
from typing import Any, Callable, List, Tuple

SONAME = "libquorvane-velotune-feed-rss-parser.so.1"
ABI_VERSION = 1
ENV_VAR = "LYRN_LIBRARY"

_c = ctypes
# name, result type, argument types. Returned strings that the caller owns are
# declared c_void_p so the address survives to be handed to lyrn_free; the
# two borrowed strings (version, last error) may be c_char_p, which copies.
_PROTOTYPES: List[Tuple[str, Any, List[Any]]] = [
    ("lyrn_abi_version", _c.c_int32, []),
    ("lyrn_version", _c.c_char_p, []),
    ("lyrn_free", None, [_c.c_void_p]),
    ("lyrn_last_error", _c.c_char_p, []),
    ("lyrn_parse_feed_json", _c.c_void_p, [_c.c_char_p, _c.c_size_t, _c.c_char_p]),
    ("lyrn_parse_duration", _c.c_double, [_c.c_char_p]),
    ("lyrn_format_duration", _c.c_int32, [_c.c_double, _c.c_char_p, _c.c_size_t]),
    ("lyrn_parse_rfc2822_date", _c.c_int64, [_c.c_char_p]),
    ("lyrn_clean_title", _c.c_void_p, [_c.c_char_p]),
    ("lyrn_validate_feed_url", _c.c_int32, [_c.c_char_p]),
    ("lyrn_build_user_feed_url", _c.c_void_p, [_c.c_char_p, _c.c_char_p, _c.c_char_p]),
    ("lyrn_discover_slugs_json", _c.c_void_p, [_c.c_char_p, _c.c_size_t]),
    ("lyrn_selftest", _c.c_int32, []),
]


def _open() -> Tuple[ctypes.CDLL, str]:
    """The library and a description of where it came from, for messages."""
    path = os.environ.get(ENV_VAR)
    if path:
        try:
            return ctypes.CDLL(path), path
        except OSError as exc:
            raise ImportError(
                "lyrn: could not load the library that %s names, %s (%s)." % (ENV_VAR, path, exc)
            ) from None
    try:
        return ctypes.CDLL(SONAME), SONAME
    except OSError as exc:
        raise ImportError(
            "lyrn: could not load %s through the system's library loader and %s is not set "
            "(%s); install the library or set %s to its path." % (SONAME, ENV_VAR, exc, ENV_VAR)
        ) from None


def _declare(lib: ctypes.CDLL, origin: str, name: str, restype: Any, argtypes: List[Any]) -> None:
    try:
        fn: Callable[..., Any] = getattr(lib, name)
    except AttributeError:
        raise ImportError(
            "lyrn: the library loaded from %s has no export %s, so it is not a build of "
            "ABI version %d." % (origin, name, ABI_VERSION)
        ) from None
    fn.restype = restype  # type: ignore[attr-defined]
    fn.argtypes = argtypes  # type: ignore[attr-defined]


def load() -> ctypes.CDLL:
    """Opens the library, checks its ABI version and declares every export."""
    lib, origin = _open()
    # The ABI version first: a library of another ABI may lack or change the rest.
    _declare(lib, origin, *_PROTOTYPES[0])
    found = lib.lyrn_abi_version()
    if found != ABI_VERSION:
        raise ImportError(
            "lyrn: the library loaded from %s has ABI version %d, but this package needs ABI "
            "version %d." % (origin, found, ABI_VERSION)
        )
    for prototype in _PROTOTYPES[1:]:
        _declare(lib, origin, *prototype)
    return lib
