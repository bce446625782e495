// SPDX-License-Identifier: MIT
// The export frame and the playlist document.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <thread>

#include "lyrn.h"
#include "test_util.hpp"

using lyrn_test::owned_str;

namespace {

std::string convert(const char *feed, size_t len, const char *url) {
  owned_str json(lyrn_parse_feed_json(feed, len, url));
  return lyrn_test::str_or(json.get());
}

const char kEmptyDoc[] =
    R"({"name":"Playlist","feedURL":"","artworkURL":null,"trackCount":0,"totalDuration":0.0,"tracks":[]})";

TEST(Frame, VersionAndAbi) {
  const char *v = lyrn_version();
  EXPECT_STREQ(v, "1.0.0");
  EXPECT_EQ(v, lyrn_version());
  EXPECT_EQ(lyrn_abi_version(), 1);
}

TEST(Frame, FreeAcceptsNull) { lyrn_free(nullptr); }

TEST(Frame, LastErrorIsPerThreadAndEmptyAtFirst) {
  const char *seen_on_fresh_thread = nullptr;
  std::string text_on_fresh_thread = "unset";
  lyrn_parse_feed_json(nullptr, 0, nullptr);  // sets "null xml" on this thread
  ASSERT_STREQ(lyrn_last_error(), "null xml");
  std::thread other([&] {
    seen_on_fresh_thread = lyrn_last_error();
    text_on_fresh_thread = seen_on_fresh_thread ? seen_on_fresh_thread : "<null>";
    lyrn_discover_slugs_json(nullptr, 5);  // a message on the other thread only
  });
  other.join();
  EXPECT_NE(seen_on_fresh_thread, nullptr);
  EXPECT_EQ(text_on_fresh_thread, "");
  EXPECT_STREQ(lyrn_last_error(), "null xml");
  EXPECT_EQ(lyrn_last_error(), lyrn_last_error());
}

// Every export with its effect on the calling thread's last error, each call
// made with a message already there: the ten that report no reason leave it
// exactly as it was (whichever message it was), the three that do set their
// message or clear it. The self-test writes nothing itself; the calls it
// makes leave the text empty after a passing run.
TEST(Frame, EveryExportHasItsEffectOnTheLastError) {
  constexpr const char *kLeaves = nullptr;  // the message set before stays
  char buf[16];
  const struct {
    const char *call;
    std::function<void()> run;
    const char *after;
  } table[] = {
      {"lyrn_version", [] { lyrn_version(); }, kLeaves},
      {"lyrn_abi_version", [] { lyrn_abi_version(); }, kLeaves},
      {"lyrn_free(null)", [] { lyrn_free(nullptr); }, kLeaves},
      {"lyrn_last_error", [] { lyrn_last_error(); }, kLeaves},
      {"lyrn_parse_duration", [] { lyrn_parse_duration("3:44"); }, kLeaves},
      {"lyrn_parse_duration(null)", [] { lyrn_parse_duration(nullptr); }, kLeaves},
      {"lyrn_format_duration", [&] { lyrn_format_duration(224, buf, sizeof buf); }, kLeaves},
      {"lyrn_format_duration(no buffer)", [] { lyrn_format_duration(224, nullptr, 0); }, kLeaves},
      {"lyrn_parse_rfc2822_date", [] { lyrn_parse_rfc2822_date("Tue, 02 Jan 2024 10:00:00 GMT"); }, kLeaves},
      {"lyrn_parse_rfc2822_date(null)", [] { lyrn_parse_rfc2822_date(nullptr); }, kLeaves},
      {"lyrn_clean_title", [] { lyrn_free(lyrn_clean_title("a_b [4hjgkvuKES8]")); }, kLeaves},
      {"lyrn_clean_title(null)", [] { lyrn_free(lyrn_clean_title(nullptr)); }, kLeaves},
      {"lyrn_validate_feed_url", [] { lyrn_validate_feed_url("https://example.com/feed.xml"); }, kLeaves},
      {"lyrn_validate_feed_url(ftp)", [] { lyrn_validate_feed_url("ftp://x"); }, kLeaves},
      {"lyrn_validate_feed_url(null)", [] { lyrn_validate_feed_url(nullptr); }, kLeaves},
      {"lyrn_selftest", [] { lyrn_selftest(); }, ""},
      {"lyrn_parse_feed_json", [] { lyrn_free(lyrn_parse_feed_json("<rss/>", 0, nullptr)); }, ""},
      {"lyrn_parse_feed_json(invalid UTF-8)",
       [] { lyrn_free(lyrn_parse_feed_json("<channel><title>\xFF</title></channel>", 0, nullptr)); }, ""},
      {"lyrn_parse_feed_json(null)", [] { lyrn_parse_feed_json(nullptr, 5, "u"); }, "null xml"},
      {"lyrn_discover_slugs_json", [] { lyrn_free(lyrn_discover_slugs_json("href='./a/'", 0)); }, ""},
      {"lyrn_discover_slugs_json(null, 0)", [] { lyrn_free(lyrn_discover_slugs_json(nullptr, 0)); }, ""},
      {"lyrn_discover_slugs_json(null, 5)", [] { lyrn_discover_slugs_json(nullptr, 5); }, "null html"},
      {"lyrn_build_user_feed_url", [] { lyrn_free(lyrn_build_user_feed_url("https://h", "u", "s")); }, ""},
      {"lyrn_build_user_feed_url(bad base)", [] { lyrn_build_user_feed_url("ftp://h", "u", "s"); },
       "invalid base_url"},
      {"lyrn_build_user_feed_url(bad user)", [] { lyrn_build_user_feed_url("https://h", "../etc", "s"); },
       "invalid user_id"},
      {"lyrn_build_user_feed_url(bad slug)", [] { lyrn_build_user_feed_url("https://h", "u", ""); },
       "invalid slug"},
  };
  // Two different messages before each call, so that a call that writes one
  // of them over the other shows as well as one that clears.
  const std::function<void()> presets[] = {[] { lyrn_parse_feed_json(nullptr, 0, nullptr); },
                                           [] { lyrn_discover_slugs_json(nullptr, 1); }};
  const char *const preset_text[] = {"null xml", "null html"};
  std::set<std::string> exports_seen;
  for (const auto &row : table) {
    const std::string call = row.call;
    exports_seen.insert(call.substr(0, call.find('(')));
    for (int k = 0; k < 2; ++k) {
      SCOPED_TRACE(std::string(row.call) + " after \"" + preset_text[k] + "\"");
      presets[k]();
      ASSERT_STREQ(lyrn_last_error(), preset_text[k]);
      row.run();
      EXPECT_STREQ(lyrn_last_error(), row.after ? row.after : preset_text[k]);
    }
  }
  EXPECT_EQ(exports_seen.size(), 13u);  // the table covers every export
}

TEST(Playlist, EmptyFeedGivesTheWholeEmptyDocument) {
  EXPECT_EQ(convert("", 0, nullptr), kEmptyDoc);
  EXPECT_STREQ(lyrn_last_error(), "");
}

TEST(Playlist, NullFeedSetsNullXmlWhateverTheLength) {
  for (size_t len : {size_t{0}, size_t{5}, size_t{1} << 40}) {
    SCOPED_TRACE(len);
    lyrn_free(lyrn_parse_feed_json("", 0, nullptr));  // clears
    EXPECT_EQ(lyrn_parse_feed_json(nullptr, len, "https://example.com/a/feed.xml"), nullptr);
    EXPECT_STREQ(lyrn_last_error(), "null xml");
  }
  EXPECT_EQ(convert("", 0, nullptr), kEmptyDoc);
  EXPECT_STREQ(lyrn_last_error(), "");
}

TEST(Playlist, FeedUrlIsWrittenAsPassed) {
  EXPECT_EQ(convert("", 0, ""), kEmptyDoc);
  EXPECT_EQ(convert("", 0, "https://example.com/u/all//"),
            R"({"name":"u","feedURL":"https://example.com/u/all//","artworkURL":null,)"
            R"("trackCount":0,"totalDuration":0.0,"tracks":[]})");
}

TEST(Playlist, LengthZeroMeansNulTerminatedAndALengthBoundsTheScan) {
  const char feed[] = "<rss><channel><title>Mix</title></channel></rss>";
  EXPECT_NE(convert(feed, 0, nullptr).find(R"("name":"Mix")"), std::string::npos);
  // Cut before the title's end tag: the channel has no name.
  EXPECT_NE(convert(feed, 20, nullptr).find(R"("name":"Playlist")"), std::string::npos);
}

TEST(Playlist, NameFallsBackToTheFolderOfTheFeedUrl) {
  struct {
    const char *url;
    const char *name;
  } cases[] = {
      {"music/u/all/feed.xml", "all"},
      {"music/u/all/", "u"},
      {"music/u/all//", "u"},
      {"all/feed.xml", "all"},
      {"feed.xml", "Playlist"},
      {"/feed.xml", "Playlist"},
      {"a//feed.xml", "Playlist"},
      {"///", "Playlist"},
      {"", "Playlist"},
      {"https://host.example/feed.xml", "host.example"},
      {"https://host.example/all/", "host.example"},
      {"https://host.example", "Playlist"},
      {"https://host.example/", "Playlist"},
      {"https://host.example/a/b?x=1/feed.xml", "b?x=1"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.url);
    std::string doc = convert("<rss/>", 0, c.url);
    EXPECT_EQ(doc.substr(0, doc.find(",\"feedURL\"")), std::string("{\"name\":\"") + c.name + "\"");
  }
}

}  // namespace
