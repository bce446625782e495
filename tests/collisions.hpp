// SPDX-License-Identifier: MIT
// Crafted collisions for the duplicate sets: strings whose hashes under the
// fixed, public hash that the sets once used share their low 20 bits, so that
// in a table of up to a million slots they all start at the same slot and a
// table indexed by that hash degrades to one probe per string already held,
// quadratic overall. They are found by running that hash backwards from
// chosen outputs, so a hundred thousand take about a second, not the hours
// that searching forwards would.
//
// Every string has the same length and the same prefix and suffix (the only
// parts of a keyed hash an attacker can fix); the 8 bytes between them are
// ASCII bytes of a given alphabet or whole, valid UTF-8 sequences of two to
// four bytes, as a folder name or a URL from anywhere may hold.
// ordinary_strings gives strings of the same shape whose middle spells a
// counter in the ASCII alphabet instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lyrn_test {

// The fixed hash the duplicate sets used before they were keyed.
std::uint64_t old_unkeyed_hash(const char *s, std::size_t len);

// The low bits that the crafted strings share.
constexpr unsigned kCollidingBits = 20;

// n distinct strings prefix + 8 bytes (see above) + suffix whose old hash
// ends in the same kCollidingBits bits. The prefix length must be a multiple
// of 8 and the suffix shorter than 8 bytes.
std::vector<std::string> colliding_strings(std::size_t n, const std::string &prefix, const std::string &suffix,
                                           const std::string &alphabet);

// n distinct strings of the same shape, the middle 8 bytes spelling a
// counter in `alphabet`.
std::vector<std::string> ordinary_strings(std::size_t n, const std::string &prefix, const std::string &suffix,
                                          const std::string &alphabet);

// Printable ASCII (space included when with_space) without the bytes listed.
std::string ascii_alphabet(bool with_space, const char *without);

}  // namespace lyrn_test
