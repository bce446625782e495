// SPDX-License-Identifier: MIT
// Shared pieces of the fuzz targets: exactly-sized heap copies of the input,
// so that a read past the end is caught by AddressSanitizer, and a check that
// aborts with a message when an invariant does not hold.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#define FUZZ_CHECK(cond)                                                              \
  do {                                                                                \
    if (!(cond)) {                                                                    \
      std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

namespace fuzz {

// A heap block holding exactly the given bytes, optionally followed by one
// NUL (then the NUL is the block's last byte).
class heap_copy {
 public:
  heap_copy(const void *bytes, std::size_t n, bool nul_terminated)
      : size_(n), data_(static_cast<char *>(std::malloc(n + (nul_terminated ? 1 : 0) ? n + (nul_terminated ? 1 : 0) : 1))) {
    if (!data_) std::abort();
    if (n) std::memcpy(data_, bytes, n);
    if (nul_terminated) data_[n] = '\0';
  }
  heap_copy(const heap_copy &) = delete;
  heap_copy &operator=(const heap_copy &) = delete;
  ~heap_copy() { std::free(data_); }
  const char *data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  std::size_t size_;
  char *data_;
};

// Takes the next piece of the input up to (not including) a 0xFF byte, or the
// rest when there is none; moves past the separator.
inline std::string next_piece(const unsigned char *&p, const unsigned char *end) {
  const unsigned char *sep = static_cast<const unsigned char *>(std::memchr(p, 0xFF, static_cast<std::size_t>(end - p)));
  const unsigned char *stop = sep ? sep : end;
  std::string piece(reinterpret_cast<const char *>(p), static_cast<std::size_t>(stop - p));
  p = sep ? sep + 1 : end;
  return piece;
}

// A feed conversion input: the feed bytes up to the first 0xFF, then the
// feed URL (the rest, in its own NUL-terminated block), or no URL at all
// when the input holds no 0xFF.
struct feed_input {
  std::string feed;
  heap_copy url_block;
  bool has_url;
  const char *url() const { return has_url ? url_block.data() : nullptr; }
};

inline feed_input split_feed_input(const unsigned char *data, std::size_t size) {
  const unsigned char *p = data;
  const unsigned char *end = data + size;
  std::string feed = next_piece(p, end);
  const bool has_url = size > 0 && std::memchr(data, 0xFF, size) != nullptr;
  return feed_input{std::move(feed), heap_copy(p, static_cast<std::size_t>(end - p), true), has_url};
}

inline bool all_ascii(const std::string &s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

inline bool icontains(const std::string &hay, const char *needle) {
  const std::size_t n = std::strlen(needle);
  if (hay.size() < n) return false;
  for (std::size_t i = 0; i + n <= hay.size(); ++i) {
    std::size_t k = 0;
    while (k < n) {
      unsigned char a = static_cast<unsigned char>(hay[i + k]);
      if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
      if (a != static_cast<unsigned char>(needle[k])) break;
      ++k;
    }
    if (k == n) return true;
  }
  return false;
}

}  // namespace fuzz
