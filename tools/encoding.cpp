// SPDX-License-Identifier: MIT
#include "encoding.hpp"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "utf8.hpp"

namespace lyrn_tool {
namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_nocase(const std::string &a, const char *b) {
  const std::size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

bool starts_with_nocase(const std::string &a, const char *prefix) {
  const std::size_t n = std::strlen(prefix);
  return a.size() >= n && equals_nocase(a.substr(0, n), prefix);
}

// Names under which the bytes are already what the library reads.
bool is_utf8_name(const std::string &name) {
  return equals_nocase(name, "UTF-8") || equals_nocase(name, "UTF8") ||
         equals_nocase(name, "US-ASCII") || equals_nocase(name, "ASCII");
}

// Encodings whose text cannot start with an ASCII "<?xml".
bool is_wide_name(const std::string &name) {
  return starts_with_nocase(name, "UTF-16") || starts_with_nocase(name, "UTF16") ||
         starts_with_nocase(name, "UTF-32") || starts_with_nocase(name, "UTF32") ||
         starts_with_nocase(name, "UCS-2") || starts_with_nocase(name, "UCS-4");
}

bool has_prefix(const std::string &bytes, const char *prefix, std::size_t n) {
  return bytes.size() >= n && std::memcmp(bytes.data(), prefix, n) == 0;
}

// What the first bytes say: a byte order mark, the shape of "<?" in UTF-16
// or UTF-32, or nothing (the bytes are ASCII-compatible). `skip` is the
// length of a mark that the conversion drops.
struct signature {
  const char *name = nullptr;
  std::size_t skip = 0;
  bool utf8_bom = false;
};

signature read_signature(const std::string &b) {
  signature s;
  if (has_prefix(b, "\xEF\xBB\xBF", 3)) s.utf8_bom = true;
  else if (has_prefix(b, "\x00\x00\xFE\xFF", 4)) s = {"UTF-32BE", 4, false};
  else if (has_prefix(b, "\xFF\xFE\x00\x00", 4)) s = {"UTF-32LE", 4, false};
  else if (has_prefix(b, "\xFE\xFF", 2)) s = {"UTF-16BE", 2, false};
  else if (has_prefix(b, "\xFF\xFE", 2)) s = {"UTF-16LE", 2, false};
  else if (has_prefix(b, "\x00\x00\x00\x3C", 4)) s = {"UTF-32BE", 0, false};
  else if (has_prefix(b, "\x3C\x00\x00\x00", 4)) s = {"UTF-32LE", 0, false};
  else if (has_prefix(b, "\x00\x3C\x00\x3F", 4)) s = {"UTF-16BE", 0, false};
  else if (has_prefix(b, "\x3C\x00\x3F\x00", 4)) s = {"UTF-16LE", 0, false};
  return s;
}

// The encoding named by an XML declaration at the start of the bytes
// (whitespace before it is tolerated), with the offset of the name; false
// when there is no declaration or it names none.
bool declared_encoding(const std::string &b, std::string *name, std::size_t *at) {
  std::size_t i = 0;
  while (i < b.size() && is_space(b[i])) ++i;
  if (b.compare(i, 5, "<?xml") != 0 || i + 5 >= b.size() || !is_space(b[i + 5])) return false;
  const std::size_t end = b.find('>', i);  // where the library ends it too
  const std::size_t limit = end == std::string::npos ? b.size() : end;
  for (std::size_t k = b.find("encoding", i); k < limit; k = b.find("encoding", k + 1)) {
    if (!is_space(b[k - 1])) continue;
    std::size_t j = k + 8;
    while (j < limit && is_space(b[j])) ++j;
    if (j >= limit || b[j] != '=') continue;
    ++j;
    while (j < limit && is_space(b[j])) ++j;
    if (j >= limit || (b[j] != '"' && b[j] != '\'')) continue;
    const std::size_t close = b.find(b[j], j + 1);
    if (close == std::string::npos || close > limit) return false;
    *name = b.substr(j + 1, close - j - 1);
    *at = j + 1;
    return !name->empty();
  }
  return false;
}

std::string offset_text(std::size_t offset) { return "byte offset " + std::to_string(offset); }

// Converts bytes[skip..] from `name` to UTF-8 with iconv.
bool transcode(std::string *bytes, const std::string &name, std::size_t skip, std::string *error) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    *error = "encoding '" + name + "' is not known to iconv";
    return false;
  }
  std::string out(bytes->size() * 2 + 64, '\0');
  char *in = &(*bytes)[0] + skip;
  std::size_t in_left = bytes->size() - skip;
  std::size_t done = 0;
  bool ok = true;
  for (bool flushing = false;;) {
    char *o = &out[done];
    std::size_t o_left = out.size() - done;
    const std::size_t r = flushing ? iconv(cd, nullptr, nullptr, &o, &o_left)
                                   : iconv(cd, &in, &in_left, &o, &o_left);
    done = out.size() - o_left;
    if (r != static_cast<std::size_t>(-1)) {
      if (flushing) break;
      flushing = true;  // a stateful encoding may owe a final sequence
      continue;
    }
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    const std::size_t at = static_cast<std::size_t>(in - bytes->data());
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(bytes->data()[at]));
    if (errno == EINVAL)
      *error = "the input ends inside a " + name + " character at " + offset_text(at);
    else
      *error = "invalid " + name + " input at " + offset_text(at) + " (byte " + hex + ")";
    ok = false;
    break;
  }
  iconv_close(cd);
  if (!ok) return false;
  out.resize(done);
  bytes->swap(out);
  return true;
}

}  // namespace

encoding_choice parse_encoding_choice(const std::string &value) {
  encoding_choice c;
  if (equals_nocase(value, "auto")) c.mode = encoding_choice::detect;
  else if (equals_nocase(value, "none")) c.mode = encoding_choice::none;
  else {
    c.mode = encoding_choice::forced;
    c.name = value;
  }
  return c;
}

bool iconv_knows(const std::string &name) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

bool to_utf8(std::string *bytes, const encoding_choice &choice, std::string *from,
             std::string *warning, std::string *error) {
  if (choice.mode == encoding_choice::none) return true;
  if (choice.mode == encoding_choice::forced) {
    if (equals_nocase(choice.name, "UTF-8") || equals_nocase(choice.name, "UTF8")) return true;
    *from = choice.name;
    return transcode(bytes, choice.name, 0, error);
  }
  const signature sig = read_signature(*bytes);
  if (sig.utf8_bom) return true;  // the library skips text before the first tag
  if (sig.name) {
    *from = sig.name;
    return transcode(bytes, sig.name, sig.skip, error);
  }
  std::string name;
  std::size_t at;
  if (!declared_encoding(*bytes, &name, &at) || is_utf8_name(name)) return true;
  if (is_wide_name(name)) {
    *warning = "the XML declaration names " + name +
               " but the bytes are not in it; they are read as UTF-8";
    return true;
  }
  if (!iconv_knows(name)) {
    *error = "encoding '" + name + "' named by the XML declaration at " + offset_text(at) +
             " is not known to iconv";
    return false;
  }
  // UTF-8 text under a stale declaration is common, and reading it as the
  // declared encoding turns every accented letter into two characters.
  std::size_t bad;
  const bool non_ascii = std::any_of(bytes->begin(), bytes->end(), [](char c) { return c & 0x80; });
  if (non_ascii && !find_invalid_utf8(*bytes, &bad))
    *warning = "the XML declaration names " + name +
               " but the bytes are valid UTF-8; if the text looks wrong, try --encoding UTF-8";
  *from = name;
  return transcode(bytes, name, 0, error);
}

}  // namespace lyrn_tool
