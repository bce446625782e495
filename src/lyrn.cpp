// SPDX-License-Identifier: MIT
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

#define LYRN_STR_(x) #x
#define LYRN_STR(x) LYRN_STR_(x)
// The runtime version, spelled from the header's macros so the two cannot drift.
constexpr const char kVersion[] =
    LYRN_STR(LYRN_VERSION_MAJOR) "." LYRN_STR(LYRN_VERSION_MINOR) "." LYRN_STR(LYRN_VERSION_PATCH);
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

// Adds a string member, writing an absent value as "". False when the
// document has no room for it.
bool add_str(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *value) {
  return yyjson_mut_obj_add_strcpy(doc, obj, key, value ? value : "");
}

bool add_str_or_null(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *value) {
  return value ? yyjson_mut_obj_add_strcpy(doc, obj, key, value) : yyjson_mut_obj_add_null(doc, obj, key);
}

// The playlist under construction: each track becomes an object in the
// document's "tracks" array as soon as its item closes, so no track is held
// anywhere else and the document is the only thing that grows. A document
// that misses any member for lack of memory is never written: a playlist
// without some of its tracks or fields would pass for the whole one.
struct playlist {
  yyjson_mut_doc *doc;
  yyjson_mut_val *tracks;
  std::size_t count;
  double total_duration;  // of the positive durations, in track order
  bool complete;
};

const char *add_track(void *context, const feed_track &t) {
  playlist &pl = *static_cast<playlist *>(context);
  ++pl.count;
  if (t.duration > 0) pl.total_duration += t.duration;
  yyjson_mut_doc *doc = pl.doc;
  yyjson_mut_val *obj = yyjson_mut_obj(doc);
  bool ok = add_str(doc, obj, "title", t.title) && add_str(doc, obj, "artist", t.artist) &&
            yyjson_mut_obj_add_real(doc, obj, "duration", t.duration);
  // The document's copy of the URL lasts as long as the document, which
  // outlives the scan: it is what later items are compared with.
  yyjson_mut_val *url = ok ? yyjson_mut_strcpy(doc, t.stream_url) : nullptr;
  ok = url && yyjson_mut_obj_add(obj, yyjson_mut_str(doc, "streamURL"), url) &&
       add_str_or_null(doc, obj, "artworkURL", t.artwork_url) &&
       yyjson_mut_obj_add_sint(doc, obj, "publishTimestamp", t.publish_timestamp) &&
       yyjson_mut_obj_add_sint(doc, obj, "byteLength", t.byte_length) && yyjson_mut_arr_append(pl.tracks, obj);
  if (!ok) pl.complete = false;
  return url ? yyjson_mut_get_str(url) : nullptr;
}

// Adds the root object with the channel's members and the tracks, then
// writes the document; null when anything is missing or cannot be written.
char *write_playlist(playlist &pl, const feed_summary &summary, const char *feed_url) {
  if (!pl.complete || summary.out_of_memory) return nullptr;
  yyjson_mut_doc *doc = pl.doc;
  yyjson_mut_val *root = yyjson_mut_obj(doc);
  if (!root) return nullptr;
  yyjson_mut_doc_set_root(doc, root);

  const char *name = summary.channel_name;
  std::size_t name_len = name ? std::strlen(name) : 0;
  if (name_len == 0) {
    name = kDefaultName;
    name_len = sizeof kDefaultName - 1;
    folder_name_from_url(feed_url, &name, &name_len);
  }
  const bool ok = yyjson_mut_obj_add_strncpy(doc, root, "name", name, name_len) &&
                  add_str(doc, root, "feedURL", feed_url) &&
                  add_str_or_null(doc, root, "artworkURL", summary.channel_artwork_url) &&
                  yyjson_mut_obj_add_uint(doc, root, "trackCount", pl.count) &&
                  yyjson_mut_obj_add_real(doc, root, "totalDuration", pl.total_duration) &&
                  yyjson_mut_obj_add_val(doc, root, "tracks", pl.tracks);
  return ok ? yyjson_mut_write_opts(doc, 0, nullptr, nullptr, nullptr) : nullptr;
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
  char *json = nullptr;
  if (yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr)) {
    yyjson_mut_val *tracks = yyjson_mut_arr(doc);
    lyrn::playlist pl{doc, tracks, 0, 0.0, tracks != nullptr};
    lyrn::feed_summary summary{};
    if (feed_len > 0) summary = lyrn::collect_feed_summary(feed, feed_len, {&lyrn::add_track, &pl});
    json = lyrn::write_playlist(pl, summary, feed_url);
    lyrn::release_feed_summary(summary);
    yyjson_mut_doc_free(doc);
  }
  lyrn::clear_last_error();
  return json;
}

}  // extern "C"
