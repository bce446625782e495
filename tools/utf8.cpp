// SPDX-License-Identifier: MIT
#include "utf8.hpp"

#include <cstdint>

namespace lyrn_tool {
namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Checks the sequence that starts at p[0] (n > 0 bytes available). Returns
// true with its length when it is one valid character; otherwise false with
// the length of its maximal invalid part (at least 1), the bytes that one
// U+FFFD replaces.
bool read_sequence(const unsigned char *p, std::size_t n, std::size_t *len) {
  const unsigned char b = p[0];
  std::size_t need;
  unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
  if (b < 0x80) {
    *len = 1;
    return true;
  } else if (b >= 0xC2 && b <= 0xDF) {
    need = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 3;
    if (b == 0xE0) lo = 0xA0;       // no overlong forms
    else if (b == 0xED) hi = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 4;
    if (b == 0xF0) lo = 0x90;
    else if (b == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    *len = 1;  // a continuation byte, C0, C1 or F5 to FF
    return false;
  }
  for (std::size_t i = 1; i < need; ++i) {
    const unsigned char lower = i == 1 ? lo : 0x80, upper = i == 1 ? hi : 0xBF;
    if (i >= n || p[i] < lower || p[i] > upper) {
      *len = i;
      return false;
    }
  }
  *len = need;
  return true;
}

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

int hex_value(unsigned char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code point of a numeric character reference at p[0] == '&', read as
// the library reads references: '&', a name of at most 12 bytes without ';'
// or '&', then ';'. Returns its length, or 0 when it is no numeric reference.
std::size_t read_numeric_reference(const unsigned char *p, std::size_t n, uint64_t *value) {
  std::size_t stop = 0;
  for (std::size_t j = 1; j <= 13 && j < n; ++j) {
    if (p[j] == ';' || p[j] == '&') {
      stop = j;
      break;
    }
  }
  if (stop == 0 || p[stop] != ';') return 0;
  const std::size_t name_len = stop - 1;
  if (name_len < 2 || p[1] != '#') return 0;
  const bool hex = p[2] == 'x' || p[2] == 'X';
  std::size_t first = hex ? 3 : 2;
  if (first >= stop) return 0;
  uint64_t v = 0;
  for (std::size_t j = first; j < stop; ++j) {
    const int d = hex ? hex_value(p[j]) : (is_digit(p[j]) ? p[j] - '0' : -1);
    if (d < 0) return 0;
    v = v * (hex ? 16 : 10) + static_cast<unsigned>(d);  // at most 11 digits: no overflow
  }
  *value = v;
  return stop + 1;
}

bool is_surrogate(uint64_t v) { return v >= 0xD800 && v <= 0xDFFF; }

}  // namespace

text_position position_of(const std::string &text, std::size_t offset) {
  text_position pos;
  pos.offset = offset;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool line_end = c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'));
    if (line_end) {
      ++pos.line;
      pos.column = 1;
    } else if ((c & 0xC0) != 0x80 && c != '\r') {
      ++pos.column;  // continuation bytes belong to the character before them
    }
  }
  return pos;
}

bool find_invalid_utf8(const std::string &text, std::size_t *offset) {
  const auto *p = reinterpret_cast<const unsigned char *>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0, len;
  while (i < n) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    if (!read_sequence(p + i, n - i, &len)) {
      *offset = i;
      return true;
    }
    i += len;
  }
  return false;
}

bool find_surrogate_reference(const std::string &text, std::size_t *offset, unsigned long *code) {
  const auto *p = reinterpret_cast<const unsigned char *>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = text.find('&'); i != std::string::npos; i = text.find('&', i + 1)) {
    uint64_t v;
    if (read_numeric_reference(p + i, n - i, &v) && is_surrogate(v)) {
      *offset = i;
      *code = static_cast<unsigned long>(v);
      return true;
    }
  }
  return false;
}

std::size_t repair_utf8(std::string *text) {
  const auto *p = reinterpret_cast<const unsigned char *>(text->data());
  const std::size_t n = text->size();
  std::string out;
  std::size_t replaced = 0, copied = 0, i = 0, len;
  uint64_t v;
  while (i < n) {
    std::size_t bad = 0;
    if (p[i] < 0x80) {
      if (p[i] == '&' && (len = read_numeric_reference(p + i, n - i, &v)) && is_surrogate(v)) bad = len;
      else ++i;
    } else if (read_sequence(p + i, n - i, &len)) {
      i += len;
    } else {
      bad = len;
    }
    if (bad) {
      if (replaced == 0) out.reserve(n + 16);
      out.append(text->data() + copied, i - copied);
      out += kReplacement;
      i += bad;
      copied = i;
      ++replaced;
    }
  }
  if (replaced) {
    out.append(text->data() + copied, n - copied);
    text->swap(out);
  }
  return replaced;
}

}  // namespace lyrn_tool
