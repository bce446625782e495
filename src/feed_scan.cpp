// The channel and item rules: they turn the scanner's events into a
// feed_summary. Two flags (in channel, in item) are the whole structural
// state; an element is recognised by its own name alone, at any depth.
#include "feed_scan.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ascii.hpp"
#include "byte_buffer.hpp"
#include "feed_markup.hpp"
#include "lyrn.h"
#include "text.hpp"
#include "string_set.hpp"

namespace lyrn {

void release_feed_track(feed_track &track) {
  std::free(track.title);
  std::free(track.artist);
  std::free(track.stream_url);
  std::free(track.artwork_url);
  track.title = track.artist = track.stream_url = track.artwork_url = nullptr;
}

void release_feed_summary(feed_summary &summary) {
  for (std::size_t i = 0; i < summary.count; ++i) release_feed_track(summary.tracks[i]);
  std::free(summary.tracks);
  std::free(summary.channel_name);
  std::free(summary.channel_artwork_url);
  summary = feed_summary{};
}

namespace {

// Tag names are told apart by length first, then compared with A-Z folded.
template <std::size_t N>
bool is_tag(const char *name, std::size_t len, const char (&want)[N]) {
  return len == N - 1 && ascii_iequal(name, want, N - 1);
}

bool is_blank(const char *s) { return !s || !*s; }

// Replaces an owned string, releasing the old one.
void replace(char *&slot, char *value) {
  std::free(slot);
  slot = value;
}

// The enclosure length: a base-10 integer as strtoll reads it (leading
// whitespace, a sign, digits; saturating), with negative values as 0.
std::int64_t read_length(const char *s) {
  while (ascii_is_space(static_cast<unsigned char>(*s))) ++s;
  if (*s == '-') return 0;
  if (*s == '+') ++s;
  std::int64_t v = 0;
  for (; ascii_is_digit(static_cast<unsigned char>(*s)); ++s) {
    int d = *s - '0';
    if (v > (INT64_MAX - d) / 10) return INT64_MAX;
    v = v * 10 + d;
  }
  return v;
}

// The title of an item that has none: the URL's last segment without its
// extension (a leading '.' is no extension), or "Track" when that is empty.
char *title_from_url(const char *url) {
  const char *seg = std::strrchr(url, '/');
  seg = seg ? seg + 1 : url;
  std::size_t len = std::strlen(seg);
  const char *dot = std::strrchr(seg, '.');
  if (dot && dot != seg) len = static_cast<std::size_t>(dot - seg);
  if (len == 0) return dup_bytes("Track", 5);
  return dup_bytes(seg, len);
}

struct feed_scan_state {
  bool in_channel = false;
  bool in_item = false;
  char *item_title = nullptr;
  char *item_author = nullptr;
  char *item_stream_url = nullptr;
  char *item_artwork_url = nullptr;
  double item_duration = 0;
  std::int64_t item_publish_timestamp = 0;
  std::int64_t item_byte_length = 0;
  feed_summary summary{};
  string_set seen_urls;  // the stream URLs of the tracks so far

  feed_scan_state() = default;
  feed_scan_state(const feed_scan_state &) = delete;
  feed_scan_state &operator=(const feed_scan_state &) = delete;
  ~feed_scan_state() {
    release_item();
    release_feed_summary(summary);
  }

  void release_item() {
    replace(item_title, nullptr);
    replace(item_author, nullptr);
    replace(item_stream_url, nullptr);
    replace(item_artwork_url, nullptr);
  }

  void start_tag(const char *name, std::size_t len, const char *attrs, std::size_t attrs_len);
  void end_tag(const char *name, std::size_t len, const collected_text &text);
  void close_item();
  bool make_room();
  bool seen_before(const char *url) const;
};

void feed_scan_state::start_tag(const char *name, std::size_t len, const char *attrs,
                                std::size_t attrs_len) {
  switch (len) {
    case 7:
      if (is_tag(name, len, "channel")) in_channel = true;
      return;
    case 4:
      if (is_tag(name, len, "item")) {
        // A new item; one still open is discarded without a track.
        release_item();
        item_duration = 0;
        item_publish_timestamp = 0;
        item_byte_length = 0;
        in_item = true;
      }
      return;
    case 9:
      if (in_item && is_tag(name, len, "enclosure")) {
        char *url = extract_attr(attrs, attrs_len, "url");
        if (!is_blank(url))
          replace(item_stream_url, url);
        else
          std::free(url);
        // The length acts on its own: it is kept when absent, set even without a url.
        char *length = extract_attr(attrs, attrs_len, "length");
        if (length) {
          item_byte_length = read_length(length);
          std::free(length);
        }
      }
      return;
    case 12:
      if ((in_item || in_channel) && is_tag(name, len, "itunes:image")) {
        char *href = extract_attr(attrs, attrs_len, "href");
        if (is_blank(href))
          std::free(href);
        else if (in_item)
          replace(item_artwork_url, href);
        else
          replace(summary.channel_artwork_url, href);
      }
      return;
    default:
      return;
  }
}

char *decode(const collected_text &text) { return xml_decode_trim(text.data, text.size); }

void feed_scan_state::end_tag(const char *name, std::size_t len, const collected_text &text) {
  if (in_item) {
    switch (len) {
      case 5:
        if (is_tag(name, len, "title")) replace(item_title, decode(text));
        return;
      case 13:
      case 6:
        // The first non-empty author of either spelling wins.
        if (is_blank(item_author) &&
            (is_tag(name, len, "itunes:author") || is_tag(name, len, "author")))
          replace(item_author, decode(text));
        return;
      case 15:
        if (is_tag(name, len, "itunes:duration")) {
          char *value = decode(text);
          item_duration = value ? lyrn_parse_duration(value) : 0;
          std::free(value);
        }
        return;
      case 7:
        if (is_tag(name, len, "pubDate")) {
          char *value = decode(text);
          item_publish_timestamp = value ? lyrn_parse_rfc2822_date(value) : 0;
          std::free(value);
        }
        return;
      case 4:
        if (is_tag(name, len, "item")) close_item();
        return;
      default:
        return;
    }
  }
  if (!in_channel) return;
  if (len == 5 && is_blank(summary.channel_name) && is_tag(name, len, "title")) {
    replace(summary.channel_name, decode(text));
  } else if (len == 7 && is_tag(name, len, "channel")) {
    in_channel = false;
  }
}

// Room for one more track: 32 at first, then twice the count.
bool feed_scan_state::make_room() {
  feed_summary &s = summary;
  if (s.count < s.capacity) return true;
  std::size_t cap = s.capacity ? s.count * 2 : 32;
  if (cap < s.count || cap > SIZE_MAX / sizeof(feed_track)) return false;
  void *grown = std::realloc(s.tracks, cap * sizeof(feed_track));
  if (!grown) return false;
  s.tracks = static_cast<feed_track *>(grown);
  s.capacity = cap;
  return true;
}

// A track already has this stream URL. A track whose URL could not be copied
// has none and equals no later URL.
bool feed_scan_state::seen_before(const char *url) const {
  if (seen_urls.usable()) return seen_urls.contains(url);
  for (std::size_t i = 0; i < summary.count; ++i) {
    const char *other = summary.tracks[i].stream_url;
    if (other && std::strcmp(other, url) == 0) return true;
  }
  return false;
}

void feed_scan_state::close_item() {
  in_item = false;
  if (is_blank(item_stream_url)) return;
  if (seen_before(item_stream_url)) return;
  if (!make_room()) return;

  feed_track t{};
  if (!is_blank(item_title)) {
    t.title = lyrn_clean_title(item_title);
  } else {
    char *source = title_from_url(item_stream_url);
    t.title = lyrn_clean_title(source);
    std::free(source);
  }
  const char *artwork = !is_blank(item_artwork_url)              ? item_artwork_url
                        : !is_blank(summary.channel_artwork_url) ? summary.channel_artwork_url
                                                                 : nullptr;
  t.artist = dup_cstr(item_author ? item_author : "");
  t.stream_url = dup_cstr(item_stream_url);
  t.artwork_url = artwork ? dup_cstr(artwork) : nullptr;
  t.duration = item_duration;
  t.publish_timestamp = item_publish_timestamp;
  t.byte_length = item_byte_length;
  summary.tracks[summary.count] = t;
  if (t.stream_url) seen_urls.insert(t.stream_url);
  ++summary.count;
}

}  // namespace

feed_summary collect_feed_summary(const char *feed, std::size_t length) {
  feed_scan_state state;
  scan_feed_markup(feed, length, state);
  // An item still open at the end gives no track; its strings go with the state.
  feed_summary out = state.summary;
  state.summary = feed_summary{};
  return out;
}

}  // namespace lyrn
