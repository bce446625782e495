// SPDX-License-Identifier: MIT
// The channel and item rules: they turn the scanner's events into tracks,
// handed to a receiver as each item closes, and a feed_summary. Two flags
// (in channel, in item) are the whole structural state; an element is
// recognised by its own name alone, at any depth.
#include "feed_scan.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ascii.hpp"
#include "byte_buffer.hpp"
#include "feed_markup.hpp"
#include "text.hpp"
#include "time_values.hpp"

namespace lyrn {

void release_feed_summary(feed_summary &summary) {
  std::free(summary.channel_name);
  std::free(summary.channel_artwork_url);
  summary = feed_summary{};
}

namespace {

// Folds A-Z to a-z in each of the eight bytes of x and leaves every other
// byte as it is: a byte is upper case when, with its high bit clear, adding
// 0x3F sets that bit (from 'A') and adding 0x25 does not (up to 'Z').
constexpr std::uint64_t fold_word(std::uint64_t x) {
  const std::uint64_t low7 = x & 0x7F7F7F7F7F7F7F7FULL;
  const std::uint64_t upper = (low7 + 0x3F3F3F3F3F3F3F3FULL) & ~(low7 + 0x2525252525252525ULL) & ~x &
                              0x8080808080808080ULL;
  return x | (upper >> 2);
}

// The k bytes (k <= 8) at a and b compared with A-Z folded, a word at a time.
inline bool folded_equal(const char *a, const char *b, std::size_t k) {
  std::uint64_t x = 0, y = 0;
  std::memcpy(&x, a, k);
  std::memcpy(&y, b, k);
  return fold_word(x) == fold_word(y);
}

// Tag names are told apart by length first, then compared with A-Z folded,
// eight bytes at a time (this runs for nearly every tag of a feed).
template <std::size_t N>
bool is_tag(const char *name, std::size_t len, const char (&want)[N]) {
  constexpr std::size_t n = N - 1;
  if (len != n) return false;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8)
    if (!folded_equal(name + i, want + i, 8)) return false;
  return i == n || folded_equal(name + i, want + i, n - i);
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
  while (ascii_is_space(*s)) ++s;
  if (*s == '-') return 0;
  if (*s == '+') ++s;
  constexpr std::int64_t kMaxTenth = INT64_MAX / 10;
  constexpr int kMaxLastDigit = static_cast<int>(INT64_MAX % 10);
  std::int64_t v = 0;
  for (; ascii_is_digit(*s); ++s) {
    const int d = *s - '0';
    if (v > kMaxTenth || (v == kMaxTenth && d > kMaxLastDigit)) return INT64_MAX;
    v = v * 10 + d;
  }
  return v;
}

// The title of an item that has none: the URL's last segment without its
// extension (a leading '.' is no extension), or "Track" when that is empty.
void title_from_url(const char *url, byte_buffer &out) {
  const char *seg = std::strrchr(url, '/');
  seg = seg ? seg + 1 : url;
  std::size_t len = std::strlen(seg);
  const char *dot = std::strrchr(seg, '.');
  if (dot && dot != seg) len = static_cast<std::size_t>(dot - seg);
  out.clear();
  if (len == 0)
    out.append("Track", 5);
  else
    out.append(seg, len);
}

// The open item's texts live in buffers that are reused from item to item,
// so items cost no allocation of their own: a track's fields go straight from
// these buffers to the receiver. An empty buffer (or one whose text starts
// with a NUL) stands for an absent or empty text.
struct feed_scan_state {
  bool in_channel = false;
  bool in_item = false;
  byte_buffer item_title;
  byte_buffer item_author;
  byte_buffer item_stream_url;
  byte_buffer item_artwork_url;
  double item_duration = 0;
  std::int64_t item_publish_timestamp = 0;
  std::int64_t item_byte_length = 0;
  feed_summary summary{};
  track_sink sink;
  byte_buffer scratch;  // a decoded text before a rule decides to keep it
  byte_buffer title;    // the closing item's cleaned title

  explicit feed_scan_state(track_sink s) : sink(s) {}
  feed_scan_state(const feed_scan_state &) = delete;
  feed_scan_state &operator=(const feed_scan_state &) = delete;
  ~feed_scan_state() { release_feed_summary(summary); }

  // Decodes a text or attribute value into the scratch buffer. When that
  // fails the scratch is empty, which every rule reads as an absent text.
  // Once memory has run out nothing more is tried before the scan stops.
  const char *decode(const char *text, std::size_t size) {
    if (summary.out_of_memory || !xml_decode_trim_into(scratch, text, size)) {
      summary.out_of_memory = true;
      scratch.clear();
    }
    return scratch.c_str();
  }
  // A new copy of s for the summary; null (and noted) when out of memory.
  char *copy(const char *s) {
    char *p = summary.out_of_memory ? nullptr : dup_cstr(s);
    if (!p) summary.out_of_memory = true;
    return p;
  }
  // Decodes one attribute's value into the scratch; false when it is missing.
  bool decode_attr(const char *attrs, std::size_t attrs_len, const char *name) {
    const char *value;
    std::size_t value_len;
    if (!find_attr(attrs, attrs_len, name, &value, &value_len)) return false;
    decode(value, value_len);
    return true;
  }

  // The scanner's handlers: false once memory has run out, which stops the
  // scan, since a playlist that lost a piece is never written.
  bool start_tag(const char *name, std::size_t len, const char *attrs, std::size_t attrs_len) {
    on_start_tag(name, len, attrs, attrs_len);
    return !summary.out_of_memory;
  }
  bool end_tag(const char *name, std::size_t len, const collected_text &text) {
    on_end_tag(name, len, text);
    return !summary.out_of_memory;
  }

  void on_start_tag(const char *name, std::size_t len, const char *attrs, std::size_t attrs_len);
  void on_end_tag(const char *name, std::size_t len, const collected_text &text);
  void close_item();
};

void feed_scan_state::on_start_tag(const char *name, std::size_t len, const char *attrs,
                                   std::size_t attrs_len) {
  switch (len) {
    case 7:
      if (is_tag(name, len, "channel")) in_channel = true;
      return;
    case 4:
      if (is_tag(name, len, "item")) {
        // A new item; one still open is discarded without a track.
        item_title.clear();
        item_author.clear();
        item_stream_url.clear();
        item_artwork_url.clear();
        item_duration = 0;
        item_publish_timestamp = 0;
        item_byte_length = 0;
        in_item = true;
      }
      return;
    case 9:
      if (in_item && is_tag(name, len, "enclosure")) {
        attr_query q[2] = {{"url", 3, nullptr, 0, false}, {"length", 6, nullptr, 0, false}};
        find_attrs(attrs, attrs_len, q, 2);
        if (q[0].found) {
          decode(q[0].value, q[0].value_len);
          if (!scratch.blank()) item_stream_url.swap(scratch);
        }
        // The length acts on its own: it is kept when absent, set even without a url.
        if (q[1].found) item_byte_length = read_length(decode(q[1].value, q[1].value_len));
      }
      return;
    case 12:
      if ((in_item || in_channel) && is_tag(name, len, "itunes:image") &&
          decode_attr(attrs, attrs_len, "href") && !scratch.blank()) {
        if (in_item) {
          item_artwork_url.swap(scratch);
        } else if (char *href = copy(scratch.c_str())) {
          replace(summary.channel_artwork_url, href);
        }
      }
      return;
    default:
      return;
  }
}

void feed_scan_state::on_end_tag(const char *name, std::size_t len, const collected_text &text) {
  if (in_item) {
    switch (len) {
      case 5:
        // Every title replaces the last, also an empty one.
        if (is_tag(name, len, "title")) {
          decode(text.data, text.size);
          item_title.swap(scratch);
        }
        return;
      case 13:
      case 6:
        // The first non-empty author of either spelling wins.
        if (item_author.blank() && (is_tag(name, len, "itunes:author") || is_tag(name, len, "author"))) {
          decode(text.data, text.size);
          item_author.swap(scratch);
        }
        return;
      case 15:
        if (is_tag(name, len, "itunes:duration")) item_duration = parse_duration(decode(text.data, text.size));
        return;
      case 7:
        if (is_tag(name, len, "pubdate"))
          item_publish_timestamp = parse_rfc2822_date(decode(text.data, text.size));
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
    replace(summary.channel_name, copy(decode(text.data, text.size)));
  } else if (len == 7 && is_tag(name, len, "channel")) {
    in_channel = false;
  }
}

void feed_scan_state::close_item() {
  in_item = false;
  if (summary.out_of_memory || item_stream_url.blank()) return;
  const char *url = item_stream_url.c_str();
  bool ok;
  if (!item_title.blank()) {
    ok = clean_title_into(title, item_title.c_str());
  } else {
    title_from_url(url, scratch);
    ok = !scratch.empty() && clean_title_into(title, scratch.c_str());
  }
  if (!ok) {
    summary.out_of_memory = true;
    return;
  }
  const char *artwork = !item_artwork_url.blank()                ? item_artwork_url.c_str()
                        : !is_blank(summary.channel_artwork_url) ? summary.channel_artwork_url
                                                                 : nullptr;
  const feed_track t{title.c_str(),  item_author.c_str(),   item_duration,   url,
                     artwork,        item_publish_timestamp, item_byte_length};
  if (!sink.add(sink.context, t)) summary.out_of_memory = true;
}

}  // namespace

feed_summary collect_feed_summary(const char *feed, std::size_t length, track_sink sink) {
  feed_scan_state state(sink);
  if (!scan_feed_markup(feed, length, state)) state.summary.out_of_memory = true;
  // An item still open at the end gives no track.
  feed_summary out = state.summary;
  state.summary = feed_summary{};
  return out;
}

}  // namespace lyrn
