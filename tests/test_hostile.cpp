// SPDX-License-Identifier: MIT
// Hostile inputs: huge runs, unclosed and deeply nested markup, masses of
// items, every byte value, NUL bytes inside the span, constructs left open at
// the end and crafted hash collisions. Results are checked; the large cases
// are timed against an ordinary input of the same size in the same run, or
// judged by the duplicate sets' counted work.
//
// Sizes are divided by 4 under AddressSanitizer, or by LYRN_HOSTILE_SCALE
// when that is set, to keep the run short.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <ctime>
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

// The calling thread's CPU time in ms: what other processes on a shared
// machine run in the meantime does not count.
double thread_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Converts the bytes with their exact length from an exactly-sized block.
struct conversion {
  lyrn_test::owned_str json;
  double ms;
};

conversion convert(const std::string &feed, const char *url = nullptr) {
  exact_block block(feed);
  const double t0 = thread_cpu_ms();
  char *json = lyrn_parse_feed_json(block.data(), block.size(), url);
  const double t1 = thread_cpu_ms();
  return {lyrn_test::owned_str(json), t1 - t0};
}

// The least CPU time of three runs of f, in ms.
template <class F>
double least_ms(F f) {
  double best = 0;
  for (int k = 0; k < 3; ++k) {
    const double t0 = thread_cpu_ms();
    f();
    const double t = thread_cpu_ms() - t0;
    if (k == 0 || t < best) best = t;
  }
  return best;
}

// A hostile input may cost at most this many times an ordinary input of the
// same size, both timed in the same run. Every case here is linear and costs
// between 0.1 and about 3 times the ordinary input; one that turned quadratic
// would cost hundreds or thousands of times as much at these sizes, while
// noise on a loaded machine (CPU time, the least of three runs) stays far
// below this margin.
constexpr double kBudget = 20.0;

const std::string kOrdinaryItem =
    "<item><title>Song</title><enclosure url='https://cdn.example.com/NNNNNNNN.mp3' length='1'/></item>";

// An ordinary feed of at least `size` bytes: distinct items, each with a
// title and an enclosure.
std::string ordinary_feed(std::size_t size) {
  std::string f = "<rss><channel><title>T</title>";
  f.reserve(size + kOrdinaryItem.size() + 32);
  char num[16];
  for (unsigned i = 0; f.size() < size; ++i) {
    std::snprintf(num, sizeof num, "%08u", i);
    f += kOrdinaryItem;
    f.replace(f.size() - kOrdinaryItem.size() + kOrdinaryItem.find('N'), 8, num);
  }
  return f + "</channel></rss>";
}

// Converts the hostile feed of size n, checks its result, and times it
// against an ordinary feed of the same size.
void against_baseline(const char *what, std::size_t n, const std::function<std::string(std::size_t)> &build,
                      const std::function<void(const char *json, std::size_t n)> &check) {
  SCOPED_TRACE(std::string(what) + ", size " + std::to_string(n));
  const std::string feed = build(n);
  conversion c = convert(feed);
  check(c.json.get(), n);
  EXPECT_STREQ(lyrn_last_error(), "");
  const std::string baseline = ordinary_feed(feed.size());
  exact_block hostile_block(feed), baseline_block(baseline);
  const auto timed = [](const exact_block &b) {
    return least_ms([&] { lyrn_free(lyrn_parse_feed_json(b.data(), b.size(), nullptr)); });
  };
  const double base_ms = timed(baseline_block);
  const double ms = timed(hostile_block);
  const double ratio = ms / (base_ms > 0.01 ? base_ms : 0.01);
  std::printf("hostile: %-34s %9zu bytes %9.1f ms   ordinary %9.1f ms   ratio %.2f\n", what, feed.size(), ms,
              base_ms, ratio);
  EXPECT_LE(ratio, kBudget);
}

const std::string kHead = "<rss><channel><title>T</title>";
const std::string kOneItem = "<item><title>Song</title><enclosure url='https://cdn.example.com/s.mp3'/></item>";
const std::string kTail = "</channel></rss>";

TEST(Hostile, OneLongTextRun) {
  against_baseline(
      "one text run (bytes)", scaled(25u << 20),
      [](std::size_t n) { return "<rss><channel><title>" + std::string(n, 'a') + "</title>" + kOneItem + kTail; },
      [](const char *json, std::size_t n) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.name(), std::string(n, 'a'));
        EXPECT_EQ(p.track_count(), 1u);
      });
}

TEST(Hostile, OneLongAttributeValue) {
  against_baseline(
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

TEST(Hostile, MassesOfAmpersands) {
  against_baseline(
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

TEST(Hostile, MassesOfLessThanSigns) {
  against_baseline(
      "'<' bytes after an item", scaled(500000),
      [](std::size_t n) { return kHead + kOneItem + std::string(n, '<'); },
      [](const char *json, std::size_t) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.name(), "T");
        EXPECT_EQ(p.track_count(), 1u);  // the item before them stays
      });
  // Each '<' opening a tag that a later '>' closes: one tag name of n bytes.
  against_baseline(
      "'<' bytes closed by one '>'", scaled(500000),
      [](std::size_t n) { return kHead + std::string(n, '<') + ">" + kOneItem + kTail; },
      [](const char *json, std::size_t) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.track_count(), 1u);
      });
}

TEST(Hostile, NestedUnclosedTags) {
  against_baseline(
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
  against_baseline(
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
  against_baseline(
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
  against_baseline(
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
  against_baseline(
      "open comment before a long tail", scaled(4u << 20),
      [&](std::size_t n) { return kHead + two + "<!--" + std::string(n, '-'); },
      [](const char *json, std::size_t) {
        playlist p(json);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.track_count(), 2u);
      });
}

// A directory listing from the network can be any size: hostile listings
// against an ordinary one of the same size, distinct links one after another.
std::string ordinary_listing(std::size_t size) {
  std::string html;
  html.reserve(size + 64);
  for (std::size_t i = 0; html.size() < size; ++i) html += "<a href=\"./slug-" + std::to_string(i) + "/\">s</a>\n";
  return html;
}

TEST(Hostile, Listings) {
  const struct {
    const char *what;
    std::string piece;  // repeated to the size
    const char *result;  // null: not checked
  } cases[] = {
      {"listing of distinct links", "", nullptr},
      {"listing of one repeated link", "<a href='./same/'>s</a>", "[\"same\"]"},
      {"listing of unclosed links", "href='./", "[]"},
      {"listing of 'h' bytes", "h", "[]"},
  };
  const std::size_t size = scaled(4u << 20);
  const std::string baseline = ordinary_listing(size);
  exact_block baseline_block(baseline);
  const auto timed = [](const exact_block &b) {
    return least_ms([&] { lyrn_free(lyrn_discover_slugs_json(b.data(), b.size())); });
  };
  const double base_ms = timed(baseline_block);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    std::string html;
    if (c.piece.empty()) {
      html = baseline;
    } else {
      while (html.size() < size) html += c.piece;
    }
    exact_block block(html);
    lyrn_test::owned_str json(lyrn_discover_slugs_json(block.data(), block.size()));
    ASSERT_NE(json, nullptr);
    if (c.result) {
      EXPECT_STREQ(json.get(), c.result);
    }
    EXPECT_STREQ(lyrn_last_error(), "");
    const double ms = timed(block);
    const double ratio = ms / (base_ms > 0.01 ? base_ms : 0.01);
    std::printf("hostile: %-34s %9zu bytes %9.1f ms   ordinary %9.1f ms   ratio %.2f\n", c.what, html.size(), ms,
                base_ms, ratio);
    EXPECT_LE(ratio, kBudget);
  }
  // The distinct links all come back.
  lyrn_test::owned_str json(lyrn_discover_slugs_json(baseline.data(), baseline.size()));
  yyjson_doc *doc = yyjson_read(json.get(), std::strlen(json.get()), 0);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(yyjson_arr_size(yyjson_doc_get_root(doc)), static_cast<std::size_t>(std::count(baseline.begin(), baseline.end(), '\n')));
  yyjson_doc_free(doc);
}

// ---- Crafted hash collisions -------------------------------------------------
// Stream URLs and slugs crafted against each hash an attacker can compute
// (colliding in the low bits that pick a slot in tables of up to 2^12 slots,
// enough for the 2000 entries here), against ordinary ones of the same length,
// prefix and suffix. Judged by the duplicate sets' counted work (slots probed
// and strings compared, per entry): a set whose slots follow a known hash does
// about n/2 probes per entry on them, one under the process's secret key the
// same as on ordinary strings.

// The sets' work per entry during f, on this thread.
template <class F>
double set_work_per_entry(std::size_t entries, F f) {
  const lyrn::string_set_work before = lyrn::g_string_set_work;
  f();
  const lyrn::string_set_work &after = lyrn::g_string_set_work;
  return static_cast<double>((after.probes - before.probes) + (after.compares - before.compares)) /
         static_cast<double>(entries);
}

constexpr unsigned kSlotBits = 12;
constexpr double kCraftedMargin = 1.5;

struct known_hash {
  const char *name;
  lyrn_test::public_hash fn;
};
const known_hash kKnownHashes[] = {
    {"the sets' old unkeyed hash", lyrn_test::old_unkeyed_hash},
    {"FNV-1a", lyrn_test::fnv1a_hash},
    {"SipHash-1-3 under a known key", lyrn_test::public_key_siphash},
};

// The crafted strings are distinct and really collide under the hash.
void expect_crafted(const std::vector<std::string> &crafted, std::size_t n, lyrn_test::public_hash h) {
  ASSERT_EQ(crafted.size(), n);
  const std::uint64_t mask = (std::uint64_t{1} << kSlotBits) - 1;
  const std::uint64_t low = h(crafted[0].data(), crafted[0].size()) & mask;
  for (const std::string &s : crafted) ASSERT_EQ(h(s.data(), s.size()) & mask, low) << s;
  std::vector<std::string> sorted = crafted;
  std::sort(sorted.begin(), sorted.end());
  ASSERT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

// The work of inserting every string into a set under the key, as the
// exports do (a set adds its work to the count when it goes away).
double direct_set_work(const std::vector<std::string> &strings, lyrn::hash_key key) {
  return set_work_per_entry(strings.size(), [&] {
    lyrn::string_set set(key);
    for (const std::string &s : strings) {
      const std::uint64_t h = set.hash(s.c_str());
      ASSERT_FALSE(set.contains(s.c_str(), h));
      ASSERT_TRUE(set.make_room());
      set.insert(s.c_str(), h);
    }
  });
}

// The search really finds strings that hurt a set whose key is known, so the
// judgement below can fail: with the public key of public_key_siphash the
// library's own set does quadratic work on them.
TEST(Hostile, CraftedStringsAreQuadraticForASetUnderAKnownKey) {
  const std::size_t n = scaled(2000);
  const std::string alphabet = lyrn_test::ascii_alphabet(true, "\"&");
  const std::vector<std::string> crafted = lyrn_test::colliding_strings(
      lyrn_test::public_key_siphash, kSlotBits, n, "https://cdn.example.com/", ".mp3", alphabet);
  expect_crafted(crafted, n, lyrn_test::public_key_siphash);
  const std::vector<std::string> ordinary = lyrn_test::ordinary_strings(n, "https://cdn.example.com/", ".mp3", alphabet);
  const lyrn::hash_key known{lyrn_test::kPublicKey0, lyrn_test::kPublicKey1};
  const double known_key_work = direct_set_work(crafted, known);
  const double ordinary_work = direct_set_work(ordinary, known);
  std::printf("hostile: %zu strings under a known key: %.2f (ordinary) and %.2f (crafted) work each\n", n,
              ordinary_work, known_key_work);
  EXPECT_GT(known_key_work, static_cast<double>(n) / 4);
  EXPECT_LT(ordinary_work, 8.0);
}

std::string feed_of_urls(const std::vector<std::string> &urls) {
  std::string f = kHead;
  f.reserve(urls.size() * 80);
  for (const std::string &u : urls) f += "<item><title>t</title><enclosure url=\"" + u + "\" length='1'/></item>";
  return f + kTail;
}

TEST(Hostile, CraftedStreamUrlCollisionsCostWhatOrdinaryUrlsCost) {
  const std::string prefix = "https://cdn.example.com/";
  const std::string suffix = ".mp3";
  const std::string alphabet = lyrn_test::ascii_alphabet(true, "\"&");
  const std::size_t n = scaled(2000);
  const std::vector<std::string> ordinary = lyrn_test::ordinary_strings(n, prefix, suffix, alphabet);
  for (const known_hash &kh : kKnownHashes) {
    SCOPED_TRACE(kh.name);
    const std::vector<std::string> crafted = lyrn_test::colliding_strings(kh.fn, kSlotBits, n, prefix, suffix, alphabet);
    expect_crafted(crafted, n, kh.fn);
    double work[2];
    const std::vector<std::string> *inputs[2] = {&ordinary, &crafted};
    for (int k = 0; k < 2; ++k) {
      const std::string feed = feed_of_urls(*inputs[k]);
      conversion c;
      work[k] = set_work_per_entry(n, [&] { c = convert(feed); });
      playlist p(c.json.get());
      ASSERT_TRUE(p.ok());
      ASSERT_EQ(p.track_count(), n);
      EXPECT_EQ(playlist::str(p.track(n - 1), "streamURL"), (*inputs[k])[n - 1]);
    }
    std::printf("hostile: stream URLs against %s, %zu entries: %.2f (ordinary) and %.2f (crafted) work each\n",
                kh.name, n, work[0], work[1]);
    EXPECT_LE(work[1], kCraftedMargin * work[0]);
  }
}

TEST(Hostile, CraftedSlugCollisionsCostWhatOrdinarySlugsCost) {
  const std::string prefix = "mix-tape";
  const std::string suffix = "-2024";
  const std::string alphabet = lyrn_test::ascii_alphabet(false, "#%/?\\'");
  const std::size_t n = scaled(2000);
  const std::vector<std::string> ordinary = lyrn_test::ordinary_strings(n, prefix, suffix, alphabet);
  for (const known_hash &kh : kKnownHashes) {
    SCOPED_TRACE(kh.name);
    const std::vector<std::string> crafted = lyrn_test::colliding_strings(kh.fn, kSlotBits, n, prefix, suffix, alphabet);
    expect_crafted(crafted, n, kh.fn);
    double work[2];
    const std::vector<std::string> *inputs[2] = {&ordinary, &crafted};
    for (int k = 0; k < 2; ++k) {
      std::string html;
      html.reserve(n * 40);
      for (const std::string &slug : *inputs[k]) html += "<a href='./" + slug + "/'>s</a>\n";
      exact_block block(html);
      lyrn_test::owned_str json;
      work[k] = set_work_per_entry(n, [&] { json.reset(lyrn_discover_slugs_json(block.data(), block.size())); });
      ASSERT_NE(json, nullptr);
      yyjson_doc *doc = yyjson_read(json.get(), std::strlen(json.get()), 0);
      ASSERT_NE(doc, nullptr);
      EXPECT_EQ(yyjson_arr_size(yyjson_doc_get_root(doc)), n);
      yyjson_doc_free(doc);
    }
    std::printf("hostile: slugs against %s, %zu entries: %.2f (ordinary) and %.2f (crafted) work each\n", kh.name, n,
                work[0], work[1]);
    EXPECT_LE(work[1], kCraftedMargin * work[0]);
  }
}

}  // namespace
