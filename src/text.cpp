// SPDX-License-Identifier: MIT
// Entity decoding with trimming, attribute lookup in a start tag, and title
// cleaning. Bytes are classified with the ASCII helpers only, so
// a host's setlocale never changes a result.
#include "text.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ascii.hpp"
#include "byte_buffer.hpp"

namespace lyrn {
namespace {

// The longest reference name between '&' and ';'. It bounds the look-ahead
// after each '&' and keeps numeric values within 64 bits (11 decimal or 10
// hexadecimal digits).
constexpr std::size_t kMaxRefName = 12;

constexpr std::uint64_t kMaxCodePoint = 0x10FFFF;

// Reads the digits of a numeric reference name ("#65", "#x41"); false when a
// byte is not a digit of the base, there is no digit, or the value is outside
// 1..0x10FFFF.
bool parse_char_ref(const char *name, std::size_t len, std::uint32_t *out) {
  if (len < 2 || name[0] != '#') return false;
  const bool hex = name[1] == 'x' || name[1] == 'X';
  std::size_t k = hex ? 2 : 1;
  if (k == len) return false;
  std::uint64_t v = 0;
  for (; k < len; ++k) {
    const char c = name[k];
    unsigned digit;
    if (ascii_is_digit(c)) {
      digit = static_cast<unsigned>(c - '0');
    } else if (hex && ascii_is_xdigit(c)) {
      digit = static_cast<unsigned>(ascii_lower(c) - 'a') + 10;
    } else {
      return false;
    }
    v = v * (hex ? 16 : 10) + digit;
  }
  if (v < 1 || v > kMaxCodePoint) return false;
  *out = static_cast<std::uint32_t>(v);
  return true;
}

// Writes v (1..0x10FFFF, surrogates included) as UTF-8; returns the length.
std::size_t encode_utf8(std::uint32_t v, char *out) {
  if (v < 0x80) {
    out[0] = static_cast<char>(v);
    return 1;
  }
  if (v < 0x800) {
    out[0] = static_cast<char>(0xC0 | (v >> 6));
    out[1] = static_cast<char>(0x80 | (v & 0x3F));
    return 2;
  }
  if (v < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (v >> 12));
    out[1] = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (v & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (v >> 18));
  out[1] = static_cast<char>(0x80 | ((v >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (v & 0x3F));
  return 4;
}

// Decodes the reference whose name is the len bytes at name (case-sensitive
// entity names, then numeric references) into out; returns the number of
// bytes written, 0 when the name is not a reference.
std::size_t decode_ref_name(const char *name, std::size_t len, char *out) {
  switch (len) {
    case 2:
      if (name[1] == 't' && (name[0] == 'l' || name[0] == 'g')) {
        out[0] = name[0] == 'l' ? '<' : '>';
        return 1;
      }
      break;
    case 3:
      if (std::memcmp(name, "amp", 3) == 0) {
        out[0] = '&';
        return 1;
      }
      break;
    case 4:
      if (std::memcmp(name, "quot", 4) == 0) {
        out[0] = '"';
        return 1;
      }
      if (std::memcmp(name, "apos", 4) == 0) {
        out[0] = '\'';
        return 1;
      }
      break;
    default:
      break;
  }
  std::uint32_t v;
  return parse_char_ref(name, len, &v) ? encode_utf8(v, out) : 0;
}

// For the '&' at text[amp], finds the ';' that closes a reference name of at
// most kMaxRefName bytes, stopping early at another '&'. Returns the position
// of the ';', or 0 when there is none (0 can never be that position).
std::size_t find_ref_end(const char *text, std::size_t count, std::size_t amp) {
  const std::size_t avail = count - amp - 1;
  const std::size_t limit = avail < kMaxRefName + 1 ? avail : kMaxRefName + 1;
  for (std::size_t k = 1; k <= limit; ++k) {
    const char c = text[amp + k];
    if (c == ';') return amp + k;
    if (c == '&') return 0;
  }
  return 0;
}

// Separators collapse to one space in titles; vertical tab and form feed are
// ordinary bytes there even though trimming removes them.
constexpr bool is_title_separator(char c) {
  return c == '_' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

constexpr bool is_id_byte(char c) { return ascii_is_alnum(c) || c == '-' || c == '_'; }

// "[" + 11 identifier bytes + "]": the bracketed id that file-name titles end with.
constexpr std::size_t kIdSuffixLen = 13;

bool ends_with_id_suffix(const char *t, std::size_t n) {
  if (n < kIdSuffixLen || t[n - 1] != ']' || t[n - kIdSuffixLen] != '[') return false;
  for (std::size_t k = n - kIdSuffixLen + 1; k < n - 1; ++k)
    if (!is_id_byte(t[k])) return false;
  return true;
}

// A new one-byte empty string, or null when even that cannot be allocated.
char *new_empty_string() { return dup_bytes("", 0); }

}  // namespace

namespace {

// Appends the decoded form of the count bytes at text to work, which already
// has room for count + 1 bytes: decoding never lengthens the text, so no
// append here needs to grow the buffer. Runs between references go in with
// one append each; an '&' that does not start a reference stays in its run.
void decode_into(byte_buffer &work, const char *text, std::size_t count) {
  std::size_t run = 0;
  std::size_t i = 0;
  while (i < count) {
    const void *hit = std::memchr(text + i, '&', count - i);
    if (!hit) break;
    const std::size_t amp = static_cast<std::size_t>(static_cast<const char *>(hit) - text);
    const std::size_t semi = find_ref_end(text, count, amp);
    char decoded[4];
    const std::size_t n = semi ? decode_ref_name(text + amp + 1, semi - amp - 1, decoded) : 0;
    if (n == 0) {
      i = amp + 1;
      continue;
    }
    work.append(text + run, amp - run);
    work.append(decoded, n);
    run = i = semi + 1;
  }
  if (run < count) work.append(text + run, count - run);
}

}  // namespace

char *xml_decode_trim(const char *text, std::size_t count) {
  byte_buffer work;
  if (count == static_cast<std::size_t>(-1) || !work.reserve(count + 1)) return nullptr;
  decode_into(work, text, count);
  const char_span trimmed = ascii_trim(work.data(), work.size());
  return dup_bytes(trimmed.data, trimmed.size);
}

bool xml_decode_trim_into(byte_buffer &out, const char *text, std::size_t count) {
  out.clear();
  if (count == static_cast<std::size_t>(-1) || !out.reserve(count + 1)) return false;
  decode_into(out, text, count);
  const char_span trimmed = ascii_trim(out.data(), out.size());
  if (trimmed.data != out.data()) std::memmove(out.data(), trimmed.data, trimmed.size);
  out.truncate(trimmed.size);
  return true;
}

void find_attrs(const char *region, std::size_t count, attr_query *queries, std::size_t n) {
  std::size_t missing = 0;
  for (std::size_t q = 0; q < n; ++q) {
    queries[q].found = false;
    if (queries[q].name) ++missing;
  }
  if (count == 0 || missing == 0) return;
  const auto is_space = [region](std::size_t k) {
    return ascii_is_space(region[k]);
  };

  std::size_t i = 0;
  for (;;) {
    while (i < count && is_space(i)) ++i;
    if (i == count) return;

    const std::size_t attr = i;
    while (i < count && !is_space(i) && region[i] != '=' && region[i] != '/') ++i;
    if (i == count) return;
    const std::size_t attr_len = i - attr;

    while (i < count && is_space(i)) ++i;
    if (i == count) return;

    if (region[i] != '=') {
      // A name without a value: pass over the whole run that follows it, so
      // that in `foo url="x"` the url is taken as part of foo's debris.
      while (i < count && !is_space(i)) ++i;
      if (i == count) return;
      continue;
    }

    ++i;
    while (i < count && is_space(i)) ++i;
    if (i == count) return;

    std::size_t value;
    std::size_t value_end;
    const char quote = region[i];
    if (quote == '"' || quote == '\'') {
      value = i + 1;
      const void *close = std::memchr(region + value, quote, count - value);
      value_end = close ? static_cast<std::size_t>(static_cast<const char *>(close) - region) : count;
      i = close ? value_end + 1 : count;
    } else {
      value = i;
      while (i < count && !is_space(i)) ++i;
      value_end = i;
    }

    // The first attribute of each name that has a value wins.
    for (std::size_t q = 0; q < n; ++q) {
      attr_query &want = queries[q];
      if (want.found || !want.name || attr_len != want.name_len ||
          !ascii_iequal(region + attr, want.name, attr_len))
        continue;
      want.found = true;
      want.value = region + value;
      want.value_len = value_end - value;
      if (--missing == 0) return;
    }
  }
}

bool find_attr(const char *region, std::size_t count, const char *name, const char **value_out,
               std::size_t *value_len) {
  attr_query query{name, name ? std::strlen(name) : 0, nullptr, 0, false};
  find_attrs(region, count, &query, 1);
  if (!query.found) return false;
  *value_out = query.value;
  *value_len = query.value_len;
  return true;
}

char *extract_attr(const char *region, std::size_t count, const char *name) {
  const char *value;
  std::size_t value_len;
  if (!find_attr(region, count, name, &value, &value_len)) return nullptr;
  return xml_decode_trim(value, value_len);
}

bool clean_title_into(byte_buffer &out, const char *title) {
  out.clear();
  if (!title) return true;

  const char_span trimmed = ascii_trim(title, std::strlen(title));
  const char *t = trimmed.data;
  std::size_t n = trimmed.size;
  if (ends_with_id_suffix(t, n)) n = ascii_trim_end(t, n - kIdSuffixLen);

  // The output is never longer than n, so this is the only growth.
  if (!out.reserve(n + 1)) return false;
  bool after_separator = true;
  for (std::size_t k = 0; k < n; ++k) {
    const char c = t[k];
    if (is_title_separator(c)) {
      if (!after_separator) out.push_back(' ');
      after_separator = true;
    } else {
      out.push_back(c);
      after_separator = false;
    }
  }
  std::size_t len = out.size();
  while (len > 0 && out.data()[len - 1] == ' ') --len;
  out.truncate(len);
  return true;
}

char *clean_title(const char *title) {
  byte_buffer out;
  if (!clean_title_into(out, title)) return nullptr;
  if (!out.data()) return new_empty_string();  // a null title
  return out.release();
}

}  // namespace lyrn
