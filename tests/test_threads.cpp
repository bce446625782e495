// SPDX-License-Identifier: MIT
// Eight threads run every export in a mix, many thousands of times, against
// results computed up front on one thread. Each thread also checks that its
// own last error is what its own last call left, whatever the others do, and
// some results are released by a different thread than the one that got them.
// Run under ThreadSanitizer by `make test-thread`.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "lyrn.h"

namespace {

constexpr int kThreads = 8;

int iterations() {
  const char *env = std::getenv("LYRN_THREAD_ITERATIONS");
  const int n = env ? std::atoi(env) : 0;
  return n > 0 ? n : 20000;
}

std::string read_file(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The last-error text a call leaves: a message, "" for a clear, or null
// when the call does not touch it.
struct op {
  std::string name;
  std::function<std::string()> run;  // the result as text, "<null>" for null
  std::string want;
  const char *error_after;
};

std::string take(char *s) {
  std::string out = s ? std::string(s) : std::string("<null>");
  lyrn_free(s);
  return out;
}

// Results released by another thread than the one that obtained them.
std::mutex g_handoff_mutex;
std::vector<char *> g_handoff;

void hand_off(char *s) {
  std::lock_guard<std::mutex> lock(g_handoff_mutex);
  g_handoff.push_back(s);
}

void release_handed_off() {
  std::vector<char *> mine;
  {
    std::lock_guard<std::mutex> lock(g_handoff_mutex);
    mine.swap(g_handoff);
  }
  for (char *s : mine) lyrn_free(s);
}

std::vector<op> make_ops() {
  std::vector<op> ops;
  const char *const url = "https://feeds.example.com/music/u/all/feed.xml";

  std::vector<std::string> feeds;
  std::error_code ec;
  for (const auto &e : std::filesystem::directory_iterator(LYRN_FIXTURES_DIR, ec))
    if (e.path().extension() == ".xml") feeds.push_back(read_file(e.path()));
  feeds.push_back(
      "<rss><channel><title>Test &amp; Mix</title><item><title>Song_One [AbCdEfGhIjK]</title>"
      "<enclosure url=\"https://cdn.example.com/s1.m4a\" length=\"1234\"/>"
      "<itunes:duration>3:44</itunes:duration><pubDate>Tue, 02 Jan 2024 10:00:00 +0200</pubDate>"
      "<itunes:author>Artist A</itunes:author></item></channel></rss>");
  for (std::size_t i = 0; i < feeds.size(); ++i) {
    const std::string feed = feeds[i];
    ops.push_back({"feed " + std::to_string(i),
                   [feed, url] { return take(lyrn_parse_feed_json(feed.data(), feed.size(), url)); }, "", ""});
  }
  // A feed that is not valid UTF-8: null, with the last error cleared.
  ops.push_back({"latin-1 feed",
                 [] { return take(lyrn_parse_feed_json("<rss><channel><title>Caf\xe9</title></channel></rss>", 0, nullptr)); },
                 "", ""});
  ops.push_back({"null feed", [] { return take(lyrn_parse_feed_json(nullptr, 5, "x")); }, "", "null xml"});

  const std::string listing = "<a href=\"./worship/\">w</a><a href=\"./video/\">v</a><a href='./all/'>a</a><a href=\"./x y/\">";
  ops.push_back({"slugs", [listing] { return take(lyrn_discover_slugs_json(listing.data(), listing.size())); }, "", ""});
  ops.push_back({"null html", [] { return take(lyrn_discover_slugs_json(nullptr, 5)); }, "", "null html"});

  const char *const base = "https://feeds.example.com/music/";
  ops.push_back({"user url", [base] { return take(lyrn_build_user_feed_url(base, "user-123", "all")); }, "", ""});
  ops.push_back({"bad base", [] { return take(lyrn_build_user_feed_url("ftp://x/", "u", "s")); }, "", "invalid base_url"});
  ops.push_back({"bad user", [base] { return take(lyrn_build_user_feed_url(base, "../etc", "all")); }, "", "invalid user_id"});
  ops.push_back({"bad slug", [base] { return take(lyrn_build_user_feed_url(base, "u", "a b")); }, "", "invalid slug"});

  // The exports that never touch the last error.
  ops.push_back({"title", [] { return take(lyrn_clean_title("  O_Holy_Night [4hjgkvuKES8] ")); }, "", nullptr});
  ops.push_back({"duration", [] { return std::to_string(lyrn_parse_duration("1:16:26.5")); }, "", nullptr});
  ops.push_back({"format", [] {
                   char buf[16];
                   const int32_t n = lyrn_format_duration(90061.9, buf, sizeof buf);
                   return std::to_string(n) + " " + buf;
                 },
                 "", nullptr});
  ops.push_back({"date", [] { return std::to_string(lyrn_parse_rfc2822_date("Wed, 03 Jan 2024 18:30:15 -0130")); }, "", nullptr});
  ops.push_back({"iso date", [] { return std::to_string(lyrn_parse_rfc2822_date("2024-02-29T23:59:59Z")); }, "", nullptr});
  ops.push_back({"validate", [] { return std::to_string(lyrn_validate_feed_url("HTTPS://feeds.example.com/a")); }, "", nullptr});
  ops.push_back({"versions", [] { return std::string(lyrn_version()) + " " + std::to_string(lyrn_abi_version()); }, "", nullptr});
  // The self-test's own calls leave the last error empty when it passes.
  ops.push_back({"selftest", [] { return std::to_string(lyrn_selftest()); }, "", ""});

  for (op &o : ops) o.want = o.run();  // the expected results, on one thread
  return ops;
}

TEST(Threads, EveryExportInAMixMatchesItsSingleThreadResult) {
  const std::vector<op> ops = make_ops();
  ASSERT_GT(ops.size(), 15u);
  ASSERT_EQ(ops.back().want, "0");  // the self-test passes
  const int n = iterations();

  std::atomic<bool> go{false};
  std::atomic<long> calls{0};
  std::atomic<long> wrong_results{0};
  std::atomic<long> wrong_errors{0};
  std::mutex first_mutex;
  std::string first_problem;
  auto note = [&](const std::string &what) {
    std::lock_guard<std::mutex> lock(first_mutex);
    if (first_problem.empty()) first_problem = what;
  };

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      std::string my_error = "";  // a fresh thread's text is empty
      if (std::strcmp(lyrn_last_error(), "") != 0) note("a fresh thread's last error is not empty");
      // Each thread walks the operations in its own order.
      std::size_t at = static_cast<std::size_t>(t) * 3;
      for (int i = 0; i < n; ++i) {
        at = (at + 1 + static_cast<std::size_t>(t)) % ops.size();
        const op &o = ops[at];
        const std::string got = o.run();
        calls.fetch_add(1, std::memory_order_relaxed);
        if (got != o.want) {
          wrong_results.fetch_add(1);
          note("thread " + std::to_string(t) + ", " + o.name + ": got " + got.substr(0, 200));
        }
        if (o.error_after) my_error = o.error_after;
        if (my_error != lyrn_last_error()) {
          wrong_errors.fetch_add(1);
          note("thread " + std::to_string(t) + ", after " + o.name + ": last error \"" + lyrn_last_error() +
               "\", want \"" + my_error + "\"");
        }
        // Every so often, a result goes to whichever thread releases next.
        if (i % 16 == 0) hand_off(lyrn_clean_title("handed_off"));
        if (i % 64 == 0) release_handed_off();
      }
    });
  }
  go.store(true);
  for (std::thread &th : threads) th.join();
  release_handed_off();

  std::printf("%d threads, %d iterations each, %ld export calls\n", kThreads, n, calls.load());
  EXPECT_EQ(calls.load(), static_cast<long>(kThreads) * n);
  EXPECT_EQ(wrong_results.load(), 0) << first_problem;
  EXPECT_EQ(wrong_errors.load(), 0) << first_problem;
}

// A message set on one thread is never seen on another, while both keep
// setting and clearing their own.
TEST(Threads, LastErrorsStayWithTheirThreads) {
  std::atomic<bool> go{false};
  std::atomic<long> crossed{0};
  const int n = iterations();
  auto worker = [&](const char *bad_user, const char *want) {
    while (!go.load()) std::this_thread::yield();
    for (int i = 0; i < n; ++i) {
      lyrn_free(lyrn_build_user_feed_url("https://a.example.com", bad_user, "s"));
      if (std::strcmp(lyrn_last_error(), want) != 0) crossed.fetch_add(1);
      lyrn_free(lyrn_discover_slugs_json("href='./a/'", 0));
      if (lyrn_last_error()[0] != '\0') crossed.fetch_add(1);
    }
  };
  std::thread a(worker, "..", "invalid user_id");
  std::thread b(worker, "ok", "");
  go.store(true);
  a.join();
  b.join();
  EXPECT_EQ(crossed.load(), 0);
}

}  // namespace
