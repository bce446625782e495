// SPDX-License-Identifier: MIT
// The hosts' preparation (hosts/prepare.cpp) on its own: which encoding it
// reads the bytes as, what it rewrites and repairs, and what a diagnosis
// blames. The expected texts are written out by hand, wide encodings
// included, so that nothing here shares the converter under test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "prepare.hpp"

namespace {

using lyrn_host::encoding_choice;
using lyrn_host::failure;
using lyrn_host::prepare_options;
using lyrn_host::prepared_text;

// ASCII and Latin-1 text (one byte per character) widened to UTF-16 or
// UTF-32 code units by hand.
std::string widen(const std::string &latin1, int unit, bool big_endian) {
  std::string out;
  for (unsigned char c : latin1) {
    std::string u(static_cast<std::size_t>(unit), '\0');
    u[big_endian ? static_cast<std::size_t>(unit - 1) : 0] = static_cast<char>(c);
    out += u;
  }
  return out;
}

struct prepared {
  bool ok;
  std::string text, from, warning;
  std::size_t pairs, repaired;
  bool copied;  // false when the caller's bytes were handed on as they are
  failure why;
};

prepared run(const std::string &bytes, const std::string &encoding = "auto", bool repair = false) {
  prepare_options how;
  how.encoding = lyrn_host::parse_encoding_choice(encoding);
  how.repair = repair;
  prepared_text t;
  prepared r{};
  r.ok = lyrn_host::prepare(bytes.data(), bytes.size(), how, &t, &r.why);
  r.text.assign(t.data, t.size);
  r.from = t.from;
  r.warning = t.warning;
  r.pairs = t.pairs;
  r.repaired = t.repaired;
  r.copied = t.data != bytes.data();
  return r;
}

const std::string kDoc = "<?xml version=\"1.0\"?><a>\xE9</a>";  // Latin-1 é
const std::string kDocUtf8 = "<?xml version=\"1.0\"?><a>\xC3\xA9</a>";
const std::string kLatin1Decl = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>";

// Detection order: a byte order mark (or the shape of "<?" in a wide
// encoding), then the XML declaration, then UTF-8; a forced name or "none"
// overrides all three.
TEST(Prepare, EncodingDetectionOrder) {
  const std::string latin1_in_utf16 = widen(kLatin1Decl + "\xE9</a>", 2, false);
  struct row {
    const char *name;
    std::string bytes, encoding, text, from;
  } rows[] = {
      {"utf-16le mark beats a declaration", "\xFF\xFE" + latin1_in_utf16, "auto",
       kLatin1Decl + "\xC3\xA9</a>", "UTF-16LE"},
      {"utf-16be mark", "\xFE\xFF" + widen(kDoc, 2, true), "auto", kDocUtf8, "UTF-16BE"},
      {"utf-32le mark", std::string("\xFF\xFE\0\0", 4) + widen(kDoc, 4, false), "auto", kDocUtf8, "UTF-32LE"},
      {"utf-32be mark", std::string("\0\0\xFE\xFF", 4) + widen(kDoc, 4, true), "auto", kDocUtf8, "UTF-32BE"},
      {"utf-16le without a mark", widen(kDoc, 2, false), "auto", kDocUtf8, "UTF-16LE"},
      {"utf-16be without a mark", widen(kDoc, 2, true), "auto", kDocUtf8, "UTF-16BE"},
      {"utf-32le without a mark", widen(kDoc, 4, false), "auto", kDocUtf8, "UTF-32LE"},
      {"utf-32be without a mark", widen(kDoc, 4, true), "auto", kDocUtf8, "UTF-32BE"},
      // The library skips the mark itself; the declaration is not read.
      {"utf-8 mark beats a declaration", "\xEF\xBB\xBF" + kLatin1Decl + "\xC3\xA9</a>", "auto",
       "\xEF\xBB\xBF" + kLatin1Decl + "\xC3\xA9</a>", ""},
      {"declaration", kLatin1Decl + "\xE9</a>", "auto", kLatin1Decl + "\xC3\xA9</a>", "ISO-8859-1"},
      {"no declaration: utf-8, no guessing", "<a>\xE9</a>", "auto", "<a>\xE9</a>", ""},
      {"whitespace before the declaration", " \n" + kLatin1Decl + "\xE9</a>", "auto",
       " \n" + kLatin1Decl + "\xC3\xA9</a>", "ISO-8859-1"},
      {"single quotes, spaces around '='", "<?xml version='1.0' encoding = 'latin1'?>\xE9", "auto",
       "<?xml version='1.0' encoding = 'latin1'?>\xC3\xA9", "latin1"},
      {"'encoding' inside another name", "<?xml version=\"1.0\" xencoding=\"latin1\"?>\xE9", "auto",
       "<?xml version=\"1.0\" xencoding=\"latin1\"?>\xE9", ""},
      {"no '=' after 'encoding'", "<?xml encoding \"latin1\"?>\xE9", "auto", "<?xml encoding \"latin1\"?>\xE9", ""},
      {"no quote", "<?xml encoding=latin1?>\xE9", "auto", "<?xml encoding=latin1?>\xE9", ""},
      {"quote not closed before '>'", "<?xml encoding=\"latin1?>\"\xE9", "auto", "<?xml encoding=\"latin1?>\"\xE9", ""},
      {"empty name", "<?xml encoding=\"\"?>\xE9", "auto", "<?xml encoding=\"\"?>\xE9", ""},
      {"only the declaration is read", "<?xml version=\"1.0\"?><a encoding=\"latin1\">\xE9", "auto",
       "<?xml version=\"1.0\"?><a encoding=\"latin1\">\xE9", ""},
      {"'<?xml' must end in whitespace", "<?xmlx encoding=\"latin1\"?>\xE9", "auto",
       "<?xmlx encoding=\"latin1\"?>\xE9", ""},
      {"declared ascii is read as utf-8", "<?xml encoding=\"US-ASCII\"?>\xC3\xA9", "auto",
       "<?xml encoding=\"US-ASCII\"?>\xC3\xA9", ""},
      {"declared utf8", "<?xml encoding=\"utf8\"?>\xC3\xA9", "auto", "<?xml encoding=\"utf8\"?>\xC3\xA9", ""},
      {"forced utf-8 beats a declaration", kLatin1Decl + "\xE9</a>", "utf8", kLatin1Decl + "\xE9</a>", ""},
      {"forced name without a declaration", "<a>\xE9</a>", "ISO-8859-1", "<a>\xC3\xA9</a>", "ISO-8859-1"},
      {"none beats a mark", "\xFF\xFE" + widen("<a/>", 2, false), "NONE", "\xFF\xFE" + widen("<a/>", 2, false), ""},
  };
  for (const row &r : rows) {
    const prepared p = run(r.bytes, r.encoding);
    ASSERT_TRUE(p.ok) << r.name << ": " << p.why.message;
    EXPECT_EQ(p.text, r.text) << r.name;
    EXPECT_EQ(p.from, r.from) << r.name;
    EXPECT_EQ(p.copied, !r.from.empty()) << r.name << ": bytes copied without a reason";
    EXPECT_EQ(p.warning, "") << r.name;
  }
}

// A declaration that contradicts the bytes is followed with a warning, or
// not followed when the bytes cannot be in it.
TEST(Prepare, DeclarationsThatContradictTheBytes) {
  for (const char *wide : {"UTF-16", "utf-32le", "UCS-2", "UCS-4", "UTF16", "UTF32"}) {
    const prepared p = run(std::string("<?xml version=\"1.0\" encoding=\"") + wide + "\"?><a/>");
    ASSERT_TRUE(p.ok) << wide;
    EXPECT_EQ(p.from, "") << wide;
    EXPECT_EQ(p.warning, std::string("the XML declaration names ") + wide +
                             " but the bytes are not in it; they are read as UTF-8")
        << wide;
  }
  // Valid UTF-8 under another declared name: transcoded as declared, with a
  // warning; plain ASCII under it gives none (both readings agree).
  const prepared stale = run(kLatin1Decl + "\xC3\xA9</a>");
  EXPECT_EQ(stale.text, kLatin1Decl + "\xC3\x83\xC2\xA9</a>");
  EXPECT_NE(stale.warning.find("names ISO-8859-1 but the bytes are valid UTF-8"), std::string::npos);
  EXPECT_EQ(run(kLatin1Decl + "e</a>").warning, "");
}

TEST(Prepare, TranscodingFailures) {
  const prepared unknown = run("<?xml version=\"1.0\"\n encoding=\"x-no-such\"?>");
  ASSERT_FALSE(unknown.ok);
  EXPECT_EQ(unknown.why.code, lyrn_host::kUnknownEncoding);
  EXPECT_EQ(unknown.why.where.offset, 31u);
  EXPECT_EQ(unknown.why.where.line, 2u);
  EXPECT_EQ(unknown.why.where.column, 12u);
  const prepared forced = run("<a/>", "x-no-such");
  ASSERT_FALSE(forced.ok);
  EXPECT_EQ(forced.why.code, lyrn_host::kUnknownEncoding);
  EXPECT_FALSE(forced.why.has_position);
  // An odd byte count in UTF-16: the input ends inside a character.
  const prepared cut = run("\xFF\xFE" + widen("<a>\n\xE9", 2, false) + "x");
  ASSERT_FALSE(cut.ok);
  EXPECT_EQ(cut.why.code, lyrn_host::kCannotDecode);
  EXPECT_EQ(cut.why.where.offset, 12u);  // in the input, mark included
  EXPECT_EQ(cut.why.where.line, 2u);
  EXPECT_EQ(cut.why.where.column, 2u);
  EXPECT_EQ(cut.why.message, "the input ends inside a UTF-16LE character at byte offset 12 (line 2, column 2)");
}

// Text that grows past the first guess of its size (every Latin-1 byte
// becomes two) comes out whole.
TEST(Prepare, TranscodedTextLongerThanTheFirstGuess) {
  const std::string body(5000, '\xE9');
  std::string want;
  for (std::size_t i = 0; i < body.size(); ++i) want += "\xC3\xA9";
  const prepared p = run("<a>" + body, "ISO-8859-1");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.text, "<a>" + want);
}

// A high surrogate reference followed at once by a low one is the one
// character they encode; every other arrangement is left as it is.
TEST(Prepare, ReferencePairsBecomeOneCharacter) {
  const std::string note = "\xF0\x9F\x8E\xB5";  // U+1F3B5
  struct row {
    const char *in;
    std::string out;
  } rows[] = {
      {"a&#xD83C;&#xDFB5;b", "a" + note + "b"},
      {"&#55356;&#57269;", note},
      {"&#XD83C;&#xdfB5;&#xD83C;&#xDFB5;", note + note},
      {"&#xD83C;x&#xDFB5;", "&#xD83C;x&#xDFB5;"},          // not adjacent
      {"&#xD83C;&#xD83C;", "&#xD83C;&#xD83C;"},            // two highs
      {"&#xDFB5;&#xD83C;", "&#xDFB5;&#xD83C;"},            // low first
      {"&#xD83C;&#xDFB5", "&#xD83C;&#xDFB5"},              // unterminated
      {"&#xD83C;&amp;", "&#xD83C;&amp;"},
      {"&#xD83G;&#xDFB5;", "&#xD83G;&#xDFB5;"},            // not a hex digit
      {"&#x;&#xDFB5;", "&#x;&#xDFB5;"},                    // no digits
      {"&#;&#xDFB5;", "&#;&#xDFB5;"},
      {"&#000000055356;&#57269;", "&#000000055356;&#57269;"},  // name longer than 12 bytes
      {"&#00000055356;&#57269;", note},                        // name of 12 bytes
      {"&#x1F3B5;&#xD83C", "&#x1F3B5;&#xD83C"},
  };
  for (const row &r : rows) {
    const prepared p = run(r.in);
    EXPECT_EQ(p.text, r.out) << r.in;
    EXPECT_EQ(p.pairs != 0, r.out != r.in) << r.in;
  }
  EXPECT_EQ(run("&#xD83C;&#xDFB5;", "none").text, "&#xD83C;&#xDFB5;");
}

// Repair replaces each maximal invalid part of a sequence with one U+FFFD,
// as Unicode recommends, and lone surrogate references too.
TEST(Prepare, RepairReplacesMaximalInvalidParts) {
  const std::string R = "\xEF\xBF\xBD";
  struct row {
    std::string in, out;
    std::size_t replaced;
  } rows[] = {
      {"ok \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5 \xF4\x8F\xBF\xBF", "ok \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5 \xF4\x8F\xBF\xBF", 0},
      {"\xC0\xAF", R + R, 2},          // C0 never starts a sequence
      {"\xC1\xBF", R + R, 2},
      {"\xE0\x80\x80", R + R + R, 3},  // overlong three-byte form
      {"\xE0\xA0\x80", "\xE0\xA0\x80", 0},
      {"\xED\xA0\x80", R + R + R, 3},  // encoded surrogate
      {"\xED\x9F\xBF", "\xED\x9F\xBF", 0},
      {"\xF0\x80\x80\x80", R + R + R + R, 4},
      {"\xF0\x90\x80\x80", "\xF0\x90\x80\x80", 0},
      {"\xF4\x90\x80\x80", R + R + R + R, 4},  // above U+10FFFF
      {"\xF5\x80", R + R, 2},
      {"\xE2\x82x", R + "x", 1},               // cut short: one part
      {"a\xE2\x82", "a" + R, 1},               // at the end
      {"\xF0\x9F\x8E", R, 1},
      {"\x80\xBF", R + R, 2},
      {"A&#xD800;B&#56320;C", "A" + R + "B" + R + "C", 2},
      {"&#xD83C;&#xDFB5;", "\xF0\x9F\x8E\xB5", 0},  // a pair is no lone surrogate
      {"&#xD7FF;&#xE000;", "&#xD7FF;&#xE000;", 0},
  };
  for (const row &r : rows) {
    const prepared p = run(r.in, "auto", true);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.text, r.out) << r.in;
    EXPECT_EQ(p.repaired, r.replaced) << r.in;
  }
  // Under "none" a pair is not rewritten, so repair sees two lone halves.
  EXPECT_EQ(run("&#xD83C;&#xDFB5;\xFF", "none", true).text, R + R + R);
}

TEST(Positions, LinesEndWithLfCrLfOrALoneCrAndColumnsCountCharacters) {
  const std::string t = "a\r\nb\rc\n\xC3\xA9\xE2\x82\xAC" "x";
  struct row {
    std::size_t offset, line, column;
  } rows[] = {{0, 1, 1}, {1, 1, 2}, {3, 2, 1}, {5, 3, 1}, {7, 4, 1}, {9, 4, 2}, {12, 4, 3}};
  for (const row &r : rows) {
    const lyrn_host::text_position p = lyrn_host::position_of(t.data(), t.size(), r.offset);
    EXPECT_EQ(p.line, r.line) << r.offset;
    EXPECT_EQ(p.column, r.column) << r.offset;
  }
  // A CR that is the last byte ends its line.
  EXPECT_EQ(lyrn_host::position_of("a\r", 2, 2).line, 2u);
}

failure diagnose(const std::string &text, const char *url, lyrn_host::document_kind kind) {
  prepared_text t;
  t.data = text.data();
  t.size = text.size();
  return lyrn_host::diagnose(t, url, kind);
}

// The diagnosis blames the first spot the library's writer refuses, not a
// spot in a field it never writes, and blames nothing it cannot see.
TEST(Diagnose, BlamesTheRightCause) {
  using lyrn_host::document_kind;
  const std::string feed =
      "<rss><channel><description>\xFF</description><item><title>A\xFE</title>"
      "<enclosure url=\"a.mp3\"/></item></channel></rss>";
  failure f = diagnose(feed, nullptr, document_kind::feed);
  EXPECT_EQ(f.code, lyrn_host::kInvalidUtf8);
  EXPECT_EQ(f.where.offset, feed.find('\xFE'));
  EXPECT_NE(f.message.find("the feed is not UTF-8"), std::string::npos);
  // Many spots the library never writes before the one it refuses: the
  // search over them still finds the last.
  std::string many = "<rss><channel>";
  for (int i = 0; i < 12; ++i) many += "<description>\xFF</description>";
  many += "<item><title>A\xFE</title><enclosure url=\"a.mp3\"/></item>";
  for (int i = 0; i < 5; ++i) many += "<description>\xFF</description>";
  many += "</channel></rss>";
  f = diagnose(many, nullptr, document_kind::feed);
  EXPECT_EQ(f.code, lyrn_host::kInvalidUtf8);
  EXPECT_EQ(f.where.offset, many.find('\xFE'));
  // A surrogate reference in a title is the feed's cause; in a listing a
  // reference is text like any other.
  const std::string ref = "<rss><channel><title>&#xDC00;</title></channel></rss>";
  f = diagnose(ref, nullptr, document_kind::feed);
  EXPECT_EQ(f.code, lyrn_host::kSurrogateReference);
  EXPECT_EQ(f.where.offset, 21u);
  EXPECT_NE(f.message.find("stands for U+DC00"), std::string::npos);
  EXPECT_EQ(diagnose(ref, nullptr, document_kind::listing).code, lyrn_host::kCannotWrite);
  // The URL is blamed only when the document itself shows no cause.
  f = diagnose("<rss/>", "http://a/\xFF", document_kind::feed);
  EXPECT_EQ(f.code, lyrn_host::kInvalidUtf8);
  EXPECT_TRUE(f.about_url);
  EXPECT_FALSE(diagnose("<rss>\xFF</rss>", "http://a/\xFF", document_kind::feed).about_url);
  // A listing with an invalid byte in a link.
  f = diagnose("<a href=\"./\xFF/\">x</a>", nullptr, document_kind::listing);
  EXPECT_EQ(f.code, lyrn_host::kInvalidUtf8);
  EXPECT_EQ(f.where.offset, 11u);
  EXPECT_NE(f.message.find("the listing is not UTF-8"), std::string::npos);
  // Nothing to blame.
  f = diagnose("<rss><channel/></rss>", nullptr, document_kind::feed);
  EXPECT_EQ(f.code, lyrn_host::kCannotWrite);
  EXPECT_FALSE(f.has_position);
}

TEST(Diagnose, NonFiniteDurations) {
  using lyrn_host::document_kind;
  // Tracks with the same address are one track: each item has its own.
  auto item = [](const char *url) {
    return std::string("<item><enclosure url=\"") + url + "\"/><itunes:duration>1e308</itunes:duration></item>";
  };
  // Each duration is finite, their sum is not.
  const std::string two = "<rss><channel>" + item("a") + item("b") + "</channel></rss>";
  EXPECT_EQ(diagnose(two, nullptr, document_kind::feed).code, lyrn_host::kNonFiniteDuration);
  // One that is not finite itself (1e307 hours); the end tag may carry
  // whitespace and any letter case.
  const std::string upper = "<rss><channel><item><enclosure url=\"a\"/><itunes:duration>1e307:0:0</  ITUNES:Duration>"
                            "</item></channel></rss>";
  EXPECT_EQ(diagnose(upper, nullptr, document_kind::feed).code, lyrn_host::kNonFiniteDuration);
  EXPECT_EQ(diagnose("<rss><channel>" + item("a") + "</channel></rss>", nullptr, document_kind::feed).code,
            lyrn_host::kCannotWrite);
  // With an invalid byte too in a field the library never writes, the
  // durations are named.
  const std::string both = "<rss><channel><description>\xFF</description>" + item("a") + item("b") + "</channel></rss>";
  EXPECT_EQ(diagnose(both, nullptr, document_kind::feed).code, lyrn_host::kNonFiniteDuration);
}

TEST(Failures, TooLargeNamesTheDocument) {
  EXPECT_EQ(lyrn_host::too_large(lyrn_host::document_kind::feed, 10, 5).message,
            "the playlist document is 10 bytes, more than the 5 that one string can hold here");
  EXPECT_EQ(lyrn_host::too_large(lyrn_host::document_kind::listing, 10, 5).message,
            "the slug list document is 10 bytes, more than the 5 that one string can hold here");
}

}  // namespace
