// SPDX-License-Identifier: MIT
// One conversion as the tool does it: bytes in, transcoded to UTF-8, maybe
// repaired, handed to the library, and the result or the reason for its
// absence out, with warnings about inputs that are likely not what the user
// meant. Shared by the one-file commands and the batches; prints nothing.
#ifndef LYRN_TOOLS_CONVERT_HPP
#define LYRN_TOOLS_CONVERT_HPP

#include <cstddef>
#include <string>
#include <vector>

#include "encoding.hpp"
#include "lyrn.h"

namespace lyrn_tool {

struct convert_options {
  encoding_choice encoding;
  bool repair = false;
  bool quiet = false;             // no warnings
  const char *url = nullptr;      // the feed URL handed to the library
};

// A document the library returned, owned until released with lyrn_free.
class library_text {
 public:
  library_text() = default;
  library_text(const library_text &) = delete;
  library_text &operator=(const library_text &) = delete;
  library_text(library_text &&other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  library_text &operator=(library_text &&other) noexcept {
    if (this != &other) {
      lyrn_free(data_);
      data_ = other.data_;
      size_ = other.size_;
      other.data_ = nullptr;
      other.size_ = 0;
    }
    return *this;
  }
  ~library_text() { lyrn_free(data_); }
  // Takes ownership of a NUL-terminated string from the library.
  void reset(char *text);
  const char *data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  char *data_ = nullptr;
  std::size_t size_ = 0;
};

struct convert_result {
  bool ok = false;
  library_text json;                  // the compact document, without a line break
  std::vector<std::string> messages;  // lines for standard error, without "lyrn: "
  std::size_t tracks = 0;
};

// Converts a feed of `size` bytes at `data` (the caller keeps them alive
// for the call); `label` names the input in messages.
void convert_feed(const std::string &label, const char *data, std::size_t size,
                  const convert_options &options, convert_result *result);

// Lists the slugs of a directory listing; `label` names the input in messages.
void convert_listing(const std::string &label, const char *data, std::size_t size,
                     const convert_options &options, convert_result *result);

}  // namespace lyrn_tool

#endif
