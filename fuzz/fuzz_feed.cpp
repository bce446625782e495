// SPDX-License-Identifier: MIT
// Feed conversion. The input is split at its first 0xFF byte: the bytes before
// it are the feed, the bytes after it the feed URL (no 0xFF: no feed URL).
// The feed is converted once with its exact length and once NUL-terminated,
// and every document that comes back is checked for its shape and totals.
#include <yyjson.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <string>

#include "fuzz_util.hpp"
#include "lyrn.h"

namespace {

const char *str_member(yyjson_val *obj, const char *key) {
  yyjson_val *v = yyjson_obj_get(obj, key);
  FUZZ_CHECK(yyjson_is_str(v));
  return yyjson_get_str(v);
}

// A written playlist: the six root members, seven per track, a trackCount
// equal to the number of tracks, a total that is the sum of the positive
// durations, distinct non-empty stream URLs and the feed URL as passed.
void check_playlist(const char *json, const char *feed_url) {
  yyjson_doc *doc = yyjson_read(json, std::strlen(json), 0);
  FUZZ_CHECK(doc != nullptr);
  yyjson_val *root = yyjson_doc_get_root(doc);
  FUZZ_CHECK(yyjson_is_obj(root));
  FUZZ_CHECK(yyjson_obj_size(root) == 6);
  FUZZ_CHECK(str_member(root, "name")[0] != '\0');
  FUZZ_CHECK(std::strcmp(str_member(root, "feedURL"), feed_url ? feed_url : "") == 0);
  yyjson_val *art = yyjson_obj_get(root, "artworkURL");
  FUZZ_CHECK(yyjson_is_null(art) || (yyjson_is_str(art) && yyjson_get_str(art)[0] != '\0'));
  yyjson_val *count = yyjson_obj_get(root, "trackCount");
  yyjson_val *total = yyjson_obj_get(root, "totalDuration");
  yyjson_val *tracks = yyjson_obj_get(root, "tracks");
  FUZZ_CHECK(yyjson_is_uint(count) && yyjson_is_real(total) && yyjson_is_arr(tracks));
  FUZZ_CHECK(yyjson_get_uint(count) == yyjson_arr_size(tracks));

  double sum = 0.0;
  std::set<std::string> urls;
  std::size_t i, n;
  yyjson_val *t;
  yyjson_arr_foreach(tracks, i, n, t) {
    FUZZ_CHECK(yyjson_is_obj(t) && yyjson_obj_size(t) == 7);
    str_member(t, "title");
    str_member(t, "artist");
    const char *url = str_member(t, "streamURL");
    FUZZ_CHECK(url[0] != '\0');
    FUZZ_CHECK(urls.insert(url).second);  // one track per distinct enclosure URL
    yyjson_val *d = yyjson_obj_get(t, "duration");
    FUZZ_CHECK(yyjson_is_real(d));
    const double dur = yyjson_get_real(d);
    FUZZ_CHECK(dur >= 0.0);  // parsed durations are never negative
    if (dur > 0) sum += dur;
    yyjson_val *a = yyjson_obj_get(t, "artworkURL");
    FUZZ_CHECK(yyjson_is_null(a) || (yyjson_is_str(a) && yyjson_get_str(a)[0] != '\0'));
    FUZZ_CHECK(yyjson_is_int(yyjson_obj_get(t, "publishTimestamp")));
    yyjson_val *len = yyjson_obj_get(t, "byteLength");
    FUZZ_CHECK(yyjson_is_int(len));
    FUZZ_CHECK(yyjson_is_uint(len) || yyjson_get_sint(len) >= 0);
  }
  FUZZ_CHECK(yyjson_get_real(total) == sum);
  yyjson_doc_free(doc);
}

// Converts one span and checks what came back; returns the owned result.
char *convert(const char *feed, std::size_t len, const char *url) {
  char *json = lyrn_parse_feed_json(feed, len, url);
  // The feed is never null here, so no message is left, whatever the result.
  FUZZ_CHECK(lyrn_last_error()[0] == '\0');
  if (json) check_playlist(json, url);
  return json;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const fuzz::feed_input input = fuzz::split_feed_input(data, size);
  const std::string &feed = input.feed;
  const char *feed_url = input.url();
  const std::string url_text = feed_url ? std::string(feed_url) : std::string();

  char *exact = nullptr;
  if (!feed.empty()) {
    fuzz::heap_copy span(feed.data(), feed.size(), false);
    exact = convert(span.data(), span.size(), feed_url);
  }
  fuzz::heap_copy text(feed.data(), feed.size(), true);
  char *measured = convert(text.data(), 0, feed_url);

  // Without a NUL inside, the measured text is the same span.
  if (!feed.empty() && !std::memchr(feed.data(), '\0', feed.size())) {
    FUZZ_CHECK((exact == nullptr) == (measured == nullptr));
    if (exact) FUZZ_CHECK(std::strcmp(exact, measured) == 0);
  }
  // Only bytes that are not valid UTF-8 (bytes >= 0x80, or references that
  // decode to surrogates) and non-finite durations can stop the writer.
  const std::string measured_feed(text.data());
  if (fuzz::all_ascii(measured_feed) && fuzz::all_ascii(url_text) &&
      measured_feed.find('&') == std::string::npos && !fuzz::icontains(measured_feed, "duration"))
    FUZZ_CHECK(measured != nullptr);
  lyrn_free(exact);
  lyrn_free(measured);
  return 0;
}
