// SPDX-License-Identifier: MIT
// The collision generator of collisions.hpp: the old hash run backwards.
// Built with optimisation in every build type, since it tries some hundred
// million candidates for the larger sets.
#include "collisions.hpp"

#include <cstring>

namespace lyrn_test {

std::uint64_t old_unkeyed_hash(const char *s, std::size_t len) {
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

namespace {

constexpr std::uint64_t inverse_of(std::uint64_t odd) {
  std::uint64_t inv = odd;  // Newton's iteration doubles the correct low bits each step
  for (int i = 0; i < 6; ++i) inv *= 2 - odd * inv;
  return inv;
}
constexpr std::uint64_t undo_shift29(std::uint64_t y) { return y ^ (y >> 29) ^ (y >> 58); }
constexpr std::uint64_t undo_fmix(std::uint64_t h) {
  h ^= h >> 33;
  h *= inverse_of(0xc4ceb9fe1a85ec53ULL);
  h ^= h >> 33;
  h *= inverse_of(0xff51afd7ed558ccdULL);
  h ^= h >> 33;
  return h;
}

// True when the 8 bytes of w are ASCII bytes of the alphabet or complete
// UTF-8 sequences (no overlong forms, surrogates or values above U+10FFFF).
bool valid_middle(std::uint64_t w, const bool (&ascii)[128]) {
  unsigned char b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(w >> (8 * i));
  for (int i = 0; i < 8;) {
    const unsigned c = b[i];
    if (c < 0x80) {
      if (!ascii[c]) return false;
      ++i;
      continue;
    }
    int n;
    unsigned lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (i + n > 8 || b[i + 1] < lo || b[i + 1] > hi) return false;
    for (int k = 2; k < n; ++k)
      if (b[i + k] < 0x80 || b[i + k] > 0xBF) return false;
    i += n;
  }
  return true;
}

}  // namespace

std::vector<std::string> colliding_strings(std::size_t n, const std::string &prefix, const std::string &suffix,
                                                  const std::string &alphabet) {
  bool ascii[128] = {};
  for (char c : alphabet) ascii[static_cast<unsigned char>(c) & 0x7F] = true;
  const std::size_t len = prefix.size() + 8 + suffix.size();
  std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ len;  // the state after the prefix
  for (std::size_t i = 0; i < prefix.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, prefix.data() + i, 8);
    h = (h ^ w) * 0x100000001b3ULL;
    h ^= h >> 29;
  }
  std::uint64_t tail = 0;
  for (std::size_t k = 0; k < suffix.size(); ++k)
    tail |= static_cast<std::uint64_t>(static_cast<unsigned char>(suffix[k])) << (8 * k);
  constexpr std::uint64_t kMulInverse = inverse_of(0x100000001b3ULL);
  const std::uint64_t low = 0x5A5A5ULL & ((1ULL << kCollidingBits) - 1);

  std::vector<std::string> out;
  out.reserve(n);
  std::string s = prefix + std::string(8, ' ') + suffix;
  // Each high part gives one output, hence one distinct middle block.
  for (std::uint64_t high = 1; out.size() < n; ++high) {
    const std::uint64_t target = (high << kCollidingBits) | low;
    const std::uint64_t w = (undo_shift29(undo_fmix(target) ^ tail) * kMulInverse) ^ h;
    if (!valid_middle(w, ascii)) continue;
    std::memcpy(&s[prefix.size()], &w, 8);
    out.push_back(s);
  }
  return out;
}

std::vector<std::string> ordinary_strings(std::size_t n, const std::string &prefix, const std::string &suffix,
                                                 const std::string &alphabet) {
  std::vector<std::string> out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::string mid(8, alphabet[0]);
    for (std::size_t v = i, k = 8; v && k > 0; v /= alphabet.size()) mid[--k] = alphabet[v % alphabet.size()];
    out.push_back(prefix + mid + suffix);
  }
  return out;
}

std::string ascii_alphabet(bool with_space, const char *without) {
  std::string a;
  for (char c = with_space ? ' ' : '!'; c <= '~'; ++c)
    if (!std::strchr(without, c)) a += c;
  return a;
}

}  // namespace lyrn_test
