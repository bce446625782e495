// SPDX-License-Identifier: MIT
// The playlist builder and the feed conversion entry.
#include "playlist.hpp"

#include <cstring>

#include "last_error.hpp"

static_assert(YYJSON_VERSION_HEX >= 0x000C00, "yyjson 0.12 or later is required");

namespace lyrn {
namespace {

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

}  // namespace

// Each track becomes an object in the document's "tracks" array as soon as
// it arrives, so no track is held anywhere else and the document is the only
// thing that grows. A document that misses any member for lack of memory is
// never written: a playlist without some of its tracks or fields would pass
// for the whole one.
playlist_builder::playlist_builder() : doc_(yyjson_mut_doc_new(nullptr)) {
  if (doc_) tracks_ = yyjson_mut_arr(doc_);
}

playlist_builder::~playlist_builder() { yyjson_mut_doc_free(doc_); }

bool playlist_builder::add(const feed_track &t) {
  const std::uint64_t h = taken_.hash(t.stream_url);
  if (taken_.contains(t.stream_url, h)) return true;
  if (!complete_ || !taken_.make_room()) return complete_ = false;
  ++count_;
  if (t.duration > 0) total_duration_ += t.duration;
  yyjson_mut_doc *doc = doc_;
  yyjson_mut_val *obj = yyjson_mut_obj(doc);
  bool ok = add_str(doc, obj, "title", t.title) && add_str(doc, obj, "artist", t.artist) &&
            yyjson_mut_obj_add_real(doc, obj, "duration", t.duration);
  // The document's copy of the URL lasts as long as the builder: it is what
  // later tracks are compared with.
  yyjson_mut_val *url = ok ? yyjson_mut_strcpy(doc, t.stream_url) : nullptr;
  if (url) taken_.insert(yyjson_mut_get_str(url), h);
  ok = url && yyjson_mut_obj_add(obj, yyjson_mut_str(doc, "streamURL"), url) &&
       add_str_or_null(doc, obj, "artworkURL", t.artwork_url) &&
       yyjson_mut_obj_add_sint(doc, obj, "publishTimestamp", t.publish_timestamp) &&
       yyjson_mut_obj_add_sint(doc, obj, "byteLength", t.byte_length) && yyjson_mut_arr_append(tracks_, obj);
  if (!ok) complete_ = false;
  return complete_;
}

char *playlist_builder::write(const char *channel_name, const char *channel_artwork_url, const char *feed_url) {
  if (!complete_ || !tracks_) return nullptr;
  yyjson_mut_doc *doc = doc_;
  yyjson_mut_val *root = yyjson_mut_obj(doc);
  if (!root) return nullptr;
  yyjson_mut_doc_set_root(doc, root);

  const char *name = channel_name;
  std::size_t name_len = name ? std::strlen(name) : 0;
  if (name_len == 0) {
    name = kDefaultName;
    name_len = sizeof kDefaultName - 1;
    folder_name_from_url(feed_url, &name, &name_len);
  }
  const bool ok = yyjson_mut_obj_add_strncpy(doc, root, "name", name, name_len) &&
                  add_str(doc, root, "feedURL", feed_url) &&
                  add_str_or_null(doc, root, "artworkURL", channel_artwork_url) &&
                  yyjson_mut_obj_add_uint(doc, root, "trackCount", count_) &&
                  yyjson_mut_obj_add_real(doc, root, "totalDuration", total_duration_) &&
                  yyjson_mut_obj_add_val(doc, root, "tracks", tracks_);
  return ok ? yyjson_mut_write_opts(doc, 0, nullptr, nullptr, nullptr) : nullptr;
}

char *parse_feed_json(const char *feed, std::size_t length, const char *feed_url) {
  if (!feed) {
    set_last_error(kErrNullXml);
    return nullptr;
  }
  if (length == 0) length = std::strlen(feed);
  char *json = nullptr;
  {
    playlist_builder playlist;
    if (playlist.ready()) {
      feed_summary summary{};
      if (length > 0) summary = collect_feed_summary(feed, length, playlist.sink());
      if (!summary.out_of_memory)
        json = playlist.write(summary.channel_name, summary.channel_artwork_url, feed_url);
      release_feed_summary(summary);
    }
  }
  clear_last_error();
  return json;
}

}  // namespace lyrn
