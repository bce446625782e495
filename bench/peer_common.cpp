// SPDX-License-Identifier: MIT
#include "peer_common.hpp"

#include <yyjson.h>

#include <cstdlib>
#include <cstring>

#include "lyrn.h"

namespace bench {
namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The library's readers take NUL-terminated text; short fields fit on the stack.
template <typename Fn>
auto with_cstr(std::string_view s, Fn fn) {
  char small[128];
  if (s.size() < sizeof small) {
    std::memcpy(small, s.data(), s.size());
    small[s.size()] = '\0';
    return fn(small);
  }
  std::string copy(s);
  return fn(copy.c_str());
}

// An item without a title is named after its stream URL's last segment,
// without the extension (a leading '.' is no extension), else "Track".
std::string title_from_url(std::string_view url) {
  std::size_t slash = url.rfind('/');
  std::string_view seg = slash == std::string_view::npos ? url : url.substr(slash + 1);
  std::size_t dot = seg.rfind('.');
  if (dot != std::string_view::npos && dot != 0) seg = seg.substr(0, dot);
  return seg.empty() ? std::string("Track") : std::string(seg);
}

std::string clean_title(const std::string &source) {
  char *cleaned = lyrn_clean_title(source.c_str());
  std::string out = cleaned ? cleaned : "";
  lyrn_free(cleaned);
  return out;
}

// The folder that holds the feed file, as the library names a channel
// without a title; nullopt-like empty view when there is none.
std::string_view folder_name(const char *url) {
  if (!url) return {};
  std::string_view u(url);
  std::size_t n = u.size();
  while (n > 0 && u[n - 1] == '/') --n;
  std::size_t k = n;
  while (k > 0 && u[k - 1] != '/') --k;
  if (k == 0) return {};
  --k;
  std::size_t s = k;
  while (s > 0 && u[s - 1] != '/') --s;
  if (s >= k) return {};
  return u.substr(s, k - s);
}

void add_str(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const std::string &v) {
  yyjson_mut_obj_add_strncpy(doc, obj, key, v.data(), v.size());
}

}  // namespace

void item_fields::reset() {
  title.clear();
  author.clear();
  stream_url.clear();
  artwork.clear();
  duration = 0;
  publish_timestamp = 0;
  byte_length = 0;
}

std::string_view trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && is_space(s[b])) ++b;
  while (e > b && is_space(s[e - 1])) --e;
  return s.substr(b, e - b);
}

double read_duration(std::string_view text) {
  return with_cstr(trim(text), [](const char *s) { return lyrn_parse_duration(s); });
}

std::int64_t read_date(std::string_view text) {
  return with_cstr(trim(text),
                   [](const char *s) { return static_cast<std::int64_t>(lyrn_parse_rfc2822_date(s)); });
}

std::int64_t read_length(std::string_view value) {
  long long v = with_cstr(trim(value), [](const char *s) { return std::strtoll(s, nullptr, 10); });
  return v < 0 ? 0 : static_cast<std::int64_t>(v);
}

void feed_builder::channel_title(std::string_view text) {
  if (feed_.channel_name.empty()) feed_.channel_name = trim(text);
}

void feed_builder::channel_image(std::string_view href) {
  href = trim(href);
  if (!href.empty()) feed_.channel_artwork = href;
}

void feed_builder::close_item(const item_fields &item) {
  if (item.stream_url.empty()) return;
  if (seen_.count(item.stream_url)) return;
  peer_track &t = feed_.tracks.emplace_back();
  t.title = clean_title(item.title.empty() ? title_from_url(item.stream_url) : item.title);
  t.artist = item.author;
  t.duration = item.duration;
  t.stream_url = item.stream_url;
  if (!item.artwork.empty()) {
    t.artwork_url = item.artwork;
    t.has_artwork = true;
  } else if (!feed_.channel_artwork.empty()) {
    t.artwork_url = feed_.channel_artwork;
    t.has_artwork = true;
  }
  t.publish_timestamp = item.publish_timestamp;
  t.byte_length = item.byte_length;
  seen_.insert(t.stream_url);
}

peer_feed feed_builder::take() {
  seen_.clear();
  return std::move(feed_);
}

char *write_playlist(const peer_feed &feed, const char *feed_url) {
  double total = 0.0;
  for (const peer_track &t : feed.tracks)
    if (t.duration > 0) total += t.duration;

  yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
  if (!doc) return nullptr;
  yyjson_mut_val *root = yyjson_mut_obj(doc);
  yyjson_mut_doc_set_root(doc, root);

  if (!feed.channel_name.empty()) {
    add_str(doc, root, "name", feed.channel_name);
  } else {
    std::string_view folder = folder_name(feed_url);
    if (folder.empty()) folder = "Playlist";
    yyjson_mut_obj_add_strncpy(doc, root, "name", folder.data(), folder.size());
  }
  yyjson_mut_obj_add_strcpy(doc, root, "feedURL", feed_url ? feed_url : "");
  if (!feed.channel_artwork.empty())
    add_str(doc, root, "artworkURL", feed.channel_artwork);
  else
    yyjson_mut_obj_add_null(doc, root, "artworkURL");
  yyjson_mut_obj_add_uint(doc, root, "trackCount", feed.tracks.size());
  yyjson_mut_obj_add_real(doc, root, "totalDuration", total);
  yyjson_mut_val *tracks = yyjson_mut_arr(doc);
  yyjson_mut_obj_add_val(doc, root, "tracks", tracks);

  for (const peer_track &t : feed.tracks) {
    yyjson_mut_val *obj = yyjson_mut_obj(doc);
    add_str(doc, obj, "title", t.title);
    add_str(doc, obj, "artist", t.artist);
    yyjson_mut_obj_add_real(doc, obj, "duration", t.duration);
    add_str(doc, obj, "streamURL", t.stream_url);
    if (t.has_artwork)
      add_str(doc, obj, "artworkURL", t.artwork_url);
    else
      yyjson_mut_obj_add_null(doc, obj, "artworkURL");
    yyjson_mut_obj_add_sint(doc, obj, "publishTimestamp", t.publish_timestamp);
    yyjson_mut_obj_add_sint(doc, obj, "byteLength", t.byte_length);
    yyjson_mut_arr_append(tracks, obj);
  }

  char *json = yyjson_mut_write_opts(doc, 0, nullptr, nullptr, nullptr);
  yyjson_mut_doc_free(doc);
  return json;
}

void store_item_text(field f, std::string_view text, item_fields &item) {
  switch (f) {
    case field::title:
      item.title = trim(text);
      break;
    case field::author:
      if (item.author.empty()) item.author = trim(text);
      break;
    case field::duration:
      item.duration = read_duration(text);
      break;
    case field::pub_date:
      item.publish_timestamp = read_date(text);
      break;
    case field::none:
      break;
  }
}

}  // namespace bench
