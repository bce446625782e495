// SPDX-License-Identifier: MIT
// Feed conversion against the plain reference walk (tests/reference_walk.cpp).
// The input is split at its first 0xFF byte as in fuzz_feed: the bytes before
// it are the feed, the bytes after it the feed URL (no 0xFF: no feed URL).
// Both sides convert the feed from an exactly-sized heap block, once with its
// exact length and once NUL-terminated with length 0; any difference between
// them (null against text, or two texts that differ in a byte) aborts. Every
// input is converted once per markup search family (portable and wide).
#include <cstdint>
#include <optional>
#include <string>

#include "feed_markup.hpp"
#include "fuzz_util.hpp"
#include "lyrn.h"
#include "reference_walk.hpp"

namespace {

void print_bytes(const char *label, const char *bytes, std::size_t n) {
  std::fprintf(stderr, "%s (%zu bytes): \"", label, n);
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"')
      std::fputc(c, stderr);
    else
      std::fprintf(stderr, "\\x%02x\"\"", c);
  }
  std::fprintf(stderr, "\"\n");
}

// Converts with both sides and aborts with both outputs when they differ.
void compare(const char *feed, std::size_t len, std::size_t shown_len, const char *url) {
  char *lib = lyrn_parse_feed_json(feed, len, url);
  const std::optional<std::string> ref = lyrn_ref::reference_feed_json(feed, len, url);
  const bool same = (lib == nullptr) == !ref.has_value() && (lib == nullptr || *ref == lib);
  if (!same) {
    std::fprintf(stderr, "difference with length %zu\n", len);
    print_bytes("feed", feed, shown_len);
    if (url)
      print_bytes("feed URL", url, std::strlen(url));
    else
      std::fprintf(stderr, "feed URL: null\n");
    std::fprintf(stderr, "library:   %s\nreference: %s\n", lib ? lib : "<null>", ref ? ref->c_str() : "<null>");
  }
  FUZZ_CHECK(same);
  lyrn_free(lib);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const fuzz::feed_input input = fuzz::split_feed_input(data, size);
  const std::string &feed = input.feed;
  const char *feed_url = input.url();

  for (const lyrn::markup_search family : {lyrn::markup_search::portable, lyrn::markup_search::sse2}) {
    if (!lyrn::force_markup_search(family)) continue;
    if (!feed.empty()) {
      fuzz::heap_copy span(feed.data(), feed.size(), false);
      compare(span.data(), span.size(), span.size(), feed_url);
    }
    fuzz::heap_copy text(feed.data(), feed.size(), true);
    compare(text.data(), 0, std::strlen(text.data()), feed_url);
  }
  lyrn::unforce_markup_search();
  return 0;
}
