// SPDX-License-Identifier: MIT
// lyrn_parse_feed_json against the plain reference walk in reference_walk.cpp:
// both must give null, or the same text byte for byte, for the golden feeds
// and their prefixes, for several feed URLs and for a few thousand feeds
// generated from a fixed seed out of the constructs the scanner and the rules
// tell apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lyrn.h"
#include "reference_walk.hpp"
#include "test_util.hpp"

namespace fs = std::filesystem;
using lyrn_test::exact_block;
using lyrn_test::owned_str;

namespace {

const fs::path kFixtures = LYRN_FIXTURES_DIR;
const fs::path kRoot = kFixtures / ".." / "..";

std::string read_file(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// C-style escapes for everything outside printable ASCII, so a failing input
// can be pasted back into a test.
std::string escaped(const std::string &bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
      out += "\"\"";  // so a following hex digit is not read into the escape
    }
  }
  return out;
}

std::string shown(const std::optional<std::string> &json) { return json ? *json : std::string("<null>"); }

// One conversion by both sides. With nul_terminated the feed is handed over
// with length 0 in a block that ends with its NUL; otherwise with its exact
// length in a block of exactly that size. The library's output is left in
// *lib_out when it is given.
::testing::AssertionResult same_output(const std::string &feed, const char *feed_url, bool nul_terminated,
                                       std::optional<std::string> *lib_out = nullptr) {
  // A length of 0 always means "measure it", so an empty feed goes NUL-terminated.
  if (feed.empty()) nul_terminated = true;
  std::optional<std::string> lib, ref;
  if (nul_terminated) {
    exact_block block(std::string(feed.c_str(), std::strlen(feed.c_str()) + 1));
    owned_str json(lyrn_parse_feed_json(block.data(), 0, feed_url));
    if (json) lib = std::string(json.get());
    ref = lyrn_ref::reference_feed_json(block.data(), 0, feed_url);
  } else {
    exact_block block(feed);
    owned_str json(lyrn_parse_feed_json(block.data(), block.size(), feed_url));
    if (json) lib = std::string(json.get());
    ref = lyrn_ref::reference_feed_json(block.data(), block.size(), feed_url);
  }
  if (lib_out) *lib_out = lib;
  if (lib == ref) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "\n  feed (" << feed.size() << " bytes" << (nul_terminated ? ", length 0" : "") << "): \""
         << escaped(feed) << "\"\n  feed URL: " << (feed_url ? "\"" + escaped(feed_url) + "\"" : std::string("null"))
         << "\n  library:   " << shown(lib) << "\n  reference: " << shown(ref);
}

std::vector<fs::path> golden_feeds() {
  std::vector<fs::path> paths;
  for (const fs::path &dir : {kFixtures, kRoot / "fuzz" / "seeds" / "feed"})
    for (const auto &entry : fs::directory_iterator(dir))
      if (entry.path().extension() == ".xml") paths.push_back(entry.path());
  paths.push_back(kRoot / "examples" / "sample-feed.xml");
  std::sort(paths.begin(), paths.end());
  return paths;
}

const char *const kFeedUrls[] = {
    nullptr,
    "",
    "https://feeds.example.com/music/user/all/feed.xml",
    "music/u/all//",
    "///",
    "feed.xml",
};

void golden_feeds_whole_and_every_prefix(const std::vector<fs::path> &paths);
void many_items_with_repeated_urls();
void generated_feeds();

// Each comparison runs once per markup search family (portable and wide).
TEST(Differential, GoldenFeedsWholeAndEveryPrefix) {
  const std::vector<fs::path> paths = golden_feeds();
  ASSERT_GE(paths.size(), 8u);
  lyrn_test::for_each_markup_search([&] { golden_feeds_whole_and_every_prefix(paths); });
}

TEST(Differential, ManyItemsWithRepeatedUrls) {
  lyrn_test::for_each_markup_search(many_items_with_repeated_urls);
}

TEST(Differential, GeneratedFeeds) { lyrn_test::for_each_markup_search(generated_feeds); }

void golden_feeds_whole_and_every_prefix(const std::vector<fs::path> &paths) {
  for (const fs::path &path : paths) {
    SCOPED_TRACE(path.filename().string());
    const std::string feed = read_file(path);
    ASSERT_FALSE(feed.empty());
    for (const char *url : kFeedUrls) {
      ASSERT_TRUE(same_output(feed, url, false));
      ASSERT_TRUE(same_output(feed, url, true));
    }
    // Every prefix: each cut ends the scan inside a different construct.
    for (std::size_t n = 1; n < feed.size(); ++n)
      ASSERT_TRUE(same_output(feed.substr(0, n), kFeedUrls[2], false)) << "prefix of " << n << " bytes";
  }
}

// Feeds with many items, around the sizes where the track storage and the
// set of seen stream URLs grow, with URLs that repeat, differ only in case or
// differ only after a NUL byte (equal as C strings).
void many_items_with_repeated_urls() {
  enum url_kind { distinct, every_third_repeats, case_twins, nul_twins };
  struct many_case {
    std::size_t items;
    url_kind kind;
  };
  const many_case cases[] = {
      {31, distinct}, {32, distinct}, {33, distinct}, {64, every_third_repeats}, {65, every_third_repeats},
      {129, case_twins}, {300, nul_twins}, {1500, every_third_repeats},
  };
  for (const many_case &c : cases) {
    SCOPED_TRACE(::testing::Message() << c.items << " items, kind " << c.kind);
    std::string feed = "<rss><channel><title>Many</title>";
    for (std::size_t i = 0; i < c.items; ++i) {
      std::string url = "https://cdn.example.com/m/" + std::to_string(i) + ".mp3";
      if (c.kind == every_third_repeats && i % 3 == 2) url = "https://cdn.example.com/m/" + std::to_string(i / 2) + ".mp3";
      if (c.kind == case_twins && i % 2 == 1) url = "HTTPS://cdn.example.com/m/" + std::to_string(i - 1) + ".mp3";
      if (c.kind == nul_twins) url = "https://cdn.example.com/m/" + std::to_string(i / 2) + ".mp3" + std::string(1, '\0') + std::to_string(i);
      feed += "<item><title>t" + std::to_string(i) + "</title><enclosure url='" + url + "' length='" + std::to_string(i) +
              "'/><itunes:duration>" + std::to_string(i % 7) + "." + std::to_string(i % 10) +
              "</itunes:duration></item>";
    }
    feed += "</channel></rss>";
    std::optional<std::string> json;
    ASSERT_TRUE(same_output(feed, nullptr, false, &json));
    ASSERT_TRUE(json.has_value());
  }
}

// ---- Generated feeds --------------------------------------------------------

// A fixed-seed generator that is the same on every platform (the standard
// distributions are not).
class rng {
 public:
  explicit rng(std::uint64_t seed) : s_(seed) {}
  std::uint64_t next() {
    s_ += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = s_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  bool chance(unsigned percent) { return below(100) < percent; }
  template <typename T, std::size_t N>
  T pick(const T (&options)[N]) {
    return options[below(N)];
  }

 private:
  std::uint64_t s_;
};

// Builds one feed from a skeleton of channel and items whose pieces come in
// random order, with noise between them: markup the scanner must skip or
// tolerate, letter-case changes, repeated URLs and a cut at a random point.
class feed_maker {
 public:
  explicit feed_maker(rng &r) : r_(r) {}

  std::string make() {
    out_.clear();
    if (r_.chance(30)) out_ += r_.pick(kProlog);
    noise();
    if (r_.chance(85)) start("rss");
    const bool channel = r_.chance(85);
    if (channel) start_maybe_self_closing("channel");
    const std::size_t before = r_.below(4);
    for (std::size_t i = 0; i < before; ++i) channel_piece();
    const std::size_t items = r_.below(9);
    for (std::size_t i = 0; i < items; ++i) {
      item();
      if (r_.chance(30)) channel_piece();
    }
    if (channel && r_.chance(80)) end("channel");
    if (r_.chance(20)) channel_piece();  // after the channel closed
    if (r_.chance(70)) end("rss");
    noise();
    if (r_.chance(5)) out_ += r_.pick(kUnfinished);
    if (r_.chance(25) && !out_.empty()) out_.resize(r_.below(out_.size()));
    return out_;
  }

 private:
  static constexpr const char *kProlog[] = {
      "<?xml version='1.0' encoding='UTF-8'?>\n",
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>",
      "<!DOCTYPE rss>\n",
      "<!DOCTYPE rss [<!ENTITY x 'a>b'>]>",
      "  \n",
  };
  // string_view so that a lone NUL byte can be one of them.
  static constexpr std::string_view kNoise[] = {
      "<!-- note -->", "<!-->", "<!---->", "<!-- a -- b --->", "<!--x-->",
      "<?pi stuff?>", "<?pi a='>'?>", "<!DOCTYPE x>", "<!x>", "<>", "< >", "</>", "</ >",
      "<", ">", " < ", "a<b", "<br/>", "<br>", "</br>", "<p class='a>b'>", "<x y=\"<\">",
      "<![CDATA[]]>", "<![CDATA[c&amp;d]]>", "<![CDATA[<title>]]>", "\n  ", "\t", "&amp;", "&#10;",
      "<media:title>m</media:title>", "<itunes:title>t</itunes:title>", "<image><title>Logo</title></image>",
      "<!--->-->", "<![CDATA[a]]]>", "<'x>'>", "<a\"b>\"c>", "<item/ >", "</item/>", "<item\t/>", "</ITEM >",
      std::string_view("\0", 1),
  };
  // Openers that never close, so they end the scan: only at the very end.
  static constexpr const char *kUnfinished[] = {"<!-", "<!--", "<![CDATA[x", "<?pi", "<item", "<a b='>"};
  static constexpr const char *kTitles[] = {
      "Song", "", "  ", "O_Holy_Night [4hjgkvuKES8]", "A &amp; B", "&#65;&#x42;", "&lt;b&gt;",
      "Caf\xC3\xA9", "x [4hjgkvuKES8] ", "_a__b_", "&#128512;", "tab\there",
      "&AMP; &nbsp; &#0; &#x110000;", "&quot;q&apos;", "Show", "a\\b\"c",
      "[4hjgkvuKES8]", "___",
  };
  static constexpr const char *kUrls[] = {
      "a.mp3", "a.mp3", "A.mp3", "/x/Song_Name.mp3", "dir/archive.tar.gz", "/a/.hidden", "/a/",
      "noslash", "file?v=1.5", "", "  s1.m4a ", "a&amp;b.mp3", "https://cdn.example.com/m/u/t.m4a",
      "x.y/z", "..", "/", "&#x2F;p.mp3", "caf\xC3\xA9.mp3",
  };
  static constexpr const char *kLengths[] = {"100", "-3", "12abc", "", "0", "99999999999999999999", " 7 ", "x",
                                             "+5", "0x10", "-9223372036854775809"};
  static constexpr const char *kDurations[] = {
      "3:44", "1:02:03", "90.5", "", "abc", "-5", "0", "1:16:26", "  42  ", "1e400", "5:", "1:2:3:4",
      "0.1", "0.2", "1.7", "2.35", "1e308",
  };
  static constexpr const char *kDates[] = {
      "Tue, 02 Jan 2024 10:00:00 +0200", "2024-01-02T10:00:00Z", "junk", "", "02 Jan 2024 10:00:00 GMT",
      "Mon, 31 Dec 1969 23:59:59 +0000",
  };
  static constexpr const char *kArtists[] = {"Artist", "", "  ", "The &amp; Band", "X", "Y"};
  static constexpr const char *kHrefs[] = {"art.jpg", "", "c.png", "https://img.example.com/a.png", " i.jpg "};

  // The tag name with some letters flipped to upper case now and then.
  std::string cased(const char *name) {
    std::string s(name);
    if (r_.chance(12))
      for (char &c : s)
        if (c >= 'a' && c <= 'z' && r_.chance(50)) c = static_cast<char>(c - 32);
    return s;
  }

  void noise() {
    while (r_.chance(20)) out_ += r_.pick(kNoise);
  }

  // Text between tags, at times broken up by a comment, CDATA or a NUL.
  void text(const char *value) {
    if (r_.chance(10)) out_ += " \n";
    std::string v(value);
    if (r_.chance(3)) {  // long enough that the collected text must grow
      const std::string unit = v.empty() ? std::string("x&amp;y ") : v + " ";
      v.clear();
      for (std::size_t k = 0, times = 20 + r_.below(60); k < times; ++k) v += unit;
    }
    switch (r_.below(10)) {
      case 0: {
        const std::size_t cut = r_.below(v.size() + 1);
        out_ += v.substr(0, cut);
        out_ += r_.pick(kNoise);
        out_ += v.substr(cut);
        break;
      }
      case 1:
        out_ += "<![CDATA[" + v + "]]>";
        break;
      case 2:
        out_ += v;
        out_ += '\0';
        break;
      default:
        out_ += v;
    }
    // Now and then bytes the JSON writer refuses: a stray byte that is not
    // UTF-8, or a reference that decodes to a surrogate.
    if (r_.chance(2)) out_ += r_.chance(50) ? "\xFF" : "&#xD800;";
    if (r_.chance(10)) out_ += "\t";
  }

  void start(const char *name) {
    out_ += '<';
    if (r_.chance(5)) out_ += ' ';
    out_ += cased(name);
    if (r_.chance(5)) out_ += " foo";
    out_ += '>';
  }

  void start_maybe_self_closing(const char *name) {
    if (r_.chance(8)) {
      out_ += "<" + cased(name) + "/>";
    } else {
      start(name);
    }
  }

  void end(const char *name) {
    out_ += r_.chance(5) ? "</ " : "</";
    out_ += cased(name);
    if (r_.chance(5)) out_ += ' ';
    out_ += '>';
  }

  void element(const char *name, const char *value) {
    start(name);
    text(value);
    if (r_.chance(93)) end(name);
    noise();
  }

  // One attribute in one of the loose forms; without whitespace in front now
  // and then, which glues it to the previous attribute (or, rarely, to the
  // tag name).
  void attribute(const char *name, const char *raw_value) {
    const std::string n = cased(name);
    // Now and then a NUL inside the value: read as a C string, it ends there.
    std::string value(raw_value);
    if (r_.chance(4)) value.insert(r_.below(value.size() + 1), 1, '\0');
    const char last = out_.back();
    if (r_.chance(last == '"' || last == '\'' ? 70 : 97)) out_ += ' ';
    switch (r_.below(9)) {
      case 0:
        out_ += n + "='" + value + "'";
        break;
      case 1:
        out_ += n + "=" + value;  // unquoted
        break;
      case 2:
        out_ += n;  // valueless
        break;
      case 3:
        out_ += n + " = \"" + value + "\"";
        break;
      case 4:
        out_ += "x" + n + "=\"zz\" " + n + "=\"" + value + "\"";
        break;
      case 5:
        out_ += "u=\"a>b\" " + n + "=\"" + value + "\"";
        break;
      case 6:  // repeated: the first one with a value counts
        out_ += n + "=\"" + value + "\" " + cased(name) + "='second.mp3'";
        break;
      default:
        out_ += n + "=\"" + value + "\"";
    }
  }

  void empty_tag(const char *name) {
    out_ += '<';
    out_ += cased(name);
    switch (name[0]) {
      case 'e':
        if (r_.chance(90)) attribute("url", r_.pick(kUrls));
        if (r_.chance(60)) attribute("length", r_.pick(kLengths));
        if (r_.chance(20)) attribute("type", "audio/mpeg");
        break;
      default:
        if (r_.chance(90)) attribute("href", r_.pick(kHrefs));
    }
    out_ += r_.chance(75) ? "/>" : (r_.chance(50) ? " />" : ">");
    noise();
  }

  void channel_piece() {
    switch (r_.below(5)) {
      case 0:
      case 1:
        element("title", r_.pick(kTitles));
        break;
      case 2:
        empty_tag("itunes:image");
        break;
      case 3:
        out_ += "<image><title>Logo</title></image>";
        break;
      default:
        noise();
    }
  }

  void item() {
    if (r_.chance(5)) {
      start_maybe_self_closing("item");
    } else {
      start("item");
    }
    const std::size_t pieces = 1 + r_.below(8);
    for (std::size_t i = 0; i < pieces; ++i) {
      switch (r_.below(11)) {
        case 0:
        case 1:
          element("title", r_.pick(kTitles));
          break;
        case 2:
          element("itunes:author", r_.pick(kArtists));
          break;
        case 3:
          element("author", r_.pick(kArtists));
          break;
        case 4:
          element("itunes:duration", r_.pick(kDurations));
          break;
        case 5:
          element("pubDate", r_.pick(kDates));
          break;
        case 6:
        case 7:
        case 8:
          empty_tag("enclosure");
          break;
        case 9:
          empty_tag("itunes:image");
          break;
        default:
          if (r_.chance(15)) {
            start("channel");  // sets the flag from inside an item
          } else if (r_.chance(50)) {
            end("channel");  // inside an open item
          } else {
            noise();
          }
      }
    }
    if (r_.chance(90)) end("item");
    noise();
  }

  rng &r_;
  std::string out_;
};

const char *const kGeneratedUrls[] = {
    nullptr, "", "https://feeds.example.com/music/u/all/feed.xml", "music/u/all//", "feed.xml",
    "https://host.example.com/",
};
// Not UTF-8: every document with it is refused.
const char *const kBadUrl = "\xC3\x28/bad/feed.xml";

void generated_feeds() {
  rng r(20240102);
  feed_maker maker(r);
  std::size_t with_tracks = 0, nulls = 0;
  const std::size_t kFeeds = 4000;
  for (std::size_t i = 0; i < kFeeds; ++i) {
    const std::string feed = maker.make();
    const char *url = r.chance(2) ? kBadUrl : r.pick(kGeneratedUrls);
    std::optional<std::string> json;
    ASSERT_TRUE(same_output(feed, url, false, &json)) << "generated feed #" << i;
    if (i % 4 == 0) {
      ASSERT_TRUE(same_output(feed, url, true)) << "generated feed #" << i;
    }
    if (!json) {
      ++nulls;
    } else if (json->find("\"trackCount\":0,") == std::string::npos) {
      ++with_tracks;
    }
  }
  // The generator must reach the interesting outcomes often enough for the
  // comparison to mean something: playlists with tracks, and refused documents.
  EXPECT_GT(with_tracks, kFeeds / 3);
  EXPECT_GT(nulls, kFeeds / 50);
  EXPECT_LT(nulls, kFeeds / 2);
}

}  // namespace
