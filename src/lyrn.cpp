// The export frame: version queries, the per-thread last error, lyrn_free,
// and the feed conversion entry that writes the playlist document.
#include "lyrn.h"

#include <yyjson.h>

#include <cstdlib>
#include <cstring>

#include "feed_scan.hpp"
#include "last_error.hpp"

static_assert(YYJSON_VERSION_HEX >= 0x000C00, "yyjson 0.12 or later is required");

namespace lyrn {
namespace {

constexpr const char kVersion[] = "1.0.0";
constexpr int kErrCapacity = 256;

// Zero-filled on each thread's first use, so it reads as "" until written.
thread_local char g_last_err[kErrCapacity];

constexpr const char kDefaultName[] = "Playlist";

// The playlist name when the channel has none: the path segment in front of
// the last one of the feed URL (the folder that holds the feed file), after
// trailing '/' characters are dropped. Returns false when there is none.
bool folder_name_from_url(const char *url, const char **name, std::size_t *name_len) {
  if (!url) return false;
  std::size_t n = std::strlen(url);
  while (n > 0 && url[n - 1] == '/') --n;
  std::size_t k = n;
  while (k > 0 && url[k - 1] != '/') --k;
  if (k == 0) return false;  // no '/' before the last segment
  --k;                       // index of that '/'
  std::size_t s = k;
  while (s > 0 && url[s - 1] != '/') --s;
  if (s >= k) return false;
  *name = url + s;
  *name_len = k - s;
  return true;
}

// Adds a string member, writing an absent value as "".
void add_str(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *value) {
  yyjson_mut_obj_add_strcpy(doc, obj, key, value ? value : "");
}

void add_str_or_null(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *value) {
  if (value)
    yyjson_mut_obj_add_strcpy(doc, obj, key, value);
  else
    yyjson_mut_obj_add_null(doc, obj, key);
}

// Builds and writes the playlist document, releasing the summary as it goes.
char *write_playlist(feed_summary &summary, const char *feed_url) {
  double total = 0.0;
  for (std::size_t i = 0; i < summary.count; ++i)
    if (summary.tracks[i].duration > 0) total += summary.tracks[i].duration;

  yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
  if (!doc) {
    release_feed_summary(summary);
    return nullptr;
  }
  yyjson_mut_val *root = yyjson_mut_obj(doc);
  yyjson_mut_doc_set_root(doc, root);

  if (summary.channel_name && summary.channel_name[0]) {
    yyjson_mut_obj_add_strcpy(doc, root, "name", summary.channel_name);
  } else {
    const char *name = kDefaultName;
    std::size_t name_len = sizeof kDefaultName - 1;
    folder_name_from_url(feed_url, &name, &name_len);
    yyjson_mut_obj_add_strncpy(doc, root, "name", name, name_len);
  }
  std::free(summary.channel_name);
  summary.channel_name = nullptr;

  add_str(doc, root, "feedURL", feed_url);
  add_str_or_null(doc, root, "artworkURL", summary.channel_artwork_url);
  yyjson_mut_obj_add_uint(doc, root, "trackCount", summary.count);
  yyjson_mut_obj_add_real(doc, root, "totalDuration", total);
  yyjson_mut_val *tracks = yyjson_mut_arr(doc);
  yyjson_mut_obj_add_val(doc, root, "tracks", tracks);

  for (std::size_t i = 0; i < summary.count; ++i) {
    feed_track &t = summary.tracks[i];
    yyjson_mut_val *obj = yyjson_mut_obj(doc);
    add_str(doc, obj, "title", t.title);
    add_str(doc, obj, "artist", t.artist);
    yyjson_mut_obj_add_real(doc, obj, "duration", t.duration);
    add_str(doc, obj, "streamURL", t.stream_url);
    add_str_or_null(doc, obj, "artworkURL", t.artwork_url);
    yyjson_mut_obj_add_sint(doc, obj, "publishTimestamp", t.publish_timestamp);
    yyjson_mut_obj_add_sint(doc, obj, "byteLength", t.byte_length);
    yyjson_mut_arr_append(tracks, obj);
    release_feed_track(t);  // the document holds its own copies now
  }
  release_feed_summary(summary);

  char *json = yyjson_mut_write_opts(doc, 0, nullptr, nullptr, nullptr);
  yyjson_mut_doc_free(doc);
  return json;
}

}  // namespace

void set_last_error(const char *message) {
  std::size_t n = std::strlen(message);
  if (n >= kErrCapacity) n = kErrCapacity - 1;
  std::memcpy(g_last_err, message, n);
  g_last_err[n] = '\0';
}

void clear_last_error() { g_last_err[0] = '\0'; }

}  // namespace lyrn

extern "C" {

LYRN_API const char *lyrn_version(void) { return lyrn::kVersion; }

LYRN_API int32_t lyrn_abi_version(void) { return LYRN_VERSION_MAJOR; }

LYRN_API void lyrn_free(void *ptr) { std::free(ptr); }

LYRN_API const char *lyrn_last_error(void) { return lyrn::g_last_err; }

LYRN_API char *lyrn_parse_feed_json(const char *feed, size_t feed_len, const char *feed_url) {
  if (!feed) {
    lyrn::set_last_error(lyrn::kErrNullXml);
    return nullptr;
  }
  if (feed_len == 0) feed_len = std::strlen(feed);
  lyrn::feed_summary summary{};
  if (feed_len > 0) summary = lyrn::collect_feed_summary(feed, feed_len);
  char *json = lyrn::write_playlist(summary, feed_url);
  lyrn::clear_last_error();
  return json;
}

}  // extern "C"
