// SPDX-License-Identifier: MIT
// Golden feeds: each feed under tests/fixtures converts to exactly the
// playlist written beside it (same base name, .json, no trailing newline).
// Every prefix of every feed is compared with the reference walk in
// test_differential.cpp.
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

  lyrn_test::for_each_markup_search([&] {
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
  });
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
// the table would otherwise be checked only against the reference walk.
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

}  // namespace
