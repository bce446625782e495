// SPDX-License-Identifier: MIT
// Hostile inputs: huge runs, unclosed and deeply nested markup, masses of
// items, every byte value, NUL bytes inside the span and constructs left open
// at the end. Results are checked; the cost of the large cases is printed for
// size N and 2N with their ratio (about 2 for linear work) and not asserted.
//
// Sizes are divided by 4 under AddressSanitizer, or by LYRN_HOSTILE_SCALE
// when that is set, to keep the run short.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <algorithm>
#include <vector>
#include <string>

#include "collisions.hpp"
#include "lyrn.h"
#include "string_set.hpp"
#include "test_util.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define LYRN_HOSTILE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LYRN_HOSTILE_ASAN 1
#endif
#endif

namespace {

using lyrn_test::exact_block;

std::size_t scaled(std::size_t n) {
  std::size_t divisor = 1;
#ifdef LYRN_HOSTILE_ASAN
  divisor = 4;
#endif
  if (const char *env = std::getenv("LYRN_HOSTILE_SCALE")) {
    const long d = std::atol(env);
    if (d > 0) divisor = static_cast<std::size_t>(d);
  }
  return n / divisor ? n / divisor : 1;
}

// A parsed playlist, freed at the end of the scope.
class playlist {
 public:
  explicit playlist(const char *json) : doc_(json ? yyjson_read(json, std::strlen(json), 0) : nullptr) {}
  playlist(const playlist &) = delete;
  playlist &operator=(const playlist &) = delete;
  ~playlist() { yyjson_doc_free(doc_); }
  bool ok() const { return doc_ != nullptr; }
  yyjson_val *root() const { return yyjson_doc_get_root(doc_); }
  std::string name() const { return str(root(), "name"); }
  std::size_t track_count() const {
    const uint64_t n = yyjson_get_uint(yyjson_obj_get(root(), "trackCount"));
    EXPECT_EQ(n, yyjson_arr_size(yyjson_obj_get(root(), "tracks")));
    return static_cast<std::size_t>(n);
  }
  yyjson_val *track(std::size_t i) const { return yyjson_arr_get(yyjson_obj_get(root(), "tracks"), i); }
  static std::string str(yyjson_val *obj, const char *key) {
    yyjson_val *v = yyjson_obj_get(obj, key);
    return yyjson_is_str(v) ? std::string(yyjson_get_str(v), yyjson_get_len(v)) : std::string("<not a string>");
  }

 private:
  yyjson_doc *doc_;
};

// Converts the bytes with their exact length from an exactly-sized block.
struct conversion {
  lyrn_test::owned_str json;
  double ms;
};

conversion convert(const std::string &feed, const char *url = nullptr) {
  exact_block block(feed);
  const auto t0 = std::chrono::steady_clock::now();
  char *json = lyrn_parse_feed_json(block.data(), block.size(), url);
  const auto t1 = std::chrono::steady_clock::now();
  return {lyrn_test::owned_str(json), std::chrono::duration<double, std::milli>(t1 - t0).count()};
}

// Runs a case at size n and 2n, checks both results and prints the times.
void at_two_sizes(const char *what, std::size_t n, const std::function<std::string(std::size_t)> &build,
                  const std::function<void(const char *json, std::size_t n)> &check) {
  double ms[2];
  for (int k = 0; k < 2; ++k) {
    const std::size_t size = n << k;
    SCOPED_TRACE(std::string(what) + ", size " + std::to_string(size));
    const std::string feed = build(size);
    conversion c = convert(feed);
    ms[k] = c.ms;
    check(c.json.get(), size);
    EXPECT_STREQ(lyrn_last_error(), "");
  }
  std::printf("hostile: %-34s N=%-9zu %9.1f ms   2N %9.1f ms   ratio %.2f\n", what, n, ms[0], ms[1],
              ms[0] > 0 ? ms[1] / ms[0] : 0.0);
}

const std::string kHead = "<rss><channel><title>T</title>";
const std::string kOneItem = "<item><title>Song</title><enclosure url='https://cdn.example.com/s.mp3'/></item>";
const std::string kTail = "</channel></rss>";

TEST(Hostile, OneTextRunOf50MB) {
  at_two_sizes(
      "one text run (bytes)", scaled(25u << 20),
      [](std::size_t n) { return "<rss><channel><title>" + std::string(n, 'a') + "</title>" + kOneItem + kTail; },
      [](const char *json, std::size_t n) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.name(), std::string(n, 'a'));
        EXPECT_EQ(p.track_count(), 1u);
      });
}

TEST(Hostile, OneAttributeValueOf10MB) {
  at_two_sizes(
      "one attribute value (bytes)", scaled(5u << 20),
      [](std::size_t n) {
        return kHead + "<item><title>x</title><enclosure url=\"" + std::string(n, 'u') + "\" length='7'/></item>" +
               kTail;
      },
      [](const char *json, std::size_t n) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        ASSERT_EQ(p.track_count(), 1u);
        EXPECT_EQ(playlist::str(p.track(0), "streamURL"), std::string(n, 'u'));
        EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(p.track(0), "byteLength")), 7);
      });
}

TEST(Hostile, AMillionAmpersands) {
  at_two_sizes(
      "'&' bytes in a title", scaled(500000),
      [](std::size_t n) {
        return kHead + "<item><title>" + std::string(n, '&') + "</title><enclosure url='u'/></item>" + kTail;
      },
      [](const char *json, std::size_t n) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        ASSERT_EQ(p.track_count(), 1u);
        EXPECT_EQ(playlist::str(p.track(0), "title"), std::string(n, '&'));  // no '&' starts a reference
      });
}

TEST(Hostile, AMillionLessThanSigns) {
  at_two_sizes(
      "'<' bytes after an item", scaled(500000),
      [](std::size_t n) { return kHead + kOneItem + std::string(n, '<'); },
      [](const char *json, std::size_t) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.name(), "T");
        EXPECT_EQ(p.track_count(), 1u);  // the item before them stays
      });
  // Each '<' opening a tag that a later '>' closes: one tag name of n bytes.
  at_two_sizes(
      "'<' bytes closed by one '>'", scaled(500000),
      [](std::size_t n) { return kHead + std::string(n, '<') + ">" + kOneItem + kTail; },
      [](const char *json, std::size_t) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.track_count(), 1u);
      });
}

TEST(Hostile, NestedUnclosedTags) {
  at_two_sizes(
      "nested unclosed tags", scaled(100000),
      [](std::size_t n) {
        std::string f = kHead;
        for (std::size_t i = 0; i < n; ++i) f += "<div class='d'>";
        return f + kOneItem + kTail;
      },
      [](const char *json, std::size_t) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.name(), "T");
        EXPECT_EQ(p.track_count(), 1u);
      });
  // Items opened and never closed: each new one discards the one before.
  at_two_sizes(
      "nested unclosed items", scaled(100000),
      [](std::size_t n) {
        std::string f = kHead;
        for (std::size_t i = 0; i < n; ++i) f += "<item><enclosure url='u" + std::to_string(i) + "'/>";
        return f + "</item>" + kTail;
      },
      [](const char *json, std::size_t n) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        ASSERT_EQ(p.track_count(), 1u);
        EXPECT_EQ(playlist::str(p.track(0), "streamURL"), "u" + std::to_string(n - 1));
      });
}

TEST(Hostile, ItemsSharingOneEnclosureUrl) {
  at_two_sizes(
      "items sharing one URL", scaled(50000),
      [](std::size_t n) {
        std::string f = kHead;
        for (std::size_t i = 0; i < n; ++i)
          f += "<item><title>t" + std::to_string(i) + "</title><enclosure url='https://cdn.example.com/same.mp3'/></item>";
        return f + kTail;
      },
      [](const char *json, std::size_t) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        ASSERT_EQ(p.track_count(), 1u);
        EXPECT_EQ(playlist::str(p.track(0), "title"), "t0");  // the first item wins
      });
}

TEST(Hostile, ItemsWithDistinctLongUrlsThatShareTheirStart) {
  const std::string prefix = "https://cdn.example.com/" + std::string(2000, 'p');
  at_two_sizes(
      "items with distinct 2 KB URLs", scaled(50000),
      [&](std::size_t n) {
        std::string f = kHead;
        f.reserve(n * (prefix.size() + 64));
        for (std::size_t i = 0; i < n; ++i)
          f += "<item><title>t</title><enclosure url='" + prefix + std::to_string(i) + "'/></item>";
        return f + kTail;
      },
      [&](const char *json, std::size_t n) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        ASSERT_EQ(p.track_count(), n);
        EXPECT_EQ(playlist::str(p.track(n - 1), "streamURL"), prefix + std::to_string(n - 1));
      });
}

// Every byte value inside a channel title, read with an exact length.
TEST(Hostile, EveryByteValueInATitle) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE("byte " + std::to_string(b));
    const char c = static_cast<char>(b);
    conversion r = convert("<rss><channel><title>a" + std::string(1, c) + "b</title>" + kOneItem + kTail);
    EXPECT_STREQ(lyrn_last_error(), "");
    if (b >= 0x80) {  // a lone byte of 0x80 or above is never valid UTF-8
      EXPECT_EQ(r.json, nullptr);
      continue;
    }
    playlist p(r.json.get());
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p.track_count(), 1u);
    if (b == '<')
      EXPECT_EQ(p.name(), "Playlist");  // "<b</title>" is one start tag: the title never ends
    else if (b == 0)
      EXPECT_EQ(p.name(), "a");  // the name is a C string from here on
    else
      EXPECT_EQ(p.name(), "a" + std::string(1, c) + "b");
  }
  // All 256 at once: one byte that is not valid UTF-8 is enough for null.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  conversion r = convert(kHead + "<item><title>" + all + "</title><enclosure url='u'/></item>" + kTail);
  EXPECT_EQ(r.json, nullptr);
  EXPECT_STREQ(lyrn_last_error(), "");
}

TEST(Hostile, EveryByteValueInASlug) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE("byte " + std::to_string(b));
    const char c = static_cast<char>(b);
    const std::string listing = "<a href='./a" + std::string(1, c) + "/'>x</a>";
    exact_block block(listing);
    lyrn_test::owned_str json(lyrn_discover_slugs_json(block.data(), block.size()));
    EXPECT_STREQ(lyrn_last_error(), "");
    const bool ends_link = c == '\'' || c == '/';
    const bool unsafe = b <= 0x20 || b == 0x7F || c == '#' || c == '%' || c == '?' || c == '\\';
    if (ends_link || unsafe) {
      EXPECT_STREQ(lyrn_test::str_or(json.get()).c_str(), "[]");
    } else if (b >= 0x80) {
      EXPECT_EQ(json, nullptr);
    } else {
      const std::string esc = c == '"' ? "\\\"" : std::string(1, c);
      EXPECT_EQ(lyrn_test::str_or(json.get()), "[\"a" + esc + "\"]");
    }
  }
}

TEST(Hostile, NulBytesInsideTheSpan) {
  static const char kBytes[] =
      "<rss><channel><title>A\0B</title><item><title>x\0y</title><enclosure url='u1'/></item>\0"
      "<item><enclosure url='u\0' length='5'/><enclosure url='u2'/></item></channel></rss>";
  const std::string feed(kBytes, sizeof kBytes - 1);
  conversion r = convert(feed);
  playlist p(r.json.get());
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p.name(), "A");  // a text holding a NUL ends there
  ASSERT_EQ(p.track_count(), 2u);  // the scan goes on past every NUL
  EXPECT_EQ(playlist::str(p.track(0), "title"), "x");
  EXPECT_EQ(playlist::str(p.track(1), "streamURL"), "u2");
  EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(p.track(1), "byteLength")), 5);

  // Measured as a C string, the same bytes end at their first NUL.
  lyrn_test::owned_str measured(lyrn_parse_feed_json(feed.c_str(), 0, nullptr));
  playlist q(measured.get());
  ASSERT_TRUE(q.ok());
  EXPECT_EQ(q.name(), "Playlist");
  EXPECT_EQ(q.track_count(), 0u);
}

TEST(Hostile, ValidUtf8ExceptOneByte) {
  std::string feed = "<rss><channel><title>Caf\xc3\xa9 \xe2\x99\xab</title>";
  for (int i = 0; i < 50; ++i)
    feed += "<item><title>N\xc3\xbamero " + std::to_string(i) + " \xf0\x9f\x8e\xb5</title><itunes:author>" +
            (i == 37 ? std::string("Jos\xe9") : std::string("Jos\xc3\xa9")) + "</itunes:author><enclosure url='u" +
            std::to_string(i) + "'/></item>";
  feed += kTail;
  lyrn_parse_feed_json(nullptr, 0, nullptr);  // leaves "null xml", which the call must clear
  conversion r = convert(feed);
  EXPECT_EQ(r.json, nullptr);
  EXPECT_STREQ(lyrn_last_error(), "");

  feed.replace(feed.find("Jos\xe9"), 4, "Jos\xc3\xa9");  // the same feed, all valid
  conversion fixed = convert(feed);
  playlist p(fixed.json.get());
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p.track_count(), 50u);
  EXPECT_EQ(p.name(), "Caf\xc3\xa9 \xe2\x99\xab");
}

// A construct left open at the end swallows the rest; the items closed
// before it stay, the item it sits in gives no track.
TEST(Hostile, ConstructsLeftOpenAtTheEnd) {
  const struct {
    const char *name;
    const char *opener;
  } cases[] = {
      {"comment", "<!-- never closed </item>"},
      {"CDATA section", "<title><![CDATA[never closed ]]</title></item>"},
      {"declaration", "<!DOCTYPE never closed </item"},
      {"processing instruction", "<?pi never closed </item"},
      {"quoted attribute", "<enclosure url='https://cdn.example.com/open.mp3/></item></channel></rss>"},
      {"tag", "</item"},
      {"lone '<'", "<"},
  };
  const std::string two = "<item><enclosure url='u1'/></item><item><enclosure url='u2'/></item>";
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    conversion r = convert(kHead + two + "<item><title>3</title><enclosure url='u3'/>" + c.opener);
    playlist p(r.json.get());
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p.name(), "T");
    EXPECT_EQ(p.track_count(), 2u);
    EXPECT_STREQ(lyrn_last_error(), "");
  }
  // The same, with a long tail behind the opener: the search for its end is
  // one pass.
  at_two_sizes(
      "open comment before a long tail", scaled(4u << 20),
      [&](std::size_t n) { return kHead + two + "<!--" + std::string(n, '-'); },
      [](const char *json, std::size_t) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.track_count(), 2u);
      });
}

// A directory listing from the network can be any size: a page of many
// distinct links, and one of the same link repeated.
TEST(Hostile, ListingsWithManyLinks) {
  double ms[2];
  for (int k = 0; k < 2; ++k) {
    const std::size_t n = scaled(10000) << k;
    std::string html;
    for (std::size_t i = 0; i < n; ++i) html += "<a href=\"./slug-" + std::to_string(i) + "/\">s</a>\n";
    exact_block block(html);
    const auto t0 = std::chrono::steady_clock::now();
    lyrn_test::owned_str json(lyrn_discover_slugs_json(block.data(), block.size()));
    ms[k] = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    ASSERT_NE(json, nullptr);
    yyjson_doc *doc = yyjson_read(json.get(), std::strlen(json.get()), 0);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(yyjson_arr_size(yyjson_doc_get_root(doc)), n);
    yyjson_doc_free(doc);
  }
  std::printf("hostile: %-34s N=%-9zu %9.1f ms   2N %9.1f ms   ratio %.2f\n", "listing of distinct links",
              scaled(10000), ms[0], ms[1], ms[0] > 0 ? ms[1] / ms[0] : 0.0);

  for (int k = 0; k < 2; ++k) {
    const std::size_t n = scaled(200000) << k;
    std::string html;
    for (std::size_t i = 0; i < n; ++i) html += "<a href='./same/'>s</a>";
    exact_block block(html);
    const auto t0 = std::chrono::steady_clock::now();
    lyrn_test::owned_str json(lyrn_discover_slugs_json(block.data(), block.size()));
    ms[k] = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_STREQ(lyrn_test::str_or(json.get()).c_str(), "[\"same\"]");
  }
  std::printf("hostile: %-34s N=%-9zu %9.1f ms   2N %9.1f ms   ratio %.2f\n", "listing of one repeated link",
              scaled(200000), ms[0], ms[1], ms[0] > 0 ? ms[1] / ms[0] : 0.0);
}

// ---- Crafted hash collisions -------------------------------------------------
// Stream URLs and slugs whose hashes under the old, fixed hash share their
// low 20 bits, against ordinary ones of the same length, prefix and suffix.
// Judged by the duplicate sets' counted work (slots probed and strings
// compared, per entry): with a public hash the crafted ones cost about n/2
// probes each, with a secret key the same as ordinary ones.

// The sets' work per entry during f, on this thread.
template <class F>
double set_work_per_entry(std::size_t entries, F f) {
  const lyrn::string_set_work before = lyrn::g_string_set_work;
  f();
  const lyrn::string_set_work &after = lyrn::g_string_set_work;
  return static_cast<double>((after.probes - before.probes) + (after.compares - before.compares)) /
         static_cast<double>(entries);
}

// The crafted strings really collide under the old hash, and are distinct.
void expect_crafted(const std::vector<std::string> &crafted, std::size_t n) {
  ASSERT_EQ(crafted.size(), n);
  const std::uint64_t mask = (std::uint64_t{1} << lyrn_test::kCollidingBits) - 1;
  const std::uint64_t low = lyrn_test::old_unkeyed_hash(crafted[0].data(), crafted[0].size()) & mask;
  for (const std::string &s : crafted)
    ASSERT_EQ(lyrn_test::old_unkeyed_hash(s.data(), s.size()) & mask, low) << s;
  std::vector<std::string> sorted = crafted;
  std::sort(sorted.begin(), sorted.end());
  ASSERT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

const std::size_t kCollisionSizes[] = {20000, 100000};
constexpr double kCraftedMargin = 1.5;

std::string feed_of_urls(const std::vector<std::string> &urls) {
  std::string f = kHead;
  f.reserve(urls.size() * 80);
  for (const std::string &u : urls) f += "<item><title>t</title><enclosure url=\"" + u + "\" length='1'/></item>";
  return f + kTail;
}

TEST(Hostile, CraftedStreamUrlCollisionsCostWhatOrdinaryUrlsCost) {
  const std::string prefix = "https://cdn.example.com/";  // 24 bytes: three whole words
  const std::string suffix = ".mp3";
  const std::string alphabet = lyrn_test::ascii_alphabet(true, "\"&");
  for (std::size_t size : kCollisionSizes) {
    const std::size_t n = scaled(size);
    SCOPED_TRACE(n);
    const std::vector<std::string> crafted = lyrn_test::colliding_strings(n, prefix, suffix, alphabet);
    expect_crafted(crafted, n);
    double work[2];
    const std::vector<std::string> inputs[2] = {lyrn_test::ordinary_strings(n, prefix, suffix, alphabet), crafted};
    for (int k = 0; k < 2; ++k) {
      const std::string feed = feed_of_urls(inputs[k]);
      conversion c;
      work[k] = set_work_per_entry(n, [&] { c = convert(feed); });
      playlist p(c.json.get());
      ASSERT_TRUE(p.ok());
      ASSERT_EQ(p.track_count(), n);
      EXPECT_EQ(playlist::str(p.track(n - 1), "streamURL"), inputs[k][n - 1]);
    }
    std::printf("hostile: stream URLs, %zu entries: %.2f (ordinary) and %.2f (crafted) probes and compares each\n",
                n, work[0], work[1]);
    EXPECT_LE(work[1], kCraftedMargin * work[0]);
  }
}

TEST(Hostile, CraftedSlugCollisionsCostWhatOrdinarySlugsCost) {
  const std::string prefix = "mix-tape";  // one whole word
  const std::string suffix = "-2024";
  const std::string alphabet = lyrn_test::ascii_alphabet(false, "#%/?\\'");
  for (std::size_t size : kCollisionSizes) {
    const std::size_t n = scaled(size);
    SCOPED_TRACE(n);
    const std::vector<std::string> crafted = lyrn_test::colliding_strings(n, prefix, suffix, alphabet);
    expect_crafted(crafted, n);
    double work[2];
    const std::vector<std::string> inputs[2] = {lyrn_test::ordinary_strings(n, prefix, suffix, alphabet), crafted};
    for (int k = 0; k < 2; ++k) {
      std::string html;
      html.reserve(n * 40);
      for (const std::string &slug : inputs[k]) html += "<a href='./" + slug + "/'>s</a>\n";
      exact_block block(html);
      lyrn_test::owned_str json;
      work[k] = set_work_per_entry(n, [&] { json.reset(lyrn_discover_slugs_json(block.data(), block.size())); });
      ASSERT_NE(json, nullptr);
      yyjson_doc *doc = yyjson_read(json.get(), std::strlen(json.get()), 0);
      ASSERT_NE(doc, nullptr);
      EXPECT_EQ(yyjson_arr_size(yyjson_doc_get_root(doc)), n);
      yyjson_doc_free(doc);
    }
    std::printf("hostile: slugs, %zu entries: %.2f (ordinary) and %.2f (crafted) probes and compares each\n", n,
                work[0], work[1]);
    EXPECT_LE(work[1], kCraftedMargin * work[0]);
  }
}

}  // namespace
