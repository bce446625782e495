// SPDX-License-Identifier: MIT
// Golden feeds: each feed under tests/fixtures converts to exactly the
// playlist written beside it (same base name, .json, no trailing newline),
// and every prefix of every feed converts to a well-formed playlist whose
// tracks are the first tracks of the whole feed.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "lyrn.h"
#include "test_util.hpp"

namespace fs = std::filesystem;
using lyrn_test::exact_block;
using lyrn_test::owned_str;

namespace {

const fs::path kFixtures = LYRN_FIXTURES_DIR;
const fs::path kSampleFeed = kFixtures / ".." / ".." / "examples" / "sample-feed.xml";

std::string read_file(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Converts the bytes from an exactly-sized heap block with their exact length,
// so a read past the end shows up under AddressSanitizer.
std::string convert(const std::string &feed, const char *feed_url, bool *is_null) {
  exact_block block(feed);
  owned_str json(lyrn_parse_feed_json(block.data(), block.size(), feed_url));
  *is_null = json == nullptr;
  return lyrn_test::str_or(json.get());
}

struct golden_case {
  const char *name;      // base name of the .xml feed and its .json playlist
  const char *feed_url;  // passed to the conversion; may be null
};

// duplicates.xml has no channel title, so its name comes from the folder of
// its feed URL ("dupes").
const golden_case kGolden[] = {
    {"typical", "https://feeds.example.com/music/user/typical/feed.xml"},
    {"cdata_html", "https://feeds.example.com/music/user/cdata/feed.xml"},
    {"declarations", "https://feeds.example.com/music/user/declarations/feed.xml"},
    {"loose_markup", "https://feeds.example.com/music/user/loose/feed.xml"},
    {"truncated", "https://feeds.example.com/music/user/truncated/feed.xml"},
    {"duplicates", "https://feeds.example.com/music/user/dupes/feed.xml"},
    {"minimal", nullptr},
};

void PrintTo(const golden_case &c, std::ostream *os) { *os << c.name; }

class GoldenFeed : public ::testing::TestWithParam<golden_case> {};

TEST_P(GoldenFeed, ConvertsToItsExpectedPlaylist) {
  const golden_case &c = GetParam();
  const std::string feed = read_file(kFixtures / (std::string(c.name) + ".xml"));
  const std::string expected = read_file(kFixtures / (std::string(c.name) + ".json"));
  ASSERT_FALSE(feed.empty()) << "missing feed " << c.name << ".xml";
  ASSERT_FALSE(expected.empty()) << "missing playlist " << c.name << ".json";
  ASSERT_NE(expected.back(), '\n') << c.name << ".json must not end with a newline";

  bool is_null = false;
  const std::string actual = convert(feed, c.feed_url, &is_null);
  ASSERT_FALSE(is_null) << "conversion returned null";
  if (actual != expected) {
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    ADD_FAILURE() << "playlist differs from byte " << at << "\nexpected: " << expected
                  << "\nactual:   " << actual;
  }
  EXPECT_STREQ(lyrn_last_error(), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GoldenFeed, ::testing::ValuesIn(kGolden),
                         [](const ::testing::TestParamInfo<golden_case> &param_info) {
                           return std::string(param_info.param.name);
                         });

std::vector<fs::path> fixture_feeds() {
  std::vector<fs::path> feeds;
  for (const auto &entry : fs::directory_iterator(kFixtures))
    if (entry.is_regular_file() && entry.path().extension() == ".xml") feeds.push_back(entry.path());
  std::sort(feeds.begin(), feeds.end());
  return feeds;
}

// A feed dropped into the directory without a playlist beside it and a row in
// the table would otherwise be covered only by the prefix property.
TEST(Fixtures, EveryFeedHasAnExpectedPlaylist) {
  std::set<std::string> in_table;
  for (const golden_case &c : kGolden) in_table.insert(c.name);
  const std::vector<fs::path> feeds = fixture_feeds();
  EXPECT_EQ(feeds.size(), in_table.size());
  for (const fs::path &feed : feeds) {
    const std::string name = feed.stem().string();
    EXPECT_TRUE(in_table.count(name)) << name << ".xml has no row in the golden table";
    EXPECT_TRUE(fs::exists(kFixtures / (name + ".json"))) << name << ".xml has no .json playlist";
  }
}

// Owns a document read back from the conversion's text.
struct doc_deleter {
  void operator()(yyjson_doc *d) const { yyjson_doc_free(d); }
};
using owned_doc = std::unique_ptr<yyjson_doc, doc_deleter>;

owned_doc read_json(const std::string &text) {
  return owned_doc(yyjson_read(text.data(), text.size(), 0));
}

// The document is valid JSON, "trackCount" is the length of "tracks", and
// each of its tracks equals the track at the same place in the whole feed's
// document: tracks are only ever appended as items close, so a longer input
// can add tracks but never change or drop one.
::testing::AssertionResult prefix_is_consistent(const std::string &json, yyjson_val *whole_tracks,
                                                std::size_t *count) {
  owned_doc doc = read_json(json);
  if (!doc) return ::testing::AssertionFailure() << "not valid JSON: " << json;
  yyjson_val *root = yyjson_doc_get_root(doc.get());
  yyjson_val *track_count = yyjson_obj_get(root, "trackCount");
  yyjson_val *tracks = yyjson_obj_get(root, "tracks");
  if (!yyjson_is_uint(track_count) || !yyjson_is_arr(tracks))
    return ::testing::AssertionFailure() << "no trackCount or tracks: " << json;
  *count = yyjson_arr_size(tracks);
  if (yyjson_get_uint(track_count) != *count)
    return ::testing::AssertionFailure()
           << "trackCount " << yyjson_get_uint(track_count) << " but " << *count << " tracks";
  if (*count > yyjson_arr_size(whole_tracks))
    return ::testing::AssertionFailure() << "more tracks than the whole feed has: " << json;
  for (std::size_t i = 0; i < *count; ++i) {
    if (!yyjson_equals(yyjson_arr_get(tracks, i), yyjson_arr_get(whole_tracks, i)))
      return ::testing::AssertionFailure() << "track " << i << " differs from the whole feed's: " << json;
  }
  return ::testing::AssertionSuccess();
}

class FeedPrefixes : public ::testing::TestWithParam<fs::path> {};

TEST_P(FeedPrefixes, EveryPrefixGivesAConsistentPlaylist) {
  const char *url = "https://feeds.example.com/music/user/prefix/feed.xml";
  const std::string feed = read_file(GetParam());
  ASSERT_FALSE(feed.empty()) << "cannot read " << GetParam();

  bool is_null = false;
  const std::string whole = convert(feed, url, &is_null);
  ASSERT_FALSE(is_null);
  owned_doc whole_doc = read_json(whole);
  ASSERT_TRUE(whole_doc) << whole;
  yyjson_val *whole_tracks = yyjson_obj_get(yyjson_doc_get_root(whole_doc.get()), "tracks");
  ASSERT_TRUE(yyjson_is_arr(whole_tracks));
  ASSERT_GT(yyjson_arr_size(whole_tracks), 0u) << "a feed for this property should have tracks";

  std::size_t previous = 0;
  for (std::size_t len = 1; len <= feed.size(); ++len) {
    const std::string json = convert(feed.substr(0, len), url, &is_null);
    ASSERT_FALSE(is_null) << "prefix of " << len << " bytes";
    std::size_t count = 0;
    ASSERT_TRUE(prefix_is_consistent(json, whole_tracks, &count)) << "prefix of " << len << " bytes";
    ASSERT_GE(count, previous) << "track count fell at a prefix of " << len << " bytes";
    previous = count;
  }
  EXPECT_EQ(previous, yyjson_arr_size(whole_tracks));
}

std::vector<fs::path> all_feeds() {
  std::vector<fs::path> feeds = fixture_feeds();
  feeds.push_back(kSampleFeed);
  return feeds;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FeedPrefixes, ::testing::ValuesIn(all_feeds()),
                         [](const ::testing::TestParamInfo<fs::path> &param_info) {
                           std::string name = param_info.param.stem().string();
                           for (char &ch : name)
                             if (ch == '-' || ch == '.') ch = '_';
                           return name;
                         });

}  // namespace
