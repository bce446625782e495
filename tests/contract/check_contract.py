#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Usage: check_contract.py LIBRARY ROOT [--bindings]

Holds the contract that is written by hand in several places to one set of
facts, and each fact to the library itself: every export's null and failure
values and what it does to the last error, the duration rules that have
drifted before, and the version. For each fact the library is called through
ctypes first (a fact that is not true of the library fails the check), then
the section of each document that describes the export must say what the fact
requires and nothing that it rules out.

The header and lyrn(3) are always read, the "quoted" texts of each export's
two sections must be the same, and the examples in the tables of
docs/feeds.md are run through the library; with --bindings the binding packages'
documentation too (BINDING_DOCS). A new binding joins by adding its file to
BINDING_DOCS with the kind of comment it uses (EXTRACTORS) and its names for
the exports (NAMES). Every disagreement is listed with the file, the export,
the fact and the words required or ruled out.
"""
import ctypes
import json
import os
import re
import sys

# ---- Documents --------------------------------------------------------------

C_DOCS = [("c", "include/lyrn.h"), ("man", "man/lyrn.3")]
BINDING_DOCS = [("python", "bindings/python/lyrn/__init__.py"), ("typescript", "bindings/node/index.d.ts"),
                ("rust", "bindings/rust/src/lib.rs"), ("go", "bindings/go/lyrn.go"),
                ("vala", "include/quorvane-velotune-feed-rss-parser.vapi")]

# Each binding's name for an export; an export a binding does not name is
# not looked for in that binding.
NAMES = {
    "python": {"lyrn_parse_duration": "parse_duration", "lyrn_format_duration": "format_duration"},
    "typescript": {"lyrn_parse_duration": "parseDuration", "lyrn_format_duration": "formatDuration"},
    "rust": {"lyrn_parse_duration": "parse_duration", "lyrn_format_duration": "format_duration"},
    "go": {"lyrn_parse_duration": "ParseDuration", "lyrn_format_duration": "FormatDuration"},
    "vala": {"lyrn_parse_duration": "parse_duration", "lyrn_format_duration": "format_duration"},
}


def _squash(text):
    return re.sub(r"\s+", " ", text).strip()


def comment_above(lines, decl, strip):
    """The /* */ comment block that ends on the line right above the first
    line matching decl, with the comment markers removed by strip."""
    for i, line in enumerate(lines):
        if re.search(decl, line):
            break
    else:
        return None
    j = i - 1
    if j < 0 or not lines[j].rstrip().endswith("*/"):
        return None
    block = []
    while j >= 0:
        block.insert(0, lines[j])
        if lines[j].lstrip().startswith("/*"):
            break
        j -= 1
    return _squash(" ".join(strip(l) for l in block))


def _strip_c_comment(line):
    return re.sub(r"^\s*(/\*\*?|\*/|\*)|\*/\s*$", "", line)


def section_c(text, name):
    return comment_above(text.splitlines(), r"^LYRN_API\b.*\b%s\(" % name, _strip_c_comment)


def section_typescript(text, name):
    return comment_above(text.splitlines(), r"^export function %s\(" % name, _strip_c_comment)


def line_comments_above(lines, decl, marker):
    """The run of line comments starting with marker right above the first
    line matching decl, with the markers removed."""
    for i, line in enumerate(lines):
        if re.search(decl, line):
            break
    else:
        return None
    block = []
    j = i - 1
    while j >= 0 and lines[j].lstrip().startswith(marker):
        block.insert(0, lines[j].lstrip()[len(marker):])
        j -= 1
    return _squash(" ".join(block)) if block else None


def section_rust(text, name):
    return line_comments_above(text.splitlines(), r"^pub fn %s\b" % name, "///")


def section_go(text, name):
    return line_comments_above(text.splitlines(), r"^func %s\(" % name, "//")


def section_vala(text, name):
    return comment_above(text.splitlines(), r"^\s*public .*\b%s \(" % name, _strip_c_comment)


def section_python(text, name):
    m = re.search(r"^def %s\(.*?(?=^def |\Z)" % name, text, re.S | re.M)
    return _squash(m.group(0)) if m else None


def section_man(text, name):
    body = text.split("\n.SH FUNCTIONS", 1)[-1]
    m = re.search(r"^\.BI? [^\n]*\b%s\(.*?(?=^\.(TP|SS|SH)\b|\Z)" % name, body, re.S | re.M)
    if not m:
        return None
    lines = m.group(0).splitlines()
    # The prototype (up to its ");") is the synopsis, not prose.
    while lines and not lines[0].rstrip().endswith(");"):
        lines.pop(0)
    out = []
    for line in lines[1:]:
        if line.startswith("."):
            macro, _, rest = line.partition(" ")
            if macro in (".TP", ".PP", ".RS", ".RE", ".EX", ".EE"):
                continue
            line = rest.replace('"', "")
        out.append(line)
    s = " ".join(out)
    for roff, plain in (("\\-", "-"), ("\\~", " "), ("\\(lq", '"'), ("\\(rq", '"'), ("\\e", "\\"), ("\\&", "")):
        s = s.replace(roff, plain)
    return _squash(s)


EXTRACTORS = {"c": section_c, "man": section_man, "python": section_python, "typescript": section_typescript,
              "rust": section_rust, "go": section_go, "vala": section_vala}

# ---- The library ------------------------------------------------------------


class Lib:
    def __init__(self, path):
        self.c = ctypes.CDLL(path)
        c = self.c
        for name, res, args in (
            ("lyrn_version", ctypes.c_char_p, []),
            ("lyrn_abi_version", ctypes.c_int32, []),
            ("lyrn_last_error", ctypes.c_char_p, []),
            ("lyrn_free", None, [ctypes.c_void_p]),
            ("lyrn_parse_feed_json", ctypes.c_void_p, [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p]),
            ("lyrn_parse_duration", ctypes.c_double, [ctypes.c_char_p]),
            ("lyrn_format_duration", ctypes.c_int32, [ctypes.c_double, ctypes.c_char_p, ctypes.c_size_t]),
            ("lyrn_parse_rfc2822_date", ctypes.c_int64, [ctypes.c_char_p]),
            ("lyrn_clean_title", ctypes.c_void_p, [ctypes.c_char_p]),
            ("lyrn_validate_feed_url", ctypes.c_int32, [ctypes.c_char_p]),
            ("lyrn_build_user_feed_url", ctypes.c_void_p, [ctypes.c_char_p] * 3),
            ("lyrn_discover_slugs_json", ctypes.c_void_p, [ctypes.c_char_p, ctypes.c_size_t]),
            ("lyrn_selftest", ctypes.c_int32, []),
        ):
            f = getattr(c, name)
            f.restype = res
            f.argtypes = args

    def take(self, ptr):
        """The text of a returned string (None for NULL), released."""
        if not ptr:
            return None
        s = ctypes.string_at(ptr).decode("utf-8")
        self.c.lyrn_free(ptr)
        return s

    def err(self):
        return self.c.lyrn_last_error().decode("ascii")

    def set_err(self, message):
        """Leaves a known message: "null xml" from a NULL feed."""
        assert self.take(self.c.lyrn_parse_feed_json(None, 0, None)) is None and self.err() == "null xml"

    def fmt(self, seconds, size=64):
        buf = ctypes.create_string_buffer(size)
        n = self.c.lyrn_format_duration(seconds, buf, size)
        return n, buf.value.decode("ascii")


def untouched(call):
    """A library check: the call leaves a message set before it as it was."""
    def check(lib):
        lib.set_err("null xml")
        call(lib)
        return lib.err() == "null xml"
    return check


# ---- Facts ------------------------------------------------------------------
# export, what the fact says, the library check, the words each document's
# section must hold (regular expressions, all of them), the words none may
# hold, and which documents it binds ("c": header and lyrn(3); "all": the
# bindings' too).

UNTOUCHED = r"[Dd]oes not touch the last error"
C = ctypes.c_char_p

FACTS = [
    # The ten that report no reason leave the last error alone.
    ("lyrn_version", "leaves the last error", untouched(lambda l: l.c.lyrn_version()), [UNTOUCHED], [], "c"),
    ("lyrn_abi_version", "leaves the last error", untouched(lambda l: l.c.lyrn_abi_version()), [UNTOUCHED], [],
     "c"),
    ("lyrn_free", "accepts NULL and leaves the last error", untouched(lambda l: l.c.lyrn_free(None)),
     [r"NULL is accepted and does nothing", UNTOUCHED], [], "c"),
    ("lyrn_parse_duration", "0 for NULL; leaves the last error",
     lambda l: untouched(lambda l: l.c.lyrn_parse_duration(None))(l) and l.c.lyrn_parse_duration(None) == 0,
     [r"0 for NULL", UNTOUCHED], [], "c"),
    ("lyrn_format_duration", "-1 for a NULL buffer or a size of 0; leaves the last error",
     lambda l: untouched(lambda l: l.c.lyrn_format_duration(1.0, None, 8))(l)
     and l.c.lyrn_format_duration(1.0, None, 8) == -1
     and l.c.lyrn_format_duration(1.0, ctypes.create_string_buffer(8), 0) == -1
     and l.fmt(4586.0, 7) == (-1, "1:16:2"),
     [r"-1 when buf is NULL", r"buf_size is 0", r"cut to buf_size - 1 bytes", UNTOUCHED], [], "c"),
    ("lyrn_parse_rfc2822_date", "0 for NULL; leaves the last error",
     lambda l: untouched(lambda l: l.c.lyrn_parse_rfc2822_date(None))(l) and l.c.lyrn_parse_rfc2822_date(None) == 0,
     [r"0 for NULL", UNTOUCHED], [], "c"),
    ("lyrn_clean_title", "NULL gives \"\"; leaves the last error",
     lambda l: untouched(lambda l: l.take(l.c.lyrn_clean_title(None)))(l) and l.take(l.c.lyrn_clean_title(None)) == "",
     [r'NULL gives ""', r"NULL only when memory runs out", UNTOUCHED], [], "c"),
    ("lyrn_validate_feed_url", "-1 for NULL and \"\"; leaves the last error",
     lambda l: untouched(lambda l: l.c.lyrn_validate_feed_url(None))(l)
     and l.c.lyrn_validate_feed_url(None) == -1 and l.c.lyrn_validate_feed_url(b"") == -1,
     [r"-1 otherwise", r"NULL and \"\" included", UNTOUCHED], [], "c"),
    ("lyrn_last_error", "never NULL, \"\" at first on a thread", lambda l: l.c.lyrn_last_error() is not None,
     [r"never NULL", r"the empty string when no message is set"], [], "c"),
    ("lyrn_selftest", "a passing run leaves the last error empty",
     lambda l: (l.set_err("null xml"), l.c.lyrn_selftest())[1] == 0 and l.err() == "",
     [r"0 when all pass", r"the last error is empty"], [], "c"),
    # The three that report a reason.
    ("lyrn_parse_feed_json", "NULL feed: NULL and \"null xml\"; a written document clears the last error",
     lambda l: l.take(l.c.lyrn_parse_feed_json(None, 0, None)) is None and l.err() == "null xml"
     and l.take(l.c.lyrn_parse_feed_json(b"", 0, None)) is not None and l.err() == "",
     [r"\"null xml\"", r"[Cc]lears the last error", r"last error is empty"], [], "c"),
    ("lyrn_build_user_feed_url", "NULL arguments are invalid, checked in order, with their messages",
     lambda l: all((l.take(l.c.lyrn_build_user_feed_url(*args)), l.err()) == (None, want) for args, want in (
         ((None, b"u", b"s"), "invalid base_url"), ((b"https://h.example", None, b"s"), "invalid user_id"),
         ((b"https://h.example", b"u", None), "invalid slug")))
     and l.take(l.c.lyrn_build_user_feed_url(b"https://h.example/", b"u", b"s")) == "https://h.example/u/s/feed.xml"
     and l.err() == "",
     [r"NULL arguments are invalid", r"\"invalid base_url\"", r"\"invalid user_id\"", r"\"invalid slug\"",
      r"\"out of memory\"", r"clears the last error"], [], "c"),
    ("lyrn_discover_slugs_json", "NULL with length 0 is an empty listing; NULL with a length is \"null html\"",
     lambda l: l.take(l.c.lyrn_discover_slugs_json(None, 0)) == "[]" and l.err() == ""
     and l.take(l.c.lyrn_discover_slugs_json(None, 5)) is None and l.err() == "null html",
     [r"NULL with (an )?html_len (of )?0 is an empty listing", r"\"null html\"", r"[Cc]lears the last error"], [], "c"),
    # The rules each function is known by.
    ("lyrn_validate_feed_url", "an authority of 1 to 255 bytes",
     lambda l: l.c.lyrn_validate_feed_url(b"https://" + b"a" * 255 + b"/f") == 0
     and l.c.lyrn_validate_feed_url(b"https://" + b"a" * 256 + b"/f") == -1
     and l.c.lyrn_validate_feed_url(b"HTTP://a") == 0 and l.c.lyrn_validate_feed_url(b"https:///f") == -1,
     [r"1 to 255 bytes", r"in any (letter )?case"], [], "c"),
    ("lyrn_clean_title", "one bracketed 11-character identifier at the end goes",
     lambda l: l.take(l.c.lyrn_clean_title(b"O_Holy_Night [4hjgkvuKES8]")) == "O Holy Night"
     and l.take(l.c.lyrn_clean_title(b"x [4hjgkvuKES]")) == "x [4hjgkvuKES]",
     [r"11-character identifier", r"\"O Holy Night\""], [], "c"),
    ("lyrn_build_user_feed_url", "the trailing '/' characters of base_url go first",
     lambda l: l.take(l.c.lyrn_build_user_feed_url(b"https://h.example///", b"u", b"s"))
     == "https://h.example/u/s/feed.xml",
     [r"trailing '/' characters of base_url removed"], [], "c"),
    ("lyrn_discover_slugs_json", "\"video\" in any letter case is left out; the first \"all\" moves to the front",
     lambda l: l.take(l.c.lyrn_discover_slugs_json(
         b"<a href='./x/'></a><a href='./VIDEO/'></a><a href='./videos/'></a><a href='./All/'></a>", 0))
     == '["All","x","videos"]',
     [r"\"video\" in any letter case", r"\"all\""], [], "c"),
    ("lyrn_selftest", "ten checks, the failing one's number",
     lambda l: l.c.lyrn_selftest() == 0, [r"ten fixed checks", r"1 to 10"], [], "c"),
    ("lyrn_parse_feed_json", "a length of 0 measures the text; with a length a NUL is an ordinary byte",
     lambda l: '"name":"A"' in l.take(l.c.lyrn_parse_feed_json(b"<rss><channel><title>A</title>", 0, None))
     and '"name":"A"' in l.take(l.c.lyrn_parse_feed_json(b"\0<rss><channel><title>A</title>", 31, None))
     and '"name":"Playlist"' in l.take(l.c.lyrn_parse_feed_json(b"\0<rss><channel><title>A</title>", 0, None)),
     [r"0 means (that )?`?feed`? is NUL-terminated", r"NUL byte is an ordinary byte"], [], "c"),
    # Duration rules that the copies once got wrong.
    ("lyrn_parse_duration", "only a ':' after the third field ends it; other text after a field is unreadable",
     lambda l: l.c.lyrn_parse_duration(b"1:2:3 x") == 0 and l.c.lyrn_parse_duration(b"1:2:3:4") == 3723
     and l.c.lyrn_parse_duration(b"3:") == 3 and l.c.lyrn_parse_duration(b"3: ") == 0,
     [], [r"anything after (a|the) third field (is|are) ignored"], "all"),
    ("lyrn_parse_duration", "the number forms and limits of the examples",
     lambda l: [l.c.lyrn_parse_duration(t) for t in (b"1.5", b"1e2", b"0x10", b"-5", b"inf", b"1e999", b"1:75")]
     == [1.5, 100.0, 16.0, 0.0, 0.0, 0.0, 135.0] and l.c.lyrn_parse_duration(b"1e307:0") == float("inf"),
     [r"\"0x10\" is 16", r"\"1:75\" is 135", r"\"1e307:0\""], [], "c"),
    ("lyrn_parse_duration", "the header and lyrn(3) give the examples", lambda l: True,
     [r"\"1:2:3:4\" is 3723", r"\"1:2:3 x\""], [], "c"),
    ("lyrn_format_duration", "never signed; clamped at 2^63 - 1 seconds; 22 bytes at most",
     lambda l: l.fmt(-5.0) == (4, "0:00") and l.fmt(-1e300) == (4, "0:00")
     and l.fmt(1e300) == (22, "2562047788015215:30:07") and l.fmt(2.0 ** 63) == (22, "2562047788015215:30:07")
     and l.fmt(1e300, 23) == (22, "2562047788015215:30:07"),
     [r"\"0:00\" for zero, negative"], [r"\b27\b", r"\bsign\b"], "all"),
    ("lyrn_format_duration", "the header and lyrn(3) give the clamp and the longest text", lambda l: True,
     [r"2\^63", r"\"2562047788015215:30:07\"", r"\b22 bytes"], [], "c"),
]

# ---- Versions -----------------------------------------------------------------


def version_places(root):
    """Every place the version is written by hand, with what it says."""
    def read(rel):
        with open(os.path.join(root, rel), encoding="utf-8") as f:
            return f.read()

    def first(rel, pattern):
        m = re.search(pattern, read(rel), re.M)
        return m.group(1) if m else "<not found>"

    header = read("include/lyrn.h")
    macros = ".".join(re.search(r"^#define LYRN_VERSION_%s (\d+)$" % p, header, re.M).group(1)
                      for p in ("MAJOR", "MINOR", "PATCH"))
    return [
        ("include/lyrn.h LYRN_VERSION_*", macros),
        ("CHANGELOG.md, newest entry", first("CHANGELOG.md", r"^## (\S+)")),
        ("debian/changelog, newest entry", first("debian/changelog", r"^\S+ \(([^-)]+)")),
        ("man/lyrn.1 .TH", first("man/lyrn.1", r'^\.TH .*"lyrn (\S+)"')),
        ("man/lyrn.3 .TH", first("man/lyrn.3", r'^\.TH .*"\S+ (\d\S*)"')),
        ("bindings/python/pyproject.toml", first("bindings/python/pyproject.toml", r'^version = "([^"]+)"')),
        ("bindings/node/package.json", json.loads(read("bindings/node/package.json")).get("version")),
    ]


# ---- Quoted examples ------------------------------------------------------------
# lyrn(3) describes each export in the header's words: every "quoted" text
# (an example, a message, a result) in one's section is in the other's,
# except where the manual sets a form in italics instead of quotes.

QUOTES_ONLY_IN_HEADER = {"lyrn_parse_duration": {"SS", "MM:SS", "HH:MM:SS"}}


def quoted(section):
    return set(re.findall(r'"([^"]*)"', section))


def quote_problems(texts):
    header, man = texts["include/lyrn.h"], texts["man/lyrn.3"]
    problems = []
    for name in re.findall(r"^LYRN_API [^(]*\b(lyrn_\w+)\(", header, re.M):
        h, m = section_c(header, name), section_man(man, name)
        if h is None or m is None:
            continue
        for q in sorted(quoted(h) - quoted(m) - QUOTES_ONLY_IN_HEADER.get(name, set())):
            problems.append('man/lyrn.3: %s: the header says "%s", the manual does not' % (name, q))
        for q in sorted(quoted(m) - quoted(h)):
            problems.append('include/lyrn.h: %s: the manual says "%s", the header does not' % (name, q))
    return problems


# ---- docs/feeds.md's examples -----------------------------------------------------
# The tables of durations, dates and titles in docs/feeds.md, and its lists of
# refused dates, are run through the library: each text must give what the
# table says.

FEEDS_SECTIONS = (("## Durations", "duration"), ("## Publication dates", "date"), ("## Title cleaning", "title"))


def quoted_outside_parentheses(text):
    """The `quoted` items of a table cell or paragraph that are not inside a
    parenthetical remark (parentheses inside quotes do not count)."""
    items, depth, cur, quoted = [], 0, "", False
    for ch in text:
        if ch == "`":
            if quoted and depth == 0:
                items.append(cur)
            quoted, cur = not quoted, ""
        elif quoted:
            cur += ch
        elif ch == "(":
            depth += 1
        elif ch == ")":
            depth = max(0, depth - 1)
    return items


def feeds_examples(text):
    """(kind, input, expected text) for every example in the sections."""
    out = []
    for heading, kind in FEEDS_SECTIONS:
        body = text.split(heading + "\n", 1)[1].split("\n## ", 1)[0]
        for line in body.splitlines():
            m = re.match(r"^\| (.*) \| (.*) \|$", line)
            if m and "`" in m.group(1):
                want = m.group(2).strip()
                inputs = quoted_outside_parentheses(m.group(1))
                if kind == "title" and want.startswith("`"):
                    want = want.strip("`")
                for inp in inputs:
                    if not inp.startswith("..."):
                        out.append((kind, inp, want))
        for para in re.findall(r"^Refused \(0\):(.*?)(?:\n\n|\Z)", body, re.S | re.M):
            for inp in quoted_outside_parentheses(para):
                out.append((kind, inp, "0"))
    return out


def feeds_problems(lib, root):
    with open(os.path.join(root, "docs/feeds.md"), encoding="utf-8") as f:
        examples = feeds_examples(f.read())
    problems = []
    for kind, inp, want in examples:
        b = inp.encode("utf-8")
        if kind == "duration":
            got = lib.c.lyrn_parse_duration(b)
            ok = got == float(want)
        elif kind == "date":
            got = lib.c.lyrn_parse_rfc2822_date(b)
            ok = got == int(want)
        else:
            got = lib.take(lib.c.lyrn_clean_title(b))
            ok = got == (inp if want == "unchanged" else want)
        if not ok:
            problems.append("docs/feeds.md: %s '%s' gives %r, the table says %s" % (kind, inp, got, want))
    return len(examples), problems


# ---- The check ----------------------------------------------------------------


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        return 2
    lib = Lib(argv[1])
    root = argv[2]
    bindings = "--bindings" in argv[3:]
    docs = BINDING_DOCS if bindings else C_DOCS
    problems = []

    texts = {}
    for kind, rel in docs:
        with open(os.path.join(root, rel), encoding="utf-8") as f:
            texts[rel] = f.read()

    checked = 0
    for export, says, check, must, must_not, scope in FACTS:
        if not bindings:
            if not check(lib):
                problems.append("LIBRARY: %s: the fact '%s' is not true of the library" % (export, says))
                continue
        elif scope != "all":
            continue
        for kind, rel in docs:
            name = export if kind in ("c", "man") else NAMES.get(kind, {}).get(export)
            if not name:
                continue
            section = EXTRACTORS[kind](texts[rel], name)
            if section is None:
                problems.append("%s: no section found for %s (%s)" % (rel, name, export))
                continue
            checked += 1
            for pattern in must:
                if not re.search(pattern, section):
                    problems.append("%s: %s: does not say /%s/ (%s)" % (rel, name, pattern, says))
            for pattern in must_not:
                m = re.search(pattern, section)
                if m:
                    problems.append("%s: %s: says '%s', which the library contradicts (%s)"
                                    % (rel, name, m.group(0), says))

    if not bindings:
        runtime = lib.c.lyrn_version().decode("ascii")
        for place, value in version_places(root):
            if value != runtime:
                problems.append("VERSION: %s says %s, the library %s" % (place, value, runtime))
        if lib.c.lyrn_abi_version() != int(runtime.split(".")[0]):
            problems.append("VERSION: lyrn_abi_version() is not the major version")
        problems += quote_problems(texts)
        n, more = feeds_problems(lib, root)
        if n < 30:
            problems.append("docs/feeds.md: only %d examples found in its tables" % n)
        problems += more
        checked += n

    for p in problems:
        print("contract: " + p)
    print("contract: %d sections and examples checked against %d facts, %d disagreements"
          % (checked, len(FACTS), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
