// SPDX-License-Identifier: MIT
// A set of NUL-terminated strings that live elsewhere (the set keeps only
// their addresses), compared byte for byte, so that "seen before?" costs the
// same for the thousandth string as for the first. Used for the stream URLs
// of a feed's tracks and for the slugs of a directory listing.
//
// The strings come from the network, so their slots are chosen by SipHash-1-3
// under a key that is secret to the process: nobody can compute offline a
// set of strings that crowd into one run of slots, and the cost per string
// stays constant whatever strings arrive.
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

struct hash_key {
  std::uint64_t k0;
  std::uint64_t k1;
};

// The process's key: taken from the system's random source on first use
// (mixed from addresses and clocks where there is none) and the same for
// every set afterwards. Lock-free; threads that race store one key.
hash_key process_hash_key();

// The two sources of the key, for the tests that hold them to differing
// between calls and processes.
namespace key_detail {
// Sixteen bytes from the kernel's random source without blocking; false
// when they cannot be had.
bool random_words(std::uint64_t out[2]);
// Without a random source: addresses, clocks and a call counter, mixed.
void fallback_words(std::uint64_t out[2]);
}  // namespace key_detail

namespace sip_detail {
constexpr std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }
struct state {
  std::uint64_t v0, v1, v2, v3;
  void round() {
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
  }
};
}  // namespace sip_detail

// SipHash with C compression and D finalisation rounds of the n bytes at s
// under key k (words read little-endian); never reads past n.
template <int C, int D>
std::uint64_t siphash(hash_key k, const char *s, std::size_t n) {
  sip_detail::state v{k.k0 ^ 0x736f6d6570736575ULL, k.k1 ^ 0x646f72616e646f6dULL, k.k0 ^ 0x6c7967656e657261ULL,
                      k.k1 ^ 0x7465646279746573ULL};
  const unsigned char *p = reinterpret_cast<const unsigned char *>(s);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t m = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(&m, p + i, 8);  // one load where the word order is the host's
#else
    for (int b = 0; b < 8; ++b) m |= static_cast<std::uint64_t>(p[i + b]) << (8 * b);
#endif
    v.v3 ^= m;
    for (int r = 0; r < C; ++r) v.round();
    v.v0 ^= m;
  }
  std::uint64_t last = static_cast<std::uint64_t>(n) << 56;
  for (int b = 0; i < n; ++i, ++b) last |= static_cast<std::uint64_t>(p[i]) << (8 * b);
  v.v3 ^= last;
  for (int r = 0; r < C; ++r) v.round();
  v.v0 ^= last;
  v.v2 ^= 0xff;
  for (int r = 0; r < D; ++r) v.round();
  return v.v0 ^ v.v1 ^ v.v2 ^ v.v3;
}

inline std::uint64_t siphash13(hash_key k, const char *s, std::size_t n) { return siphash<1, 3>(k, s, n); }

// The work the sets of this thread have done, counted when a set is
// destroyed: what the tests judge the duplicate checks by.
struct string_set_work {
  std::uint64_t lookups;   // contains() calls
  std::uint64_t probes;    // slots looked at, by lookups, inserts and regrowth
  std::uint64_t compares;  // string comparisons (only after equal hashes)
};
inline thread_local string_set_work g_string_set_work{};

class string_set {
 public:
  string_set() : key_(process_hash_key()) {}
  // A set under a given key: for tests that show what a known key allows.
  explicit string_set(hash_key key) : key_(key) {}
  string_set(const string_set &) = delete;
  string_set &operator=(const string_set &) = delete;
  ~string_set() {
    g_string_set_work.lookups += work_.lookups;
    g_string_set_work.probes += work_.probes;
    g_string_set_work.compares += work_.compares;
    std::free(slots_);
  }

  // The hash of a string, for contains() and insert(); n is strlen(s) when
  // the caller knows it already.
  std::uint64_t hash(const char *s) const { return hash(s, std::strlen(s)); }
  std::uint64_t hash(const char *s, std::size_t n) const { return siphash13(key_, s, n); }

  bool contains(const char *s, std::uint64_t h) const {
    ++work_.lookups;
    if (!slots_) return false;
    for (std::size_t at = h & mask_;; at = (at + 1) & mask_) {
      ++work_.probes;
      const slot &e = slots_[at];
      if (!e.str) return false;
      if (e.hash == h) {
        ++work_.compares;
        if (std::strcmp(e.str, s) == 0) return true;
      }
    }
  }
  bool contains(const char *s) const { return contains(s, hash(s)); }

  // Makes room for one more string; false when the table cannot grow.
  bool make_room() { return (used_ + 1) * 2 <= capacity_ || grow(); }

  // Adds a string that is not in the set yet, with its hash, after make_room
  // succeeded; the string must outlive the set.
  void insert(const char *s, std::uint64_t h) {
    place(s, h);
    ++used_;
  }

 private:
  struct slot {
    const char *str;
    std::uint64_t hash;
  };

  void place(const char *s, std::uint64_t h) {
    std::size_t at = h & mask_;
    for (++work_.probes; slots_[at].str; ++work_.probes) at = (at + 1) & mask_;
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

  hash_key key_;
  slot *slots_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
  mutable string_set_work work_{};
};

}  // namespace lyrn
