// SPDX-License-Identifier: MIT
// The reference conversion: one scanner pass that calls the two rule handlers
// directly, a summary of owned C strings, then the document. Written for
// plainness, not speed: every end tag's text is decoded into a new string,
// every retained value is its own heap block and the duplicate check walks
// all earlier tracks.
#include "reference_walk.hpp"

#include <yyjson.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "lyrn.h"
#include "text.hpp"

namespace lyrn_ref {
namespace {

// ---- Owned C strings --------------------------------------------------------

// Every string the rules keep is a NUL-terminated heap block; absent is null.
// Values are read as C strings, so a NUL byte ends them.
struct c_free {
  void operator()(char *p) const { std::free(p); }
};
using cstr = std::unique_ptr<char, c_free>;

bool present_nonempty(const cstr &s) { return s && s.get()[0] != '\0'; }

cstr copy_of(const char *s) {
  const std::size_t n = std::strlen(s);
  char *p = static_cast<char *>(std::malloc(n + 1));
  std::memcpy(p, s, n + 1);
  return cstr(p);
}

cstr copy_bytes(const char *s, std::size_t n) {
  char *p = static_cast<char *>(std::malloc(n + 1));
  if (n) std::memcpy(p, s, n);
  p[n] = '\0';
  return cstr(p);
}

// ---- Character classes and names -------------------------------------------

bool is_ws(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

unsigned char lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

// Same length, then byte by byte with only A to Z folded.
bool name_is(const char *name, std::size_t len, const char *want) {
  if (len != std::strlen(want)) return false;
  for (std::size_t i = 0; i < len; ++i)
    if (lower(static_cast<unsigned char>(name[i])) != lower(static_cast<unsigned char>(want[i]))) return false;
  return true;
}

// ---- Summary ----------------------------------------------------------------

struct track {
  cstr title;
  cstr artist;
  double duration = 0;
  cstr stream_url;
  cstr artwork_url;
  std::int64_t publish = 0;
  std::int64_t byte_length = 0;
};

struct summary {
  cstr channel_name;
  cstr channel_artwork;
  // Plain array: nothing until the first track, then 32 entries, doubled
  // when full.
  track *tracks = nullptr;
  std::size_t count = 0;
  std::size_t capacity = 0;

  summary() = default;
  summary(const summary &) = delete;
  summary &operator=(const summary &) = delete;
  ~summary() {
    for (std::size_t i = 0; i < count; ++i) tracks[i].~track();
    std::free(tracks);
  }
};

struct state {
  bool in_channel = false;
  bool in_item = false;
  cstr item_title;
  cstr item_author;
  cstr item_stream;
  cstr item_artwork;
  double item_duration = 0;
  std::int64_t item_publish = 0;
  std::int64_t item_length = 0;
  summary out;
};

// ---- Rules ------------------------------------------------------------------

// The part after the last '/', cut before its last '.' unless that dot is the
// first byte; "Track" when nothing is left.
cstr title_from_url(const char *url) {
  const char *slash = std::strrchr(url, '/');
  const char *part = slash ? slash + 1 : url;
  std::size_t n = std::strlen(part);
  const char *dot = std::strrchr(part, '.');
  if (dot && dot != part) n = static_cast<std::size_t>(dot - part);
  if (n == 0) return copy_of("Track");
  return copy_bytes(part, n);
}

void close_item(state &st) {
  st.in_item = false;
  if (!present_nonempty(st.item_stream)) return;
  summary &sum = st.out;
  for (std::size_t i = 0; i < sum.count; ++i)
    if (std::strcmp(sum.tracks[i].stream_url.get(), st.item_stream.get()) == 0) return;
  if (sum.capacity == 0) {
    sum.tracks = static_cast<track *>(std::malloc(32 * sizeof(track)));
    sum.capacity = 32;
  } else if (sum.count == sum.capacity) {
    // Tracks hold only pointers and numbers, so moving the bytes is fine.
    sum.tracks = static_cast<track *>(std::realloc(static_cast<void *>(sum.tracks), 2 * sum.count * sizeof(track)));
    sum.capacity = 2 * sum.count;
  }
  cstr source = present_nonempty(st.item_title) ? copy_of(st.item_title.get()) : title_from_url(st.item_stream.get());
  track *t = new (&sum.tracks[sum.count]) track();
  t->title.reset(lyrn_clean_title(source.get()));
  source.reset();
  t->artist = copy_of(st.item_author ? st.item_author.get() : "");
  t->duration = st.item_duration;
  t->stream_url = copy_of(st.item_stream.get());
  if (present_nonempty(st.item_artwork))
    t->artwork_url = copy_of(st.item_artwork.get());
  else if (present_nonempty(sum.channel_artwork))
    t->artwork_url = copy_of(sum.channel_artwork.get());
  t->publish = st.item_publish;
  t->byte_length = st.item_length;
  ++sum.count;
}

void enclosure(state &st, const char *attrs, std::size_t attrs_len) {
  cstr url(lyrn::extract_attr(attrs, attrs_len, "url"));
  if (present_nonempty(url)) st.item_stream = std::move(url);
  cstr length(lyrn::extract_attr(attrs, attrs_len, "length"));
  if (length) {
    long long v = std::strtoll(length.get(), nullptr, 10);
    st.item_length = v < 0 ? 0 : v;
  }
}

void handle_start_tag(state &st, const char *name, std::size_t len, const char *attrs, std::size_t attrs_len) {
  if (name_is(name, len, "channel")) {
    st.in_channel = true;
  } else if (name_is(name, len, "item")) {
    st.item_title.reset();
    st.item_author.reset();
    st.item_stream.reset();
    st.item_artwork.reset();
    st.item_duration = 0;
    st.item_publish = 0;
    st.item_length = 0;
    st.in_item = true;
  } else if (name_is(name, len, "enclosure")) {
    if (st.in_item) enclosure(st, attrs, attrs_len);
  } else if (name_is(name, len, "itunes:image")) {
    cstr href(lyrn::extract_attr(attrs, attrs_len, "href"));
    if (!present_nonempty(href)) return;
    if (st.in_item)
      st.item_artwork = std::move(href);
    else if (st.in_channel)
      st.out.channel_artwork = std::move(href);
  }
}

// Takes ownership of text (may be null); whatever is not kept is freed when
// the parameter goes out of scope.
void handle_end_tag(state &st, const char *name, std::size_t len, cstr text) {
  if (st.in_item) {
    if (name_is(name, len, "title")) {
      st.item_title = std::move(text);
    } else if (name_is(name, len, "itunes:author") || name_is(name, len, "author")) {
      if (!present_nonempty(st.item_author)) st.item_author = std::move(text);
    } else if (name_is(name, len, "itunes:duration")) {
      st.item_duration = text ? lyrn_parse_duration(text.get()) : 0;
    } else if (name_is(name, len, "pubDate")) {
      st.item_publish = text ? lyrn_parse_rfc2822_date(text.get()) : 0;
    } else if (name_is(name, len, "item")) {
      close_item(st);
    }
  } else if (st.in_channel) {
    if (name_is(name, len, "title")) {
      if (!present_nonempty(st.out.channel_name)) st.out.channel_name = std::move(text);
    } else if (name_is(name, len, "channel")) {
      st.in_channel = false;
    }
  }
}

// ---- Scanner ----------------------------------------------------------------

// Index of the first occurrence of `pat` that begins at or after `from`, or
// n when there is none inside the first n bytes.
std::size_t find(const char *d, std::size_t n, std::size_t from, const char *pat) {
  const std::size_t m = std::strlen(pat);
  for (std::size_t i = from; i + m <= n; ++i)
    if (std::memcmp(d + i, pat, m) == 0) return i;
  return n;
}

// Splits a tag's area into name and attribute region and calls the handler.
void tag(state &st, const char *d, std::size_t p, std::size_t gt, std::string &text) {
  if (gt == p + 1) {
    text.clear();
    return;
  }
  const bool end_tag = d[p + 1] == '/';
  std::size_t a = end_tag ? p + 2 : p + 1;
  std::size_t b = gt;
  if (!end_tag && d[gt - 1] == '/') b = gt - 1;
  while (a < b && is_ws(static_cast<unsigned char>(d[a]))) ++a;
  std::size_t name_end = a;
  while (name_end < b && !is_ws(static_cast<unsigned char>(d[name_end]))) ++name_end;
  const char *name = d + a;
  const std::size_t name_len = name_end - a;
  if (end_tag) {
    cstr decoded(lyrn::xml_decode_trim(text.data(), text.size()));
    handle_end_tag(st, name, name_len, std::move(decoded));
    text.clear();
  } else {
    text.clear();
    if (name_len > 0) handle_start_tag(st, name, name_len, d + name_end, b - name_end);
  }
}

void scan(state &st, const char *d, std::size_t n) {
  std::string text;  // everything since the last tag
  std::size_t pos = 0;
  while (pos < n) {
    if (d[pos] != '<') {
      std::size_t next = pos;
      while (next < n && d[next] != '<') ++next;
      text.append(d + pos, next - pos);
      pos = next;
      continue;
    }
    const std::size_t left = n - pos;
    if (left >= 4 && std::memcmp(d + pos, "<!--", 4) == 0) {
      const std::size_t close = find(d, n, pos + 4, "-->");
      if (close == n) return;
      pos = close + 3;
    } else if (left >= 9 && std::memcmp(d + pos, "<![CDATA[", 9) == 0) {
      const std::size_t start = pos + 9;
      const std::size_t close = find(d, n, start, "]]>");
      if (close == n) return;
      text.append(d + start, close - start);
      pos = close + 3;
    } else if (left >= 2 && (d[pos + 1] == '?' || d[pos + 1] == '!')) {
      const std::size_t gt = find(d, n, pos + 1, ">");
      if (gt == n) return;
      pos = gt + 1;
    } else {
      if (pos + 1 == n) return;
      std::size_t i = pos + 1;
      char quote = 0;
      for (; i < n; ++i) {
        const char c = d[i];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      if (i == n) return;
      tag(st, d, pos, i, text);
      pos = i + 1;
    }
  }
}

// ---- Document ---------------------------------------------------------------

// The folder in front of the feed file, else "Playlist".
std::string name_from_url(const char *url) {
  if (!url || !url[0]) return "Playlist";
  std::size_t n = std::strlen(url);
  while (n > 0 && url[n - 1] == '/') --n;
  std::size_t k = n;
  bool found = false;
  while (k > 0) {
    --k;
    if (url[k] == '/') {
      found = true;
      break;
    }
  }
  if (!found) return "Playlist";
  std::size_t s = k;
  while (s > 0 && url[s - 1] != '/') --s;
  if (s < k) return std::string(url + s, k - s);
  return "Playlist";
}

std::optional<std::string> write_document(summary &sum, const char *feed_url) {
  std::string name = present_nonempty(sum.channel_name) ? std::string(sum.channel_name.get()) : name_from_url(feed_url);
  double total = 0.0;
  for (std::size_t i = 0; i < sum.count; ++i)
    if (sum.tracks[i].duration > 0) total += sum.tracks[i].duration;

  yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
  yyjson_mut_val *root = yyjson_mut_obj(doc);
  yyjson_mut_doc_set_root(doc, root);
  yyjson_mut_obj_add_strcpy(doc, root, "name", name.c_str());
  yyjson_mut_obj_add_strcpy(doc, root, "feedURL", feed_url ? feed_url : "");
  if (sum.channel_artwork)
    yyjson_mut_obj_add_strcpy(doc, root, "artworkURL", sum.channel_artwork.get());
  else
    yyjson_mut_obj_add_null(doc, root, "artworkURL");
  yyjson_mut_obj_add_uint(doc, root, "trackCount", sum.count);
  yyjson_mut_obj_add_real(doc, root, "totalDuration", total);
  yyjson_mut_val *arr = yyjson_mut_arr(doc);
  yyjson_mut_obj_add_val(doc, root, "tracks", arr);
  for (std::size_t i = 0; i < sum.count; ++i) {
    const track &t = sum.tracks[i];
    yyjson_mut_val *obj = yyjson_mut_obj(doc);
    yyjson_mut_obj_add_strcpy(doc, obj, "title", t.title ? t.title.get() : "");
    yyjson_mut_obj_add_strcpy(doc, obj, "artist", t.artist ? t.artist.get() : "");
    yyjson_mut_obj_add_real(doc, obj, "duration", t.duration);
    yyjson_mut_obj_add_strcpy(doc, obj, "streamURL", t.stream_url ? t.stream_url.get() : "");
    if (t.artwork_url)
      yyjson_mut_obj_add_strcpy(doc, obj, "artworkURL", t.artwork_url.get());
    else
      yyjson_mut_obj_add_null(doc, obj, "artworkURL");
    yyjson_mut_obj_add_sint(doc, obj, "publishTimestamp", t.publish);
    yyjson_mut_obj_add_sint(doc, obj, "byteLength", t.byte_length);
    yyjson_mut_arr_append(arr, obj);
  }
  char *json = yyjson_mut_write_opts(doc, 0, nullptr, nullptr, nullptr);
  yyjson_mut_doc_free(doc);
  if (!json) return std::nullopt;
  std::string result(json);
  std::free(json);
  return result;
}

}  // namespace

std::optional<std::string> reference_feed_json(const char *feed, std::size_t feed_len, const char *feed_url) {
  if (!feed) return std::nullopt;
  if (feed_len == 0) feed_len = std::strlen(feed);
  state st;
  if (feed_len > 0) scan(st, feed, feed_len);
  return write_document(st.out, feed_url);
}

}  // namespace lyrn_ref
