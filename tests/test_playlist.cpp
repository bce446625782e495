// SPDX-License-Identifier: MIT
// The playlist builder: the first track of each stream URL, the document.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "playlist.hpp"

namespace {

lyrn::feed_track track(const char *title, const char *url, double duration = 0) {
  return {title, "", duration, url, nullptr, 0, 0};
}

std::string take(char *json) {
  std::string s = json ? json : "<null>";
  std::free(json);
  return s;
}

// The first track of a URL wins; URLs compare byte for byte, and the
// builder keeps its own copy of each, so the caller's buffer may change.
TEST(Playlist, KeepsTheFirstTrackOfEachStreamUrl) {
  lyrn::playlist_builder pl;
  ASSERT_TRUE(pl.ready());
  char url[8] = "a";
  EXPECT_TRUE(pl.add(track("first", url, 1)));
  url[0] = 'A';
  EXPECT_TRUE(pl.add(track("upper", url, 2)));
  url[0] = 'a';
  EXPECT_TRUE(pl.add(track("again", url, 4)));
  EXPECT_TRUE(pl.add(track("longer", "a ", 8)));
  EXPECT_EQ(take(pl.write(nullptr, nullptr, "https://h/music/u/all/feed.xml")),
            R"({"name":"all","feedURL":"https://h/music/u/all/feed.xml","artworkURL":null,"trackCount":3,)"
            R"("totalDuration":11.0,"tracks":[)"
            R"({"title":"first","artist":"","duration":1.0,"streamURL":"a","artworkURL":null,"publishTimestamp":0,"byteLength":0},)"
            R"({"title":"upper","artist":"","duration":2.0,"streamURL":"A","artworkURL":null,"publishTimestamp":0,"byteLength":0},)"
            R"({"title":"longer","artist":"","duration":8.0,"streamURL":"a ","artworkURL":null,"publishTimestamp":0,"byteLength":0}]})");
}

TEST(Playlist, ManyTracksWithRepeatsKeepTheFirstOfEachInOrder) {
  lyrn::playlist_builder pl;
  for (int i = 0; i < 30000; ++i) {
    const std::string url = "https://cdn.example.com/" + std::to_string(i % 7000) + ".mp3";
    const std::string title = "t" + std::to_string(i);
    ASSERT_TRUE(pl.add(track(title.c_str(), url.c_str())));
  }
  const std::string doc = take(pl.write("Mix", nullptr, nullptr));
  EXPECT_NE(doc.find(R"("trackCount":7000,)"), std::string::npos);
  EXPECT_NE(doc.find(R"({"title":"t6999",)"), std::string::npos);
  EXPECT_EQ(doc.find(R"({"title":"t7000",)"), std::string::npos);
}

}  // namespace
