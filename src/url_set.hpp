// The set of stream URLs already taken as tracks, so that a repeated
// enclosure URL is found in constant time rather than by a pass over every
// earlier track. Comparison is byte for byte and case-sensitive. The set
// holds track indices; the URLs themselves stay in the tracks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "feed_scan.hpp"

namespace lyrn {

class url_set {
 public:
  url_set() = default;
  url_set(const url_set &) = delete;
  url_set &operator=(const url_set &) = delete;
  ~url_set() { std::free(slots_); }

  // True when a track of `summary` has exactly this stream URL.
  bool contains(const char *url, const feed_summary &summary) const {
    const std::size_t len = std::strlen(url);
    if (linear_) {
      for (std::size_t i = 0; i < summary.count; ++i) {
        const char *other = summary.tracks[i].stream_url;
        if (other && std::strcmp(other, url) == 0) return true;
      }
      return false;
    }
    if (!slots_) return false;
    const std::uint64_t h = hash(url, len);
    for (std::size_t at = h & mask_;; at = (at + 1) & mask_) {
      const slot &s = slots_[at];
      if (s.index == kEmpty) return false;
      if (s.hash == h && std::strcmp(summary.tracks[s.index].stream_url, url) == 0) return true;
    }
  }

  // Records track `index` (its stream URL is present and not yet in the set).
  // When the table cannot grow, lookups fall back to a pass over the tracks,
  // which gives the same answers.
  void insert(std::size_t index, const feed_summary &summary) {
    if (linear_) return;
    if ((used_ + 1) * 2 > capacity_ && !grow()) {
      linear_ = true;
      return;
    }
    const char *url = summary.tracks[index].stream_url;
    place(index, hash(url, std::strlen(url)));
    ++used_;
  }

 private:
  struct slot {
    std::size_t index;
    std::uint64_t hash;
  };
  static constexpr std::size_t kEmpty = SIZE_MAX;

  static std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
  }

  // Eight bytes at a time; the tail is read byte by byte, never past len.
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
    for (std::size_t k = 0; i < len; ++i, ++k) tail |= std::uint64_t(static_cast<unsigned char>(s[i])) << (8 * k);
    return mix(h ^ tail);
  }

  void place(std::size_t index, std::uint64_t h) {
    std::size_t at = h & mask_;
    while (slots_[at].index != kEmpty) at = (at + 1) & mask_;
    slots_[at] = slot{index, h};
  }

  bool grow() {
    std::size_t cap = capacity_ ? capacity_ * 2 : 64;
    if (cap < capacity_ || cap > SIZE_MAX / sizeof(slot)) return false;
    slot *fresh = static_cast<slot *>(std::malloc(cap * sizeof(slot)));
    if (!fresh) return false;
    for (std::size_t i = 0; i < cap; ++i) fresh[i].index = kEmpty;
    slot *old = slots_;
    const std::size_t old_cap = capacity_;
    slots_ = fresh;
    capacity_ = cap;
    mask_ = cap - 1;
    for (std::size_t i = 0; i < old_cap; ++i)
      if (old[i].index != kEmpty) place(old[i].index, old[i].hash);
    std::free(old);
    return true;
  }

  slot *slots_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
  bool linear_ = false;
};

}  // namespace lyrn
