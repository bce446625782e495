// SPDX-License-Identifier: MIT
// The export frame and the playlist document.
#include <gtest/gtest.h>

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
  EXPECT_EQ(std::to_string(LYRN_VERSION_MAJOR) + "." + std::to_string(LYRN_VERSION_MINOR) + "." +
                std::to_string(LYRN_VERSION_PATCH),
            v);
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

// The ten exports that do not report a reason leave the text alone.
TEST(Frame, OtherExportsLeaveTheLastErrorAlone) {
  lyrn_parse_feed_json(nullptr, 3, "x");
  ASSERT_STREQ(lyrn_last_error(), "null xml");
  char buf[16];
  lyrn_version();
  lyrn_abi_version();
  lyrn_free(nullptr);
  lyrn_parse_duration("3:44");
  lyrn_parse_duration(nullptr);
  lyrn_format_duration(224, buf, sizeof buf);
  lyrn_format_duration(224, nullptr, 0);
  lyrn_parse_rfc2822_date("Tue, 02 Jan 2024 10:00:00 GMT");
  lyrn_parse_rfc2822_date(nullptr);
  lyrn_free(lyrn_clean_title("a_b"));
  lyrn_free(lyrn_clean_title(nullptr));
  lyrn_validate_feed_url("https://example.com/feed.xml");
  lyrn_validate_feed_url("ftp://x");
  lyrn_selftest();
  // lyrn_selftest calls the reporting exports, which set and clear the text
  // themselves; start again for the last check.
  lyrn_parse_feed_json(nullptr, 3, "x");
  lyrn_last_error();
  EXPECT_STREQ(lyrn_last_error(), "null xml");
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
