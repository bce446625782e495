// SPDX-License-Identifier: MIT
// Feed locations: the feed URL check, the per-user feed URL built from a base
// URL, a user id and a slug, and slug discovery in a directory listing.
#include "feed_locations.hpp"

#include <yyjson.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ascii.hpp"
#include "byte_buffer.hpp"
#include "last_error.hpp"
#include "string_set.hpp"

namespace lyrn {
namespace {

constexpr std::size_t kMaxAuthority = 255;
constexpr char kFeedFile[] = "/feed.xml";

// The shortest link that can yield a slug is href='./a/' (11 bytes); a scan
// position needs that many bytes from it to the end.
constexpr std::size_t kShortestLink = 11;
constexpr std::size_t kLinkPrefix = 8;  // href="./
constexpr std::size_t kFirstListCapacity = 8;

// Control bytes, space and DEL may appear nowhere in a feed URL.
constexpr bool url_byte_ok(unsigned char c) { return c > 0x20 && c != 0x7F; }

// Bytes that may not appear in a directory name. A NUL counts too: a name
// taken from an explicit-length span must not lose its tail when it is
// copied into a NUL-terminated string.
constexpr bool segment_byte_ok(unsigned char c) {
  return c > 0x20 && c != 0x7F && c != '#' && c != '%' && c != '/' && c != '?' && c != '\\';
}

// The path-segment check over the n bytes at s.
bool safe_segment_span(const char *s, std::size_t n) {
  if (n == 0) return false;
  if (s[0] == '.' && (n == 1 || (n == 2 && s[1] == '.'))) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (!segment_byte_ok(s[i])) return false;
  return true;
}

// The slugs found so far, each a heap string owned by the list.
struct slug_list {
  char **items = nullptr;
  std::size_t count = 0;
  std::size_t cap = 0;
  string_set seen;             // the same slugs, for the duplicate check
  bool out_of_memory = false;  // a slug was lost: the listing has no sound answer

  slug_list() = default;
  slug_list(const slug_list &) = delete;
  slug_list &operator=(const slug_list &) = delete;
  ~slug_list() {
    for (std::size_t i = 0; i < count; ++i) std::free(items[i]);
    std::free(items);
  }

  // Takes ownership of `slug` (whose hash in `seen` is h) when it returns
  // true; false when the list cannot grow, and then the caller still owns it.
  bool push(char *slug, std::uint64_t h) {
    if (!seen.make_room()) return false;
    if (count == cap) {
      if (cap > static_cast<std::size_t>(-1) / 2 / sizeof(char *)) return false;
      const std::size_t grown_cap = cap ? cap * 2 : kFirstListCapacity;
      void *grown = std::realloc(items, grown_cap * sizeof(char *));
      if (!grown) return false;
      items = static_cast<char **>(grown);
      cap = grown_cap;
    }
    items[count++] = slug;
    seen.insert(slug, h);
    return true;
  }
};

// Filters one link's name and appends it when it is a new, usable slug.
void take_slug(const char *name, std::size_t n, slug_list &list) {
  if (list.out_of_memory || !safe_segment_span(name, n)) return;
  char *slug = dup_bytes(name, n);
  if (!slug) {
    list.out_of_memory = true;
    return;
  }
  if (ascii_strcasecmp(slug, "video") == 0) {
    std::free(slug);
    return;
  }
  const std::uint64_t h = list.seen.hash(slug, n);
  if (list.seen.contains(slug, h)) {
    std::free(slug);
  } else if (!list.push(slug, h)) {
    std::free(slug);
    list.out_of_memory = true;
  }
}

// Finds the next byte 'h' or 'H' (where a link can start) at or after a
// position. The last hit of each letter is kept, so the page is searched
// once for each letter overall rather than once per call.
class link_start_finder {
 public:
  link_start_finder(const char *text, std::size_t end)
      : text_(text), end_(end), lower_(find('h', 0)), upper_(find('H', 0)) {}

  // The first position >= p that holds 'h' or 'H', or `end` when none does.
  std::size_t next(std::size_t p) {
    if (lower_ < p) lower_ = find('h', p);
    if (upper_ < p) upper_ = find('H', p);
    return lower_ < upper_ ? lower_ : upper_;
  }

 private:
  std::size_t find(char c, std::size_t from) const {
    if (from >= end_) return end_;
    const void *hit = std::memchr(text_ + from, c, end_ - from);
    return hit ? static_cast<std::size_t>(static_cast<const char *>(hit) - text_) : end_;
  }

  const char *text_;
  std::size_t end_;
  std::size_t lower_;
  std::size_t upper_;
};

// True when the 8 bytes at p read href="./ or href='./ with only the
// attribute name folded.
bool is_link_prefix(const char *p) {
  return ascii_iequal(p, "href", 4) && p[4] == '=' && (p[5] == '"' || p[5] == '\'') && p[6] == '.' &&
         p[7] == '/';
}

// Collects the slugs of every link href="./NAME/" (or with apostrophes) in
// the len bytes at html; len is at least kShortestLink. Stops once a slug was
// lost to a lack of memory, since the listing then has no sound answer.
void scan_listing(const char *html, std::size_t len, slug_list &list) {
  const std::size_t end = len - (kShortestLink - 1);  // the scan examines p < end
  link_start_finder finder(html, end);
  std::size_t p = 0;
  while (!list.out_of_memory && (p = finder.next(p)) < end) {
    if (!is_link_prefix(html + p)) {
      ++p;
      continue;
    }
    const char quote = html[p + 5];
    const std::size_t s = p + kLinkPrefix;
    std::size_t k = s;
    while (k < len && html[k] != quote && html[k] != '/') ++k;
    // Exactly "./", a name, one '/' and the same closing quote.
    if (k > s && k + 1 < len && html[k] == '/' && html[k + 1] == quote) take_slug(html + s, k - s, list);
    p = k + 1;
  }
}

// Moves the first "all" (any case) found at index 1 or later to the front,
// keeping the order of the slugs it passes.
void move_all_to_front(slug_list &list) {
  for (std::size_t i = 1; i < list.count; ++i) {
    if (ascii_strcasecmp(list.items[i], "all") != 0) continue;
    char *all = list.items[i];
    std::memmove(list.items + 1, list.items, i * sizeof(char *));
    list.items[0] = all;
    return;
  }
}

// Writes the slugs as a compact JSON array, freeing each slug's copy as the
// document takes its own. Null when the document cannot be built or written
// (a slug that is not valid UTF-8 among them), or when any slug was lost to
// a lack of memory: a shorter list would pass for the whole one.
char *write_slug_array(slug_list &list) {
  if (list.out_of_memory) return nullptr;
  yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
  if (!doc) return nullptr;
  yyjson_mut_val *arr = yyjson_mut_arr(doc);
  if (!arr) {
    yyjson_mut_doc_free(doc);
    return nullptr;
  }
  yyjson_mut_doc_set_root(doc, arr);
  bool complete = true;
  for (std::size_t i = 0; i < list.count; ++i) {
    complete = yyjson_mut_arr_add_strcpy(doc, arr, list.items[i]) && complete;
    std::free(list.items[i]);
    list.items[i] = nullptr;
  }
  char *json = complete ? yyjson_mut_write_opts(doc, 0, nullptr, nullptr, nullptr) : nullptr;
  yyjson_mut_doc_free(doc);
  return json;
}

}  // namespace

int is_safe_path_segment(const char *segment) {
  return segment && safe_segment_span(segment, std::strlen(segment)) ? 1 : 0;
}

std::int32_t validate_feed_url(const char *url) {
  if (!url || !*url) return -1;
  std::size_t start;
  if (ascii_istarts_with(url, "https://"))
    start = 8;
  else if (ascii_istarts_with(url, "http://"))
    start = 7;
  else
    return -1;
  const char first = url[start];
  if (first == '\0' || first == '#' || first == '/' || first == '?') return -1;

  // One pass over the rest: every byte checked, the authority measured up to
  // the first '/'.
  std::size_t authority = 0;
  bool in_authority = true;
  for (const char *p = url + start; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (!url_byte_ok(c)) return -1;
    if (c == '/') in_authority = false;
    if (in_authority) ++authority;
  }
  // The scheme's bytes passed the comparison, so none of them is rejected.
  return authority <= kMaxAuthority ? 0 : -1;
}

char *build_user_feed_url(const char *base_url, const char *user_id, const char *slug) {
  if (validate_feed_url(base_url) != 0) {
    set_last_error(kErrInvalidBaseUrl);
    return nullptr;
  }
  if (!is_safe_path_segment(user_id)) {
    set_last_error(kErrInvalidUserId);
    return nullptr;
  }
  if (!is_safe_path_segment(slug)) {
    set_last_error(kErrInvalidSlug);
    return nullptr;
  }

  // A valid base keeps at least its scheme and first authority byte here.
  std::size_t base_len = std::strlen(base_url);
  while (base_len > 0 && base_url[base_len - 1] == '/') --base_len;
  const std::size_t user_len = std::strlen(user_id);
  const std::size_t slug_len = std::strlen(slug);
  constexpr std::size_t feed_len = sizeof kFeedFile - 1;

  // base '/' user '/' slug "/feed.xml" NUL, every step checked for overflow.
  constexpr std::size_t kMax = static_cast<std::size_t>(-1);
  const std::size_t fixed = 2 + feed_len + 1;
  if (base_len > kMax - fixed || user_len > kMax - fixed - base_len ||
      slug_len > kMax - fixed - base_len - user_len) {
    set_last_error(kErrOutOfMemory);
    return nullptr;
  }
  const std::size_t size = base_len + user_len + slug_len + fixed;
  char *out = static_cast<char *>(std::malloc(size));
  if (!out) {
    set_last_error(kErrOutOfMemory);
    return nullptr;
  }

  char *w = out;
  std::memcpy(w, base_url, base_len);
  w += base_len;
  *w++ = '/';
  std::memcpy(w, user_id, user_len);
  w += user_len;
  *w++ = '/';
  std::memcpy(w, slug, slug_len);
  w += slug_len;
  std::memcpy(w, kFeedFile, feed_len + 1);  // with its NUL

  clear_last_error();
  return out;
}

char *discover_slugs_json(const char *html, std::size_t html_len) {
  if (!html && html_len != 0) {
    set_last_error(kErrNullHtml);
    return nullptr;
  }
  if (html && html_len == 0) html_len = std::strlen(html);

  char *json;
  {
    slug_list list;
    if (html && html_len >= kShortestLink) scan_listing(html, html_len, list);
    move_all_to_front(list);
    json = write_slug_array(list);
  }  // the list and any slug the writer did not reach are freed here
  clear_last_error();
  return json;
}

}  // namespace lyrn
