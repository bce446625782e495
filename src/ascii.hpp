// SPDX-License-Identifier: MIT
// Character classes and case folding with the "C" locale's answers, whatever
// locale the host has set: no byte of 0x80 or above is whitespace, a letter
// or a digit, and only A-Z fold. Used everywhere instead of <cctype>.
#pragma once

namespace lyrn {

// Space, \t, \n, \v, \f, \r.
constexpr bool ascii_is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr bool ascii_is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

constexpr bool ascii_is_alnum(unsigned char c) {
  return ascii_is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool ascii_is_xdigit(unsigned char c) {
  return ascii_is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

constexpr unsigned char ascii_lower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// True when the n bytes at a and b are equal after folding A-Z.
inline bool ascii_iequal(const char *a, const char *b, unsigned long n) {
  for (unsigned long i = 0; i < n; ++i)
    if (ascii_lower(static_cast<unsigned char>(a[i])) != ascii_lower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace lyrn
