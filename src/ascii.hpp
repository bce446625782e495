// SPDX-License-Identifier: MIT
// Character classes, case folding and trimming with the "C" locale's
// answers, whatever locale the host has set: no byte of 0x80 or above is
// whitespace, a letter or a digit, and only A-Z fold. Used everywhere
// instead of <cctype>; every helper takes plain char, whatever its sign.
#pragma once

#include <cstddef>

namespace lyrn {

// Space, \t, \n, \v, \f, \r.
constexpr bool ascii_is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr bool ascii_is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr bool ascii_is_alnum(char c) {
  return ascii_is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool ascii_is_xdigit(char c) {
  return ascii_is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

constexpr char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// True when the n bytes at a and b are equal after folding A-Z.
constexpr bool ascii_iequal(const char *a, const char *b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

// True when the NUL-terminated text starts with the NUL-terminated prefix
// after folding A-Z; a shorter text is never read past its NUL.
constexpr bool ascii_istarts_with(const char *text, const char *prefix) {
  for (; *prefix; ++text, ++prefix)
    if (ascii_lower(*text) != ascii_lower(*prefix)) return false;
  return true;
}

// Compares two NUL-terminated strings with A-Z folded: 0 when equal, else the
// difference of the folded bytes (as unsigned char) where they first differ.
constexpr int ascii_strcasecmp(const char *a, const char *b) {
  for (;; ++a, ++b) {
    const int ca = static_cast<unsigned char>(ascii_lower(*a));
    const int cb = static_cast<unsigned char>(ascii_lower(*b));
    if (ca != cb || ca == 0) return ca - cb;
  }
}

// A byte span, as trimming gives it back.
struct char_span {
  const char *data;
  std::size_t size;
};

// The n bytes at s without the whitespace at their end.
constexpr std::size_t ascii_trim_end(const char *s, std::size_t n) {
  while (n > 0 && ascii_is_space(s[n - 1])) --n;
  return n;
}

// The n bytes at s without the whitespace at both ends.
constexpr char_span ascii_trim(const char *s, std::size_t n) {
  n = ascii_trim_end(s, n);
  std::size_t begin = 0;
  while (begin < n && ascii_is_space(s[begin])) ++begin;
  return {s + begin, n - begin};
}

}  // namespace lyrn
