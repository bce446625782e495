// SPDX-License-Identifier: MIT
// The collision search of collisions.hpp. Built with optimisation in every
// build type, since it tries some ten million candidates per set.
#include "collisions.hpp"

#include <cstring>

#include "string_set.hpp"

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

std::uint64_t fnv1a_hash(const char *s, std::size_t n) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (std::size_t i = 0; i < n; ++i) {
    h ^= static_cast<unsigned char>(s[i]);
    h *= 0x100000001b3ULL;
  }
  return h;
}

std::uint64_t public_key_siphash(const char *s, std::size_t n) {
  return lyrn::siphash13({kPublicKey0, kPublicKey1}, s, n);
}

namespace {

// Writes the counter v as 8 digits of the alphabet at out.
void spell(std::uint64_t v, const std::string &alphabet, char *out) {
  for (int k = 7; k >= 0; --k) {
    out[k] = alphabet[v % alphabet.size()];
    v /= alphabet.size();
  }
}

}  // namespace

std::vector<std::string> colliding_strings(public_hash h, unsigned bits, std::size_t n, const std::string &prefix,
                                           const std::string &suffix, const std::string &alphabet) {
  const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
  std::string s = prefix + std::string(8, ' ') + suffix;
  char *middle = &s[prefix.size()];
  std::vector<std::string> out;
  out.reserve(n);
  // The low bits of the first candidate are the target; each counter value
  // gives a distinct string.
  spell(0, alphabet, middle);
  const std::uint64_t target = h(s.data(), s.size()) & mask;
  for (std::uint64_t v = 0; out.size() < n; ++v) {
    spell(v, alphabet, middle);
    if ((h(s.data(), s.size()) & mask) == target) out.push_back(s);
  }
  return out;
}

std::vector<std::string> ordinary_strings(std::size_t n, const std::string &prefix, const std::string &suffix,
                                          const std::string &alphabet) {
  std::vector<std::string> out;
  out.reserve(n);
  std::string s = prefix + std::string(8, ' ') + suffix;
  for (std::size_t i = 0; i < n; ++i) {
    spell(i, alphabet, &s[prefix.size()]);
    out.push_back(s);
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
