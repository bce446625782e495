// SPDX-License-Identifier: MIT
// Slug discovery over the whole input, once with its exact length and once
// NUL-terminated. Each result is compared with a plain re-reading of the
// listing rules written here, and every slug must be one that the per-user
// feed URL accepts.
#include <yyjson.h>

#include <string>
#include <vector>

#include "fuzz_util.hpp"
#include "lyrn.h"

namespace {

const char kBase[] = "https://feeds.example.com/music";

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequal(const std::string &a, const char *b) {
  if (a.size() != std::strlen(b)) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != b[i]) return false;
  return true;
}

bool safe_segment(const std::string &s) {
  if (s.empty() || s == "." || s == "..") return false;
  for (unsigned char c : s)
    if (c <= 0x20 || c == 0x7F || c == '#' || c == '%' || c == '/' || c == '?' || c == '\\') return false;
  return true;
}

// The listing rules, position by position as they read: every href="./NAME/"
// or href='./NAME/' with a safe NAME, no case-insensitive "video", no exact
// repeat, then the first "all" after the front moved to the front.
std::vector<std::string> expected_slugs(const std::string &html) {
  std::vector<std::string> out;
  const std::size_t len = html.size();
  if (len < 11) return out;
  std::size_t p = 0;
  while (p + 10 < len) {
    const bool href = lower(html[p]) == 'h' && lower(html[p + 1]) == 'r' && lower(html[p + 2]) == 'e' &&
                      lower(html[p + 3]) == 'f' && html[p + 4] == '=' &&
                      (html[p + 5] == '"' || html[p + 5] == '\'') && html[p + 6] == '.' && html[p + 7] == '/';
    if (!href) {
      ++p;
      continue;
    }
    const char q = html[p + 5];
    const std::size_t s = p + 8;
    std::size_t k = s;
    while (k < len && html[k] != q && html[k] != '/') ++k;
    if (k > s && k + 1 < len && html[k] == '/' && html[k + 1] == q) {
      std::string slug = html.substr(s, k - s);
      bool keep = safe_segment(slug) && !iequal(slug, "video");
      for (const std::string &seen : out)
        if (seen == slug) keep = false;
      if (keep) out.push_back(slug);
    }
    p = k + 1;
  }
  for (std::size_t i = 1; i < out.size(); ++i) {
    if (!iequal(out[i], "all")) continue;
    std::string all = out[i];
    out.erase(out.begin() + static_cast<std::ptrdiff_t>(i));
    out.insert(out.begin(), all);
    break;
  }
  return out;
}

bool valid_utf8(const std::string &s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n;
    unsigned cp;
    if (c < 0x80) { ++i; continue; }
    if (c >= 0xC2 && c <= 0xDF) { n = 1; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { n = 2; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { n = 3; cp = c & 0x07; }
    else return false;
    if (i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

void check_result(char *json, const std::string &listing) {
  const std::vector<std::string> want = expected_slugs(listing);
  bool writable = true;
  for (const std::string &s : want) writable = writable && valid_utf8(s);
  FUZZ_CHECK(lyrn_last_error()[0] == '\0');
  if (!json) {
    FUZZ_CHECK(!writable);  // only a slug that is not valid UTF-8 stops the writer
    return;
  }
  FUZZ_CHECK(writable);
  yyjson_doc *doc = yyjson_read(json, std::strlen(json), 0);
  FUZZ_CHECK(doc != nullptr);
  yyjson_val *arr = yyjson_doc_get_root(doc);
  FUZZ_CHECK(yyjson_is_arr(arr));
  FUZZ_CHECK(yyjson_arr_size(arr) == want.size());
  std::size_t i, n;
  yyjson_val *v;
  yyjson_arr_foreach(arr, i, n, v) {
    FUZZ_CHECK(yyjson_is_str(v));
    const std::string slug(yyjson_get_str(v), yyjson_get_len(v));
    FUZZ_CHECK(slug == want[i]);
    char *url = lyrn_build_user_feed_url(kBase, "u", slug.c_str());
    FUZZ_CHECK(url != nullptr);
    FUZZ_CHECK(lyrn_last_error()[0] == '\0');
    FUZZ_CHECK(std::string(url) == std::string(kBase) + "/u/" + slug + "/feed.xml");
    FUZZ_CHECK(lyrn_validate_feed_url(url) == 0);
    lyrn_free(url);
  }
  yyjson_doc_free(doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string bytes(reinterpret_cast<const char *>(data), size);
  if (size > 0) {
    fuzz::heap_copy span(data, size, false);
    char *json = lyrn_discover_slugs_json(span.data(), span.size());
    check_result(json, bytes);
    lyrn_free(json);
  }
  fuzz::heap_copy text(data, size, true);
  char *json = lyrn_discover_slugs_json(text.data(), 0);
  check_result(json, std::string(text.data()));
  lyrn_free(json);
  return 0;
}
