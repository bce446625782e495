// SPDX-License-Identifier: MIT
// The reference conversion: one scanner pass that calls the two rule handlers
// directly, a summary of owned C strings, then the document. Written for
// plainness, not speed: every end tag's text is decoded into a new string,
// every attribute region is split into a list of pairs, every retained value
// is its own heap block and the duplicate check walks all earlier tracks.
#include "reference_walk.hpp"

#include <yyjson.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "lyrn.h"

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

// ---- Text, attributes, titles and durations, written again ----------------
// Plain and slow on purpose, and written from the documented rules rather
// than from the library's code, so that a fault in the library's version
// shows as a difference instead of on both sides.

std::string ascii_trimmed(const std::string &s) {
  std::size_t b = 0, e = s.size();
  while (b < e && is_ws(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && is_ws(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// The code point named by "#65" or "#x41" (x in either case), or 0 when the
// name is not a numeric reference to 1..0x10FFFF.
std::uint32_t numeric_reference(const std::string &name) {
  if (name.size() < 2 || name[0] != '#') return 0;
  const bool hex = name[1] == 'x' || name[1] == 'X';
  const std::string digits = name.substr(hex ? 2 : 1);
  if (digits.empty()) return 0;
  std::uint64_t v = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return 0;
    v = v * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
    if (v > 0x10FFFF) return 0;  // stays above the limit whatever follows
  }
  return static_cast<std::uint32_t>(v);
}

void append_utf8(std::string &out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// One level of the five entities (case as written) and numeric references
// whose name has at most 12 bytes between '&' and ';' with no other '&';
// anything else stays as it stands. Then whitespace is trimmed at both ends.
// A NUL byte in the result ends it as a C string.
cstr decode_and_trim(const char *text, std::size_t n) {
  static const std::pair<const char *, char> kEntities[] = {
      {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
  std::string out;
  std::size_t i = 0;
  while (i < n) {
    if (text[i] == '&') {
      std::size_t semi = 0;
      for (std::size_t k = i + 1; k < n && k <= i + 13; ++k) {
        if (text[k] == '&') break;
        if (text[k] == ';') {
          semi = k;
          break;
        }
      }
      if (semi) {
        const std::string name(text + i + 1, semi - i - 1);
        bool done = false;
        for (const auto &e : kEntities) {
          if (name == e.first) {
            out += e.second;
            done = true;
          }
        }
        if (!done) {
          if (const std::uint32_t cp = numeric_reference(name)) {
            append_utf8(out, cp);
            done = true;
          }
        }
        if (done) {
          i = semi + 1;
          continue;
        }
      }
    }
    out += text[i++];
  }
  return copy_of(ascii_trimmed(out).c_str());
}

// The attributes of a start tag as (name, raw value) pairs, in order. A name
// runs to whitespace, '=' or '/'; a name that no '=' follows (after optional
// whitespace) is dropped together with the whitespace-free run after it; a
// value is quoted with either quote (an unclosed one runs to the end) or
// runs to whitespace. A name that reaches the end of the region has no
// value and ends the list.
std::vector<std::pair<std::string, std::string>> attribute_list(const char *r, std::size_t n) {
  std::vector<std::pair<std::string, std::string>> list;
  const auto ws = [&](std::size_t k) { return is_ws(static_cast<unsigned char>(r[k])); };
  std::size_t i = 0;
  while (true) {
    while (i < n && ws(i)) ++i;
    const std::size_t name_begin = i;
    while (i < n && !ws(i) && r[i] != '=' && r[i] != '/') ++i;
    const std::string name(r + name_begin, i - name_begin);
    while (i < n && ws(i)) ++i;
    if (i >= n) return list;
    if (r[i] != '=') {
      while (i < n && !ws(i)) ++i;
      continue;
    }
    ++i;
    while (i < n && ws(i)) ++i;
    if (i >= n) return list;
    std::string value;
    if (r[i] == '"' || r[i] == '\'') {
      const char q = r[i++];
      while (i < n && r[i] != q) value += r[i++];
      if (i < n) ++i;  // the closing quote
    } else {
      while (i < n && !ws(i)) value += r[i++];
    }
    list.emplace_back(name, value);
  }
}

// The first attribute of that name (A-Z folded) that has a value, decoded
// and trimmed; null when there is none.
cstr attribute(const char *region, std::size_t n, const char *want) {
  for (const auto &a : attribute_list(region, n))
    if (name_is(a.first.data(), a.first.size(), want)) return decode_and_trim(a.second.data(), a.second.size());
  return nullptr;
}

// Trimmed; a final "[" + 11 of A-Z a-z 0-9 '-' '_' + "]" dropped (and the
// whitespace before it); then the words between runs of '_', space, tab, CR
// and LF joined with one space.
cstr cleaned_title(const char *title) {
  std::string t = ascii_trimmed(title);
  if (t.size() >= 13 && t.back() == ']' && t[t.size() - 13] == '[') {
    bool id = true;
    for (std::size_t k = t.size() - 12; k < t.size() - 1; ++k) {
      const char c = t[k];
      id = id && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_');
    }
    if (id) {
      t.resize(t.size() - 13);
      while (!t.empty() && is_ws(static_cast<unsigned char>(t.back()))) t.pop_back();
    }
  }
  std::string out, word;
  for (std::size_t k = 0; k <= t.size(); ++k) {
    const char c = k < t.size() ? t[k] : '_';
    if (c == '_' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!word.empty()) out += (out.empty() ? "" : " ") + word;
      word.clear();
    } else {
      word += c;
    }
  }
  return copy_of(out.c_str());
}

// "S", "M:S" or "H:M:S": the text split at ':' into at most three fields,
// each a number as strtod reads it (this test runs in the "C" locale), with
// whitespace around it and nothing else, finite and not negative; text after
// a third field's ':' and one final empty field right at the end are
// ignored. 0 when unreadable.
double duration_seconds(const char *text) {
  std::vector<std::string> fields;
  std::string cur;
  bool last_cut_at_end = false;
  for (const char *p = text;; ++p) {
    if (*p == ':' || *p == '\0') {
      fields.push_back(cur);
      cur.clear();
      if (*p == '\0' || fields.size() == 3) break;
      last_cut_at_end = p[1] == '\0';
    } else {
      cur += *p;
    }
  }
  if (fields.size() > 1 && last_cut_at_end && fields.back().empty()) fields.pop_back();
  double v[3] = {0, 0, 0};
  for (std::size_t k = 0; k < fields.size(); ++k) {
    const char *f = fields[k].c_str();
    char *end = nullptr;
    v[k] = std::strtod(f, &end);
    if (end == f || !std::isfinite(v[k]) || v[k] < 0) return 0;
    while (is_ws(static_cast<unsigned char>(*end))) ++end;
    if (*end) return 0;
  }
  if (fields.size() == 1) return v[0];
  if (fields.size() == 2) return v[0] * 60.0 + v[1];
  return v[0] * 3600.0 + v[1] * 60.0 + v[2];
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
  t->title = cleaned_title(source.get());
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
  cstr url = attribute(attrs, attrs_len, "url");
  if (present_nonempty(url)) st.item_stream = std::move(url);
  cstr length = attribute(attrs, attrs_len, "length");
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
    cstr href = attribute(attrs, attrs_len, "href");
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
      st.item_duration = text ? duration_seconds(text.get()) : 0;
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
    cstr decoded = decode_and_trim(text.data(), text.size());
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
