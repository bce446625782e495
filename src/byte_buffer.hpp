// SPDX-License-Identifier: MIT
// A growable byte buffer on the C heap: data, length and capacity, with a NUL
// kept after the last byte once it has storage. The first capacity is 128
// bytes (or the smallest 128 * 2^k that holds what is asked for); it doubles
// when an append needs more. A failed append leaves the buffer as it was.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace lyrn {

class byte_buffer {
 public:
  byte_buffer() = default;
  byte_buffer(const byte_buffer &) = delete;
  byte_buffer &operator=(const byte_buffer &) = delete;
  ~byte_buffer() { std::free(data_); }

  // Makes room for `needed` bytes of capacity; false when it cannot grow.
  bool reserve(std::size_t needed) {
    if (needed <= cap_) return true;
    std::size_t cap = cap_ ? cap_ : 128;
    while (cap < needed) {
      if (cap > static_cast<std::size_t>(-1) / 2) return false;
      cap *= 2;
    }
    char *grown = static_cast<char *>(std::realloc(data_, cap));
    if (!grown) return false;
    if (!data_) grown[0] = '\0';
    data_ = grown;
    cap_ = cap;
    return true;
  }

  // Appends n bytes (a NUL among them is an ordinary byte).
  bool append(const char *bytes, std::size_t n) {
    if (n > static_cast<std::size_t>(-1) - len_ - 1) return false;
    if (!reserve(len_ + n + 1)) return false;
    if (n) std::memcpy(data_ + len_, bytes, n);
    len_ += n;
    data_[len_] = '\0';
    return true;
  }

  bool push_back(char c) {
    if (len_ + 2 > cap_ && !reserve(len_ + 2)) return false;
    data_[len_++] = c;
    data_[len_] = '\0';
    return true;
  }

  // Empties the text but keeps the storage.
  void clear() {
    len_ = 0;
    if (data_) data_[0] = '\0';
  }

  // Keeps the first n bytes and drops the rest (n <= size()).
  void truncate(std::size_t n) {
    len_ = n;
    if (data_) data_[len_] = '\0';
  }

  void swap(byte_buffer &other) {
    char *d = data_;
    std::size_t l = len_, c = cap_;
    data_ = other.data_;
    len_ = other.len_;
    cap_ = other.cap_;
    other.data_ = d;
    other.len_ = l;
    other.cap_ = c;
  }

  // The contents read as a C string: empty when there are none or the first
  // byte is a NUL.
  const char *c_str() const { return data_ ? data_ : ""; }
  bool blank() const { return len_ == 0 || data_[0] == '\0'; }

  // Hands the block to the caller (who frees it with free) and empties the buffer.
  char *release() {
    char *p = data_;
    data_ = nullptr;
    len_ = cap_ = 0;
    return p;
  }

  const char *data() const { return data_; }
  char *data() { return data_; }
  std::size_t size() const { return len_; }
  bool empty() const { return len_ == 0; }

 private:
  char *data_ = nullptr;
  std::size_t len_ = 0;
  std::size_t cap_ = 0;
};

// A new heap copy of the n bytes at s with a NUL after them, or null.
inline char *dup_bytes(const char *s, std::size_t n) {
  if (n == static_cast<std::size_t>(-1)) return nullptr;
  char *p = static_cast<char *>(std::malloc(n + 1));
  if (!p) return nullptr;
  if (n) std::memcpy(p, s, n);
  p[n] = '\0';
  return p;
}

inline char *dup_cstr(const char *s) { return dup_bytes(s, std::strlen(s)); }

}  // namespace lyrn
