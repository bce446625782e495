// SPDX-License-Identifier: MIT
// Small helpers shared by the test suites.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "feed_markup.hpp"
#include "lyrn.h"

namespace lyrn_test {

// Owns a string returned by the library (or by an internal helper).
struct lyrn_deleter {
  void operator()(char *p) const { lyrn_free(p); }
};
using owned_str = std::unique_ptr<char, lyrn_deleter>;

inline std::string str_or(const char *s, const char *fallback = "<null>") {
  return s ? std::string(s) : std::string(fallback);
}

// A heap block of exactly bytes.size() bytes (no NUL after it), so that a
// read one byte past the end is caught by AddressSanitizer.
class exact_block {
 public:
  explicit exact_block(const std::string &bytes)
      : size_(bytes.size()), data_(static_cast<char *>(std::malloc(size_ ? size_ : 1))) {
    if (size_) std::memcpy(data_, bytes.data(), size_);
  }
  exact_block(const exact_block &) = delete;
  exact_block &operator=(const exact_block &) = delete;
  ~exact_block() { std::free(data_); }
  const char *data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  std::size_t size_;
  char *data_;
};

// Runs body once for every markup search family this build and processor
// offer, with every scan forced onto it, so that one run of a suite checks
// the wide searches and the portable one against the same expectations.
template <class Body>
void for_each_markup_search(Body body) {
  struct family {
    lyrn::markup_search search;
    const char *name;
  };
  const family families[] = {{lyrn::markup_search::portable, "portable search"}, {lyrn::markup_search::sse2, "SSE2 search"}};
  for (const family &f : families) {
    if (!lyrn::force_markup_search(f.search)) continue;
    SCOPED_TRACE(f.name);
    body();
  }
  lyrn::unforce_markup_search();
}

}  // namespace lyrn_test
