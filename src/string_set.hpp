// SPDX-License-Identifier: MIT
// A set of NUL-terminated strings that live elsewhere (the set keeps only
// their addresses), compared byte for byte, so that "seen before?" costs the
// same for the thousandth string as for the first. Used for the stream URLs
// of a feed's tracks and for the slugs of a directory listing.
//
// Room is made before a string is taken (make_room), so that a caller whose
// set cannot grow drops that one string, as it would when its own list
// cannot grow, and every answer stays exact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace lyrn {

class string_set {
 public:
  string_set() = default;
  string_set(const string_set &) = delete;
  string_set &operator=(const string_set &) = delete;
  ~string_set() { std::free(slots_); }

  bool contains(const char *s) const {
    if (!slots_) return false;
    const std::size_t len = std::strlen(s);
    const std::uint64_t h = hash(s, len);
    for (std::size_t at = h & mask_;; at = (at + 1) & mask_) {
      const slot &e = slots_[at];
      if (!e.str) return false;
      if (e.hash == h && std::strcmp(e.str, s) == 0) return true;
    }
  }

  // Makes room for one more string; false when the table cannot grow.
  bool make_room() { return (used_ + 1) * 2 <= capacity_ || grow(); }

  // Adds a string that is not in the set yet, after make_room succeeded; the
  // string must outlive the set.
  void insert(const char *s) {
    place(s, hash(s, std::strlen(s)));
    ++used_;
  }

 private:
  struct slot {
    const char *str;
    std::uint64_t hash;
  };

  // Eight bytes at a time, the tail byte by byte; never reads past len.
  static std::uint64_t hash(const char *s, std::size_t len) {
    std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ len;
    std::size_t i = 0;
    for (; i + 8 <= len; i += 8) {
      std::uint64_t w;
      std::memcpy(&w, s + i, 8);
      h = (h ^ w) * 0x100000001b3ULL;
      h ^= h >> 29;
    }
    std::uint64_t tail = 0;
    for (unsigned k = 0; i < len; ++i, ++k)
      tail |= static_cast<std::uint64_t>(static_cast<unsigned char>(s[i])) << (8 * k);
    h ^= tail;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
  }

  void place(const char *s, std::uint64_t h) {
    std::size_t at = h & mask_;
    while (slots_[at].str) at = (at + 1) & mask_;
    slots_[at] = slot{s, h};
  }

  bool grow() {
    const std::size_t cap = capacity_ ? capacity_ * 2 : 64;
    if (cap < capacity_ || cap > SIZE_MAX / sizeof(slot)) return false;
    slot *fresh = static_cast<slot *>(std::calloc(cap, sizeof(slot)));
    if (!fresh) return false;
    slot *old = slots_;
    const std::size_t old_cap = capacity_;
    slots_ = fresh;
    capacity_ = cap;
    mask_ = cap - 1;
    for (std::size_t i = 0; i < old_cap; ++i)
      if (old[i].str) place(old[i].str, old[i].hash);
    std::free(old);
    return true;
  }

  slot *slots_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
};

}  // namespace lyrn
