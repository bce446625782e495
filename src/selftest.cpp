// SPDX-License-Identifier: MIT
// The built-in self-test: ten fixed checks, run in order, over the functions
// that the exports hand over to, so that a check sees exactly what a host
// sees. It writes no last error itself; the functions it calls set and clear
// it as they always do.
#include "selftest.hpp"

#include <cstdlib>
#include <cstring>

#include "feed_locations.hpp"
#include "playlist.hpp"
#include "text.hpp"
#include "time_values.hpp"

namespace lyrn {
namespace {

// The distribution host for the feed URL checks and the test host of the
// sample feed; each sample URL lives on the one test host.
#define LYRN_ST_DIST "https://feeds.example.com"
#define LYRN_ST_CDN "https://cdn.example.com"

constexpr const char kValidFeedUrl[] = LYRN_ST_DIST "/music/u/all/feed.xml";
constexpr const char kFtpFeedUrl[] = "ftp://files.example.org/feed.xml";
constexpr const char kBaseUrl[] = LYRN_ST_DIST "/music";
constexpr const char kBuiltUrl[] = LYRN_ST_DIST "/music/user-123/all/feed.xml";

// Three links: a slug, one that is dropped, and "all", which moves to the front.
constexpr const char kListing[] =
    "<a href=\"./worship/\">w</a><a href=\"./video/\">v</a><a href=\"./all/\">a</a>";
static_assert(sizeof kListing - 1 == 72, "the listing is 72 bytes");

// The sample feed, its seven pieces joined with nothing between them.
constexpr const char kTrackArt[] = LYRN_ST_CDN "/t1.jpg";
constexpr const char kSampleFeed[] =
    "<rss><channel><title>Test &amp; Mix</title>"
    "<itunes:image href=\"" LYRN_ST_CDN "/ch.jpg\"/>"
    "<item><title>Song_One [AbCdEfGhIjK]</title>"
    "<enclosure url=\"" LYRN_ST_CDN "/s1.m4a\" length=\"1234\"/>"
    "<itunes:duration>3:44</itunes:duration>"
    "<itunes:image href=\"" LYRN_ST_CDN "/t1.jpg\"/>"
    "<itunes:author>Artist A</itunes:author></item></channel></rss>";
constexpr const char kSampleFeedUrl[] = LYRN_ST_CDN "/all/feed.xml";

#undef LYRN_ST_DIST
#undef LYRN_ST_CDN

// True when got is within 0.01 of want; a difference of exactly 0.01 passes.
bool within_hundredth(double got, double want) {
  double d = got - want;
  if (d < 0) d = -d;
  return d <= 0.01;  // false for NaN as well
}

// Releases s and reports whether it held exactly want.
bool take_equal(char *s, const char *want) {
  bool ok = s && std::strcmp(s, want) == 0;
  std::free(s);
  return ok;
}

bool check_format() {
  char buf[32];
  std::memset(buf, 0x7F, sizeof buf);  // so a missing NUL shows
  if (format_duration(4586.0, buf, sizeof buf) <= 0) return false;
  return std::memcmp(buf, "1:16:26", 8) == 0;  // the seven characters and the NUL
}

bool check_user_id_rejected() {
  char *url = build_user_feed_url(kBaseUrl, "../etc", "all");
  bool ok = url == nullptr;
  std::free(url);
  return ok;
}

bool check_sample_feed() {
  char *json = parse_feed_json(kSampleFeed, sizeof kSampleFeed - 1, kSampleFeedUrl);
  bool ok = json && std::strstr(json, "\"name\":\"Test & Mix\"") && std::strstr(json, kTrackArt);
  std::free(json);
  return ok;
}

}  // namespace

std::int32_t selftest() {
  if (!within_hundredth(parse_duration("1:16:26"), 4586.0)) return 1;
  if (!within_hundredth(parse_duration("3:44"), 224.0)) return 2;
  if (!check_format()) return 3;
  if (!take_equal(clean_title("O_Holy_Night [4hjgkvuKES8]"), "O Holy Night")) return 4;
  if (validate_feed_url(kValidFeedUrl) != 0) return 5;
  if (validate_feed_url(kFtpFeedUrl) == 0) return 6;
  if (!check_user_id_rejected()) return 7;
  if (!take_equal(build_user_feed_url(kBaseUrl, "user-123", "all"), kBuiltUrl)) return 8;
  if (!take_equal(discover_slugs_json(kListing, sizeof kListing - 1), "[\"all\",\"worship\"]"))
    return 9;
  if (!check_sample_feed()) return 10;
  return 0;
}

}  // namespace lyrn
