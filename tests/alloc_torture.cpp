// SPDX-License-Identifier: MIT
// Allocation-failure torture: every export that allocates is run again and
// again with the k-th heap allocation failing (k = 1, 2, ... until a run
// completes without reaching k), once with only that allocation failing and
// once with every allocation from the k-th on failing. Each run must not
// crash, must leave no block behind, and must give an allowed result.
//
// malloc, calloc, realloc and free are replaced in this executable only; they
// forward to the C library's own functions and count or fail calls only while
// armed, around the one call under test. The library and yyjson call the
// plain functions and so reach these replacements through symbol
// interposition. This binary is not built under the sanitizers, whose own
// allocator replacements would conflict.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "lyrn.h"
#include "text.hpp"

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *ptr, std::size_t size);
void __libc_free(void *ptr);
}

namespace {

// The blocks allocated while armed and not yet freed: an open-addressing set
// of pointers (linear probing, deletion by backward shift) in static storage,
// so that keeping it never allocates.
constexpr std::size_t kSlots = std::size_t{1} << 18;
void *g_live[kSlots];
std::size_t g_live_count = 0;

std::size_t slot_of(const void *p) {
  return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(p) >> 4) * 0x9E3779B97F4A7C15ULL >> 46) &
         (kSlots - 1);
}

void live_add(void *p) {
  if (g_live_count + 1 >= kSlots / 2) std::abort();  // far more than any call here holds
  std::size_t i = slot_of(p);
  while (g_live[i]) i = (i + 1) & (kSlots - 1);
  g_live[i] = p;
  ++g_live_count;
}

bool live_remove(void *p) {
  if (g_live_count == 0) return false;
  std::size_t i = slot_of(p);
  while (g_live[i] != p) {
    if (!g_live[i]) return false;
    i = (i + 1) & (kSlots - 1);
  }
  // Backward-shift deletion keeps every probe chain unbroken.
  std::size_t hole = i;
  for (std::size_t j = (i + 1) & (kSlots - 1); g_live[j]; j = (j + 1) & (kSlots - 1)) {
    const std::size_t home = slot_of(g_live[j]);
    const bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
    if (movable) {
      g_live[hole] = g_live[j];
      hole = j;
    }
  }
  g_live[hole] = nullptr;
  --g_live_count;
  return true;
}

void live_clear() {
  if (g_live_count == 0) return;
  std::memset(g_live, 0, sizeof g_live);
  g_live_count = 0;
}

struct injector_state {
  bool armed = false;
  bool persistent = false;   // fail every allocation from fail_at on
  unsigned long fail_at = 0; // 0: never fail
  unsigned long attempts = 0;
  bool reached = false;
};
injector_state g_inj;

// True when this allocation attempt is the one (or one of those) to fail.
bool should_fail() {
  if (!g_inj.armed) return false;
  ++g_inj.attempts;
  if (g_inj.fail_at == 0) return false;
  const bool fail = g_inj.persistent ? g_inj.attempts >= g_inj.fail_at : g_inj.attempts == g_inj.fail_at;
  if (fail) g_inj.reached = true;
  return fail;
}

}  // namespace

extern "C" {

void *malloc(std::size_t size) {
  if (should_fail()) return nullptr;
  void *p = __libc_malloc(size);
  if (p && g_inj.armed) live_add(p);
  return p;
}

void *calloc(std::size_t count, std::size_t size) {
  if (should_fail()) return nullptr;
  void *p = __libc_calloc(count, size);
  if (p && g_inj.armed) live_add(p);
  return p;
}

void *realloc(void *ptr, std::size_t size) {
  if (size == 0 || should_fail()) {
    if (size != 0) return nullptr;  // a failed realloc leaves the old block as it was
    live_remove(ptr);
    return __libc_realloc(ptr, 0);
  }
  void *p = __libc_realloc(ptr, size);
  if (p) {
    const bool tracked = ptr && live_remove(ptr);
    if (g_inj.armed || tracked) live_add(p);
  }
  return p;
}

void free(void *ptr) {
  if (ptr) live_remove(ptr);
  __libc_free(ptr);
}

}  // extern "C"

namespace {

// What one armed call gave.
struct outcome {
  char *result = nullptr;
  bool reached = false;        // the failure point was reached
  unsigned long attempts = 0;  // allocation attempts during the call
  std::size_t leaked = 0;      // blocks still live, the result not counted
};

outcome run_armed(const std::function<char *()> &call, unsigned long fail_at, bool persistent) {
  live_clear();
  g_inj = injector_state{};
  g_inj.fail_at = fail_at;
  g_inj.persistent = persistent;
  g_inj.armed = true;
  char *result = call();
  g_inj.armed = false;
  outcome out;
  out.result = result;
  out.reached = g_inj.reached;
  out.attempts = g_inj.attempts;
  if (result) live_remove(result);  // the caller's block is not a leak
  out.leaked = g_live_count;
  live_clear();  // leaked blocks stay leaked; forget them
  return out;
}

// Leaves a message in the last error, so that a call that should clear it
// shows whether it did.
void preset_last_error() {
  lyrn_parse_feed_json(nullptr, 0, nullptr);
  ASSERT_STREQ(lyrn_last_error(), "null xml");
}

// What a torture run saw: the failure points run, and the runs that leaked
// or gave a result that is not allowed, with the first message of each kind.
struct tally {
  unsigned long points = 0;
  unsigned long leaks = 0;
  unsigned long bad_results = 0;
  std::string first_leak;
  std::string first_bad;

  void print(const char *what) const {
    std::printf("%s: %lu failure points, %lu runs leaking, %lu results not allowed\n", what, points, leaks,
                bad_results);
  }
  // One failure per kind, with the first case, rather than one per run.
  void expect_clean() const {
    EXPECT_EQ(leaks, 0u) << "first: " << first_leak;
    EXPECT_EQ(bad_results, 0u) << "first: " << first_bad;
  }
};

// Runs `call` for k = 1, 2, ... in both modes until a run no longer reaches
// the failure point. `check` judges each result and the last error: it
// returns an empty text when they are allowed, else what is wrong.
template <class Check>
void torture(const std::string &what, const std::function<char *()> &call, Check check, tally &t) {
  for (int mode = 0; mode < 2; ++mode) {
    const bool persistent = mode == 1;
    for (unsigned long k = 1;; ++k) {
      preset_last_error();
      outcome o = run_armed(call, k, persistent);
      ++t.points;
      const std::string label =
          what + (persistent ? " (failing from" : " (failing only") + " allocation " + std::to_string(k) + ")";
      if (o.leaked && t.leaks++ == 0) t.first_leak = label + ": " + std::to_string(o.leaked) + " block(s) left";
      const std::string bad = check(o.result);
      if (!bad.empty() && t.bad_results++ == 0) t.first_bad = label + ": " + bad;
      lyrn_free(o.result);
      if (!o.reached) break;
      if (k > 1000000) {
        ADD_FAILURE() << label << ": the call never stops allocating";
        break;
      }
    }
  }
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every fixture feed, then the bundled sample feed.
std::vector<std::string> fixture_paths() {
  std::vector<std::string> paths;
  std::error_code ec;
  for (const auto &entry : std::filesystem::directory_iterator(LYRN_FIXTURES_DIR, ec))
    if (entry.path().extension() == ".xml") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  paths.push_back(LYRN_EXAMPLES_DIR "/sample-feed.xml");
  return paths;
}

// A feed of 70 items, a few of them repeats, with titles joined around
// comments and CDATA: it grows the track array past its first 32 entries and
// the set of seen URLs past its first table.
std::string generated_feed() {
  std::string f = "<?xml version=\"1.0\"?><rss><channel><title>Gen <!-- x -->&amp; Co</title>"
                  "<itunes:image href=\"https://img.example.com/c.jpg\"/>";
  for (int i = 0; i < 70; ++i) {
    const int u = i % 10 == 9 ? i - 1 : i;  // every tenth item repeats the URL before it
    f += "<item><title>Track_" + std::to_string(i) + "<![CDATA[ & more]]> [AbCdEfGhIjK]</title>"
         "<itunes:author>A" + std::to_string(i % 3) + "</itunes:author>"
         "<itunes:duration>" + std::to_string(i) + ":0" + std::to_string(i % 10) + "</itunes:duration>"
         "<pubDate>Tue, 02 Jan 2024 10:00:00 +0200</pubDate>"
         "<enclosure url=\"https://media.example.com/a/" + std::to_string(u) + ".m4a\" length=\"" +
         std::to_string(1000 + i) + "\"/>";
    if (i % 4 == 0) f += "<itunes:image href=\"https://img.example.com/t" + std::to_string(i) + ".jpg\"/>";
    f += "</item>";
  }
  return f + "</channel></rss>";
}

struct feed_case {
  std::string name;
  std::string bytes;
  const char *url;
};

std::vector<feed_case> feed_cases() {
  std::vector<feed_case> cases;
  for (const std::string &p : fixture_paths()) {
    std::string bytes = read_file(p);
    if (!bytes.empty()) cases.push_back({p.substr(p.rfind('/') + 1), bytes, "https://feeds.example.com/music/u/all/feed.xml"});
  }
  cases.push_back({"generated", generated_feed(), nullptr});
  cases.push_back({"no channel title", "<rss><channel><item><enclosure url='u1'/></item></channel></rss>",
                   "https://feeds.example.com/music/u/all/feed.xml"});
  cases.push_back({"empty", "", nullptr});
  return cases;
}

// A written document: an object whose trackCount equals the number of
// entries in its tracks array.
std::string document_problem(const char *json) {
  yyjson_doc *doc = yyjson_read(json, std::strlen(json), 0);
  if (!doc) return "not valid JSON";
  std::string problem;
  yyjson_val *root = yyjson_doc_get_root(doc);
  yyjson_val *count = yyjson_obj_get(root, "trackCount");
  yyjson_val *tracks = yyjson_obj_get(root, "tracks");
  if (!yyjson_is_obj(root))
    problem = "root is not an object";
  else if (!yyjson_is_uint(count))
    problem = "no trackCount";
  else if (!yyjson_is_arr(tracks))
    problem = "no tracks array";
  else if (yyjson_get_uint(count) != yyjson_arr_size(tracks))
    problem = "trackCount " + std::to_string(yyjson_get_uint(count)) + " but " +
              std::to_string(yyjson_arr_size(tracks)) + " tracks";
  yyjson_doc_free(doc);
  return problem;
}

// One-time set-up inside the library (such as a locale object for number
// reading) happens on the first call; it is done here, unarmed, so that it is
// neither failed nor counted as a leak of the first armed call.
void warm_up() {
  lyrn_free(lyrn_parse_feed_json("<rss><item><itunes:duration>1e3</itunes:duration><enclosure url='a'/></item></rss>", 0, nullptr));
  lyrn_parse_duration("1e3");
  lyrn_parse_rfc2822_date("Tue, 02 Jan 2024 10:00:00 GMT");
  lyrn_free(lyrn_clean_title("x"));
  lyrn_free(lyrn_discover_slugs_json("href='./a/'", 0));
  lyrn_free(lyrn_build_user_feed_url("https://a", "b", "c"));
}

class AllocTorture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { warm_up(); }
};

TEST_F(AllocTorture, FeedConversionOnEveryFixture) {
  tally t;
  tally partial;  // documents that differ from the one written with memory to spare
  for (const feed_case &c : feed_cases()) {
    SCOPED_TRACE(c.name);
    const std::string bytes = c.bytes;
    const char *url = c.url;
    // The exact length, and the text measured up to its NUL.
    for (int measured = 0; measured < 2; ++measured) {
      const std::string what = c.name + (measured ? " (NUL-terminated)" : " (exact length)");
      auto call = [&]() -> char * { return lyrn_parse_feed_json(bytes.c_str(), measured ? 0 : bytes.size(), url); };
      char *reference = call();
      ASSERT_NE(reference, nullptr) << what;
      const std::string want(reference);
      lyrn_free(reference);
      torture(what, call,
              [&](const char *json) -> std::string {
                if (lyrn_last_error()[0] != '\0') return std::string("last error \"") + lyrn_last_error() + "\"";
                if (!json) return "";
                const std::string p = document_problem(json);
                if (!p.empty()) return p + "\n" + json;
                if (want != json && partial.bad_results++ == 0)
                  partial.first_bad = what + ": gave\n" + json + "\ninstead of\n" + want;
                return "";
              },
              t);
    }
  }
  t.print("lyrn_parse_feed_json");
  std::printf("lyrn_parse_feed_json: %lu documents differ from the whole playlist\n", partial.bad_results);
  t.expect_clean();
  // A document that comes back must be the whole playlist: one that lost a
  // text, a track or a member for lack of memory passes for a whole one.
  EXPECT_EQ(partial.bad_results, 0u) << "first: " << partial.first_bad;
}

// Once an allocation has failed the conversion's result is null, so it stops
// there: not one allocation is tried after the failed one, wherever in a
// long feed it happens.
TEST_F(AllocTorture, FeedConversionStopsAtTheFirstFailedAllocation) {
  std::string feed = "<rss><channel><title>Long</title>";
  for (int i = 0; i < 3000; ++i)
    feed += "<item><title>T<!-- c -->_" + std::to_string(i) + "</title><itunes:author>A</itunes:author>"
            "<enclosure url='https://cdn.example.com/" + std::to_string(i) + ".mp3' length='5'/></item>";
  feed += "</channel></rss>";
  auto call = [&]() -> char * { return lyrn_parse_feed_json(feed.data(), feed.size(), nullptr); };
  const unsigned long total = run_armed(call, 0, false).attempts;
  lyrn_free(run_armed(call, 0, false).result);
  ASSERT_GT(total, 20u);
  for (unsigned long k = 1; k <= total; ++k) {
    SCOPED_TRACE("failing allocation " + std::to_string(k) + " of " + std::to_string(total));
    outcome o = run_armed(call, k, false);
    EXPECT_TRUE(o.reached);
    EXPECT_EQ(o.result, nullptr);
    EXPECT_EQ(o.attempts, k);
    EXPECT_EQ(o.leaked, 0u);
    lyrn_free(o.result);
  }
}

TEST_F(AllocTorture, CleanTitle) {
  const std::string long_title(200, 'x');  // above the output buffer's first capacity
  const char *const titles[] = {"O_Holy_Night [4hjgkvuKES8]", "  a__b\t_c  ", "", "[4hjgkvuKES8]",
                                long_title.c_str()};
  tally t;
  for (const char *title : titles) {
    char *ref = lyrn_clean_title(title);
    ASSERT_NE(ref, nullptr);
    const std::string want(ref);
    lyrn_free(ref);
    torture(
        std::string("lyrn_clean_title(\"") + title + "\")", [&]() -> char * { return lyrn_clean_title(title); },
        [&](const char *got) -> std::string {
          if (std::strcmp(lyrn_last_error(), "null xml") != 0) return "the last error changed";
          if (got && want != got) return std::string("gave \"") + got + "\" instead of \"" + want + "\" or null";
          return "";
        },
        t);
  }
  t.print("lyrn_clean_title");
  t.expect_clean();
}

// The self-test under failing allocations: it must report the failure as
// the number of a check whose calls allocate (4: the title, 8: the URL, 9:
// the slugs, 10: the sample feed), leak nothing, and pass only when no
// allocation failed. The first allocation is the title's.
TEST_F(AllocTorture, SelfTestNamesTheCheckThatRanOutOfMemory) {
  std::int32_t result = -1;
  bool reached = false;
  tally t;
  torture(
      "lyrn_selftest",
      [&]() -> char * {
        result = lyrn_selftest();
        reached = g_inj.reached;
        return nullptr;
      },
      [&](const char *) -> std::string {
        if (!reached) return result == 0 ? "" : "failed check " + std::to_string(result) + " with memory to spare";
        if (result == 4 || result == 8 || result == 9 || result == 10) return "";
        return "gave " + std::to_string(result) + " when an allocation failed";
      },
      t);
  t.print("lyrn_selftest");
  t.expect_clean();
  EXPECT_GT(t.points, 4u);
  run_armed([&]() -> char * { result = lyrn_selftest(); return nullptr; }, 1, false);
  EXPECT_EQ(result, 4);
}

TEST_F(AllocTorture, BuildUserFeedUrl) {
  const char *const base = "https://feeds.example.com/music//";
  const std::string want = "https://feeds.example.com/music/user-123/all/feed.xml";
  tally t;
  torture(
      "lyrn_build_user_feed_url",
      [&]() -> char * { return lyrn_build_user_feed_url(base, "user-123", "all"); },
      [&](const char *got) -> std::string {
        const std::string err = lyrn_last_error();
        if (!got) return err == "out of memory" ? "" : "null with last error \"" + err + "\"";
        if (want != got || !err.empty()) return std::string("gave \"") + got + "\", last error \"" + err + "\"";
        return "";
      },
      t);
  t.print("lyrn_build_user_feed_url");
  t.expect_clean();
}

TEST_F(AllocTorture, DiscoverSlugs) {
  std::string many;  // more slugs than the list's first capacity, "all" last
  for (int i = 0; i < 20; ++i) many += "<a href=\"./s" + std::to_string(i) + "/\">x</a>";
  many += "<a href='./video/'>v</a><a href='./s3/'>dup</a><a href='./All/'>a</a>";
  const std::string listings[] = {
      "<a href=\"./worship/\">w</a><a href=\"./video/\">v</a><a href=\"./all/\">a</a>", many, "nothing here at all",
      ""};
  tally t;
  for (const std::string &listing : listings) {
    for (int measured = 0; measured < 2; ++measured) {
      if (listing.empty() && !measured) continue;
      auto call = [&]() -> char * {
        return lyrn_discover_slugs_json(listing.c_str(), measured ? 0 : listing.size());
      };
      char *ref = call();
      ASSERT_NE(ref, nullptr);
      const std::string want(ref);
      lyrn_free(ref);
      torture(
          "lyrn_discover_slugs_json(" + listing.substr(0, 40) + "...)", call,
          [&](const char *got) -> std::string {
            if (lyrn_last_error()[0] != '\0') return std::string("last error \"") + lyrn_last_error() + "\"";
            if (got && want != got) return std::string("gave ") + got + " instead of " + want + " or null";
            return "";
          },
          t);
    }
  }
  t.print("lyrn_discover_slugs_json");
  t.expect_clean();
}

// The internal text helpers give null when memory runs out, never a shorter
// or empty text that would pass for the real one; with memory to spare
// they need no more allocations than listed here.
TEST_F(AllocTorture, TextHelpersGiveNullWhenMemoryRunsOut) {
  const std::string in = "  a&amp;b  ";
  const std::string region = " url=\"x\"";
  const struct {
    const char *what;
    std::function<char *()> call;
    const char *want;
    unsigned long allocations;
  } cases[] = {
      {"xml_decode_trim", [&] { return lyrn::xml_decode_trim(in.data(), in.size()); }, "a&b", 2},
      {"extract_attr", [&] { return lyrn::extract_attr(region.data(), region.size(), "url"); }, "x", 2},
      {"clean_title", [] { return lyrn::clean_title("O_Holy_Night"); }, "O Holy Night", 1},
      {"clean_title(null)", [] { return lyrn::clean_title(nullptr); }, "", 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    outcome whole = run_armed(c.call, 0, false);
    EXPECT_STREQ(whole.result, c.want);
    EXPECT_EQ(whole.attempts, c.allocations);
    std::free(whole.result);
    for (unsigned long k = 1; k <= c.allocations; ++k) {
      outcome o = run_armed(c.call, k, false);
      EXPECT_EQ(o.result, nullptr) << "failing allocation " << k;
      EXPECT_EQ(o.leaked, 0u);
      std::free(o.result);
    }
  }
}

// The interposer itself: an armed call is counted, failed at the chosen point
// and its leftover blocks are seen.
TEST_F(AllocTorture, InterposerCountsFailsAndFindsLeaks) {
  outcome o = run_armed([]() -> char * { return static_cast<char *>(std::malloc(8)); }, 0, false);
  EXPECT_EQ(o.attempts, 1u);
  EXPECT_EQ(o.leaked, 0u);  // the result is not a leak
  std::free(o.result);
  static void *kept;
  o = run_armed(
      []() -> char * {
        kept = std::malloc(16);
        return static_cast<char *>(std::malloc(8));
      },
      0, false);
  EXPECT_EQ(o.leaked, 1u);
  std::free(o.result);
  std::free(kept);
  o = run_armed([]() -> char * { return static_cast<char *>(std::malloc(8)); }, 1, false);
  EXPECT_TRUE(o.reached);
  EXPECT_EQ(o.result, nullptr);
}

}  // namespace
