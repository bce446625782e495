// SPDX-License-Identifier: MIT
// Crafted collisions for the duplicate sets, against any hash function an
// attacker can compute: strings whose hashes share their low bits, so that
// in a table of up to 2^bits slots indexed by that hash they all start at
// the same slot and each new string probes past every one already held
// (quadratic overall). They are found by plain forward search, which needs
// no knowledge of the function: about 2^bits tries per string.
//
// Every string has the same length, prefix and suffix (the only parts an
// attacker would keep fixed); the 8 bytes between them spell a counter in a
// given alphabet, as ordinary_strings does without the filtering.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lyrn_test {

// A hash of the n bytes at s that anyone can compute.
using public_hash = std::uint64_t (*)(const char *s, std::size_t n);

// Hashes an attacker could expect a duplicate set to use: the fixed one the
// sets used before they were keyed, FNV-1a and SipHash-1-3 under a key that
// is known (the library's own function with the key made public).
std::uint64_t old_unkeyed_hash(const char *s, std::size_t n);
std::uint64_t fnv1a_hash(const char *s, std::size_t n);
std::uint64_t public_key_siphash(const char *s, std::size_t n);
// The key public_key_siphash uses.
constexpr std::uint64_t kPublicKey0 = 0x0706050403020100ULL;
constexpr std::uint64_t kPublicKey1 = 0x0f0e0d0c0b0a0908ULL;

// n distinct strings prefix + 8 alphabet bytes + suffix whose hashes under h
// agree in their low `bits` bits.
std::vector<std::string> colliding_strings(public_hash h, unsigned bits, std::size_t n, const std::string &prefix,
                                           const std::string &suffix, const std::string &alphabet);

// n distinct strings of the same shape, the middle 8 bytes spelling the
// counter 0, 1, 2, ... in `alphabet`.
std::vector<std::string> ordinary_strings(std::size_t n, const std::string &prefix, const std::string &suffix,
                                          const std::string &alphabet);

// Printable ASCII (space included when with_space) without the bytes listed.
std::string ascii_alphabet(bool with_space, const char *without);

}  // namespace lyrn_test
