// SPDX-License-Identifier: MIT
// Reading one input whole, within a size limit: a regular file is read once
// at the size it has, anything else (a pipe, a terminal, a device) in chunks
// until its end or until it passes the limit, so that an endless input ends
// with a message instead of exhausting memory.
#ifndef LYRN_TOOLS_INPUT_FILE_HPP
#define LYRN_TOOLS_INPUT_FILE_HPP

#include <cstddef>
#include <string>

namespace lyrn_tool {

// The largest input read by default: 1 GiB. The biggest real feeds are tens
// of megabytes, so no real feed comes near it, and it keeps the memory a
// runaway input can take well under what a small machine has.
constexpr std::size_t kDefaultInputLimit = std::size_t{1} << 30;

// An input's bytes, owned (malloc'd); moved, never copied.
class input_bytes {
 public:
  input_bytes() = default;
  input_bytes(const input_bytes &) = delete;
  input_bytes &operator=(const input_bytes &) = delete;
  input_bytes(input_bytes &&other) noexcept;
  input_bytes &operator=(input_bytes &&other) noexcept;
  ~input_bytes();
  const char *data() const { return data_ ? data_ : ""; }
  std::size_t size() const { return size_; }

 private:
  friend bool read_input(const char *, std::size_t, input_bytes *, std::string *);
  char *data_ = nullptr;
  std::size_t size_ = 0;
};

// Reads the file at `path`, or standard input when path is null or "-", as
// bytes (NUL bytes kept). False with a one-line reason when it cannot be
// read or holds more than `limit` bytes.
bool read_input(const char *path, std::size_t limit, input_bytes *out, std::string *error);

// Reads a size such as "1048576", "512K", "64M" or "2G" (powers of 1024);
// false when `text` is not one or is 0.
bool parse_size(const char *text, std::size_t *size);

// "1 GiB", "64 MiB", "512 KiB" or "1000 bytes": a limit as people read it.
std::string size_text(std::size_t size);

}  // namespace lyrn_tool

#endif
