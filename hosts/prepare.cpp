// SPDX-License-Identifier: MIT
#include "prepare.hpp"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "ascii.hpp"
#include "lyrn.h"

namespace lyrn_host {

const char kInvalidUtf8[] = "invalid utf-8";
const char kSurrogateReference[] = "surrogate reference";
const char kNonFiniteDuration[] = "non-finite duration";
const char kDocumentTooLarge[] = "document too large";
const char kUnknownEncoding[] = "unknown encoding";
const char kCannotDecode[] = "cannot decode";
const char kCannotWrite[] = "cannot write document";

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

using lyrn::ascii_is_digit;
using lyrn::ascii_is_space;

bool equals_nocase(const char *a, std::size_t n, const char *b) {
  return std::strlen(b) == n && lyrn::ascii_iequal(a, b, n);
}

bool equals_nocase(const std::string &a, const char *b) { return equals_nocase(a.data(), a.size(), b); }

bool starts_with_nocase(const std::string &a, const char *prefix) {
  const std::size_t n = std::strlen(prefix);
  return a.size() >= n && equals_nocase(a.data(), n, prefix);
}

// ---- UTF-8 ------------------------------------------------------------------

// Checks the sequence that starts at p[0] (n > 0 bytes available). Returns
// true with its length when it is one valid character (shortest form, no
// surrogate, nothing above U+10FFFF: what the library's JSON writer takes);
// otherwise false with the length of its maximal invalid part (at least 1),
// the bytes that one U+FFFD replaces.
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

int hex_value(char c) {
  if (ascii_is_digit(c)) return c - '0';
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
  const std::size_t first = hex ? 3 : 2;
  if (first >= stop) return 0;
  uint64_t v = 0;
  for (std::size_t j = first; j < stop; ++j) {
    const char c = static_cast<char>(p[j]);
    const int d = hex ? hex_value(c) : (ascii_is_digit(c) ? c - '0' : -1);
    if (d < 0) return 0;
    v = v * (hex ? 16 : 10) + static_cast<unsigned>(d);  // at most 11 digits: no overflow
  }
  *value = v;
  return stop + 1;
}

bool is_surrogate(uint64_t v) { return v >= 0xD800 && v <= 0xDFFF; }
bool is_high_surrogate(uint64_t v) { return v >= 0xD800 && v <= 0xDBFF; }
bool is_low_surrogate(uint64_t v) { return v >= 0xDC00 && v <= 0xDFFF; }

// The next '&' at or after `from` that is followed by '#', or n.
std::size_t next_reference(const char *text, std::size_t n, std::size_t from) {
  while (from < n) {
    const void *hit = std::memchr(text + from, '&', n - from);
    if (!hit) return n;
    const std::size_t at = static_cast<std::size_t>(static_cast<const char *>(hit) - text);
    if (at + 1 < n && text[at + 1] == '#') return at;
    from = at + 1;
  }
  return n;
}

bool find_surrogate_reference(const char *text, std::size_t n, std::size_t *offset, unsigned long *code) {
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  for (std::size_t i = next_reference(text, n, 0); i < n; i = next_reference(text, n, i + 1)) {
    uint64_t v;
    if (read_numeric_reference(p + i, n - i, &v) && is_surrogate(v)) {
      *offset = i;
      *code = static_cast<unsigned long>(v);
      return true;
    }
  }
  return false;
}

// Appends a supplementary character (U+10000 to U+10FFFF, all a reference
// pair can encode) in its four-byte UTF-8 form.
void append_supplementary(text_buffer *out, uint32_t cp) {
  const char b[4] = {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
                     static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
  out->append(b, 4);
}

// Rewrites each high surrogate reference followed at once by a low one as
// the one character the pair encodes. Returns how many pairs it rewrote;
// *out is filled only when that is not 0.
std::size_t rewrite_pairs(const char *text, std::size_t n, text_buffer *out) {
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  std::size_t pairs = 0, copied = 0;
  for (std::size_t i = next_reference(text, n, 0); i < n;) {
    uint64_t high, low;
    const std::size_t len = read_numeric_reference(p + i, n - i, &high);
    if (!len || !is_high_surrogate(high)) {
      i = next_reference(text, n, i + 1);
      continue;
    }
    const std::size_t j = i + len;
    const std::size_t len2 = j < n && p[j] == '&' ? read_numeric_reference(p + j, n - j, &low) : 0;
    if (!len2 || !is_low_surrogate(low)) {
      i = next_reference(text, n, j);
      continue;
    }
    if (pairs == 0) out->reserve(n);  // a pair is never shorter than its character
    out->append(text + copied, i - copied);
    append_supplementary(out, static_cast<uint32_t>(0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00)));
    ++pairs;
    copied = j + len2;
    i = next_reference(text, n, copied);
  }
  if (pairs) out->append(text + copied, n - copied);
  return pairs;
}

// The next spot at or after i that the library's writer refuses: an
// invalid UTF-8 sequence (its maximal invalid part, as Unicode recommends)
// or, with `refs`, a surrogate reference. Returns n when there is none;
// *len is the spot's length.
std::size_t next_spot(const unsigned char *p, std::size_t n, std::size_t i, bool refs, std::size_t *len) {
  uint64_t v;
  while (i < n) {
    if (p[i] < 0x80) {
      if (refs && p[i] == '&' && (*len = read_numeric_reference(p + i, n - i, &v)) && is_surrogate(v)) return i;
      ++i;
    } else if (read_sequence(p + i, n - i, len)) {
      i += *len;
    } else {
      return i;
    }
  }
  return n;
}

// Replaces every spot (invalid sequences, and surrogate references when
// `refs`) after the first `keep` with U+FFFD. Returns how many it replaced;
// *out is filled only when that is not 0.
std::size_t repair_text(const char *text, std::size_t n, text_buffer *out, bool refs = true, std::size_t keep = 0) {
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  std::size_t replaced = 0, copied = 0, index = 0, len = 0;
  for (std::size_t i = next_spot(p, n, 0, refs, &len); i < n; i = next_spot(p, n, i, refs, &len)) {
    if (index++ < keep) {
      i += len;
      continue;
    }
    if (replaced == 0) out->reserve(n + 16);
    out->append(text + copied, i - copied);
    out->append(kReplacement, 3);
    i += len;
    copied = i;
    ++replaced;
  }
  if (replaced) out->append(text + copied, n - copied);
  return replaced;
}

// ---- Encodings --------------------------------------------------------------

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

bool has_prefix(const char *b, std::size_t n, const char *prefix, std::size_t k) {
  return n >= k && std::memcmp(b, prefix, k) == 0;
}

// What the first bytes say: a byte order mark, the shape of '<' and an
// ASCII character in UTF-16 or UTF-32 (a feed without a mark or a
// declaration still starts with a tag), or nothing (the bytes are
// ASCII-compatible). `skip` is the
// length of a mark that the conversion drops.
struct signature {
  const char *name = nullptr;
  std::size_t skip = 0;
  bool utf8_bom = false;
};

bool is_ascii_char(char c) { return c > 0 && c < 0x7F; }

signature read_signature(const char *b, std::size_t n) {
  signature s;
  if (has_prefix(b, n, "\xEF\xBB\xBF", 3)) s.utf8_bom = true;
  else if (has_prefix(b, n, "\x00\x00\xFE\xFF", 4)) s = {"UTF-32BE", 4, false};
  else if (has_prefix(b, n, "\xFF\xFE\x00\x00", 4)) s = {"UTF-32LE", 4, false};
  else if (has_prefix(b, n, "\xFE\xFF", 2)) s = {"UTF-16BE", 2, false};
  else if (has_prefix(b, n, "\xFF\xFE", 2)) s = {"UTF-16LE", 2, false};
  else if (has_prefix(b, n, "\x00\x00\x00\x3C", 4)) s = {"UTF-32BE", 0, false};
  else if (has_prefix(b, n, "\x3C\x00\x00\x00", 4)) s = {"UTF-32LE", 0, false};
  else if (n >= 4 && b[0] == '\0' && b[1] == '<' && b[2] == '\0' && is_ascii_char(b[3])) s = {"UTF-16BE", 0, false};
  else if (n >= 4 && b[0] == '<' && b[1] == '\0' && is_ascii_char(b[2]) && b[3] == '\0') s = {"UTF-16LE", 0, false};
  return s;
}

// The encoding named by an XML declaration at the start of the bytes
// (whitespace before it is tolerated), with the offset of the name; false
// when there is no declaration or it names none. Reads no further than the
// declaration's '>'.
bool declared_encoding(const char *b, std::size_t n, std::string *name, std::size_t *at) {
  std::size_t i = 0;
  while (i < n && ascii_is_space(b[i])) ++i;
  if (n - i < 6 || std::memcmp(b + i, "<?xml", 5) != 0 || !ascii_is_space(b[i + 5])) return false;
  const void *gt = std::memchr(b + i, '>', n - i);  // where the library ends it too
  const std::size_t limit = gt ? static_cast<std::size_t>(static_cast<const char *>(gt) - b) : n;
  for (std::size_t k = i + 6; k + 8 <= limit; ++k) {
    if (std::memcmp(b + k, "encoding", 8) != 0 || !ascii_is_space(b[k - 1])) continue;
    std::size_t j = k + 8;
    while (j < limit && ascii_is_space(b[j])) ++j;
    if (j >= limit || b[j] != '=') continue;
    ++j;
    while (j < limit && ascii_is_space(b[j])) ++j;
    if (j >= limit || (b[j] != '"' && b[j] != '\'')) continue;
    const void *close = std::memchr(b + j + 1, b[j], limit - j - 1);
    if (!close) return false;
    const std::size_t end = static_cast<std::size_t>(static_cast<const char *>(close) - b);
    name->assign(b + j + 1, end - j - 1);
    *at = j + 1;
    return !name->empty();
  }
  return false;
}

std::string where_text(const text_position &pos) {
  return "byte offset " + std::to_string(pos.offset) + " (line " + std::to_string(pos.line) + ", column " +
         std::to_string(pos.column) + ")";
}

std::string hex_byte(unsigned char c) {
  char hex[8];
  (void)std::snprintf(hex, sizeof hex, "0x%02X", c);  // "0xHH" always fits
  return hex;
}

// Converts bytes[skip..] from `name` to UTF-8 with iconv into *out.
bool transcode(const char *bytes, std::size_t size, const std::string &name, std::size_t skip, text_buffer *out,
               failure *why) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  // iconv_open's failure value is (iconv_t)-1.
  if (cd == reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
    *why = unknown_encoding(name);
    return false;
  }
  // Room for UTF-16 and every 8-bit encoding of Latin script, grown on demand.
  out->reserve((size - skip) + (size - skip) / 2 + 64);
  // iconv's prototype takes char ** for the input it never writes.
  char *in = const_cast<char *>(bytes) + skip;
  std::size_t in_left = size - skip;
  std::size_t done = 0;
  bool ok = true;
  for (bool flushing = false;;) {
    char *o = out->data() + done;
    std::size_t o_left = out->capacity() - done;
    const std::size_t r = flushing ? iconv(cd, nullptr, nullptr, &o, &o_left) : iconv(cd, &in, &in_left, &o, &o_left);
    done = out->capacity() - o_left;
    if (r != static_cast<std::size_t>(-1)) {
      if (flushing) break;
      flushing = true;  // a stateful encoding may owe a final sequence
      continue;
    }
    if (errno == E2BIG) {
      out->set_size(done);
      out->reserve(out->capacity() * 2);
      continue;
    }
    // The line and column of the character that cannot be decoded, counted
    // in the text decoded before it.
    const std::size_t at = static_cast<std::size_t>(in - bytes);
    text_position pos = position_of(out->data(), done, done);
    pos.offset = at;
    why->code = kCannotDecode;
    why->has_position = true;
    why->where = pos;
    if (errno == EINVAL)
      why->message = "the input ends inside a " + name + " character at " + where_text(pos);
    else
      why->message = "invalid " + name + " input at " + where_text(pos) + ", byte " +
                     hex_byte(static_cast<unsigned char>(bytes[at]));
    ok = false;
    break;
  }
  iconv_close(cd);
  if (!ok) return false;
  out->set_size(done);
  return true;
}

// Turns the bytes into UTF-8 as the choice says; out->owned is filled (and
// out->from set) only when they were transcoded.
bool to_utf8(const char *bytes, std::size_t size, const encoding_choice &choice, prepared_text *out,
             failure *why) {
  if (choice.mode == encoding_choice::none) return true;
  std::string name;
  std::size_t skip = 0;
  if (choice.mode == encoding_choice::forced) {
    if (equals_nocase(choice.name, "UTF-8") || equals_nocase(choice.name, "UTF8")) return true;
    name = choice.name;
  } else {
    const signature sig = read_signature(bytes, size);
    if (sig.utf8_bom) return true;  // the library skips text before the first tag
    if (sig.name) {
      name = sig.name;
      skip = sig.skip;
    } else {
      std::size_t at;
      if (!declared_encoding(bytes, size, &name, &at) || is_utf8_name(name)) return true;
      if (is_wide_name(name)) {
        out->warning = "the XML declaration names " + name + " but the bytes are not in it; they are read as UTF-8";
        return true;
      }
      if (!converter_knows(name)) {
        *why = unknown_encoding(name);
        why->has_position = true;
        why->where = position_of(bytes, size, at);
        why->message = "encoding '" + name + "' named by the XML declaration at " + where_text(why->where) +
                       " is not known to iconv";
        return false;
      }
      // UTF-8 text under a stale declaration is common, and reading it as
      // the declared encoding turns every accented letter into two.
      std::size_t bad;
      bool non_ascii = false;
      for (std::size_t i = 0; i < size && !non_ascii; ++i) non_ascii = bytes[i] & 0x80;
      if (non_ascii && !find_invalid_utf8(bytes, size, &bad))
        out->warning = "the XML declaration names " + name +
                       " but the bytes are valid UTF-8; if the text looks wrong, try --encoding UTF-8";
    }
  }
  if (!transcode(bytes, size, name, skip, &out->owned, why)) return false;
  out->from = name;
  out->data = out->owned.data();
  out->size = out->owned.size();
  return true;
}

// ---- Durations --------------------------------------------------------------

// True when a duration the library would read, or the sum of the positive
// ones (its total), is not finite. Each duration is the text between the
// end tag "</itunes:duration" (any letter case, whitespace allowed after
// "</") and the '>' before it, read by the library's own duration reader.
bool durations_not_finite(const char *text, std::size_t n) {
  static const char kName[] = "itunes:duration";
  const std::size_t name_len = sizeof kName - 1;
  double total = 0;
  std::size_t last_gt = n;  // none yet
  std::string value;
  for (std::size_t i = 0; i < n; ++i) {
    if (text[i] == '>') {
      last_gt = i;
      continue;
    }
    if (text[i] != '<' || i + 1 >= n || text[i + 1] != '/') continue;
    std::size_t j = i + 2;
    while (j < n && ascii_is_space(text[j])) ++j;
    if (n - j < name_len || !equals_nocase(text + j, name_len, kName)) continue;
    const std::size_t start = last_gt == n ? 0 : last_gt + 1;
    value.assign(text + start, i - start);
    const double d = lyrn_parse_duration(value.c_str());
    if (!std::isfinite(d)) return true;
    if (d > 0) total += d;
    if (!std::isfinite(total)) return true;
  }
  return false;
}

failure invalid_at(const prepared_text &t, std::size_t at, const char *what) {
  failure f;
  f.code = kInvalidUtf8;
  f.has_position = true;
  f.where = position_of(t.data, t.size, at);
  f.message = std::string("the ") + what + " is not UTF-8: invalid sequence at " + where_text(f.where) +
              (t.from.empty() ? "" : " of the text transcoded from " + t.from) + ", byte " +
              hex_byte(static_cast<unsigned char>(t.data[at]));
  return f;
}

failure surrogate_at(const prepared_text &t, std::size_t at, unsigned long code) {
  failure f;
  f.code = kSurrogateReference;
  f.has_position = true;
  f.where = position_of(t.data, t.size, at);
  char cp[16];
  (void)std::snprintf(cp, sizeof cp, "U+%04lX", code);  // a surrogate: "U+D800" to "U+DFFF"
  f.message = "the character reference at " + where_text(f.where) +
              (t.from.empty() ? "" : " of the text transcoded from " + t.from) + " stands for " + cp +
              ", a surrogate that UTF-8 cannot hold";
  return f;
}

failure non_finite() {
  failure f;
  f.code = kNonFiniteDuration;
  f.message = "a track duration or the total duration is not finite, and JSON has no such number";
  return f;
}

// True when the library writes a document for the text once every spot
// after the first `keep` is replaced.
bool converts_with(const prepared_text &t, const char *feed_url, document_kind kind, std::size_t keep) {
  const bool feed = kind == document_kind::feed;
  text_buffer fixed;
  const bool changed = repair_text(t.data, t.size, &fixed, feed, keep) != 0;
  const char *text = changed ? fixed.data() : t.data;
  const std::size_t size = changed ? fixed.size() : t.size;
  char *doc = feed ? lyrn_parse_feed_json(text, size, feed_url) : lyrn_discover_slugs_json(size ? text : "", size);
  lyrn_free(doc);
  return doc != nullptr;
}

// The offset of the first spot whose bytes the library's writer refuses:
// spots in fields it never writes do not count. The smallest k for which
// the text still fails with spots 0..k as they are and the rest replaced,
// found by a galloping search and bisection (a conversion per step), only
// when there are several.
std::size_t first_refused_spot(const prepared_text &t, const char *feed_url, document_kind kind) {
  const auto *p = reinterpret_cast<const unsigned char *>(t.data);
  const bool refs = kind == document_kind::feed;
  std::vector<std::size_t> spots;
  std::size_t len = 0;
  for (std::size_t i = next_spot(p, t.size, 0, refs, &len); i < t.size; i = next_spot(p, t.size, i, refs, &len)) {
    spots.push_back(i);
    i += len;
  }
  // Probes 0, 1, 3, 7, ... first, so that a culprit near the start costs few
  // conversions; the text with every spot as it is fails already.
  std::size_t lo = 0, hi = spots.size() - 1;
  for (std::size_t probe = 0; probe < hi; probe = std::min(hi, probe * 2 + 1)) {
    if (!converts_with(t, feed_url, kind, probe + 1)) {
      hi = probe;
      break;
    }
    lo = probe + 1;
  }
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (converts_with(t, feed_url, kind, mid + 1)) lo = mid + 1;
    else hi = mid;
  }
  return spots[lo];
}

}  // namespace

text_buffer::~text_buffer() { std::free(data_); }

void text_buffer::swap(text_buffer &other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
}

void text_buffer::reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  void *grown = std::realloc(data_, capacity);
  if (!grown) throw std::bad_alloc();
  data_ = static_cast<char *>(grown);
  capacity_ = capacity;
}

void text_buffer::append(const char *bytes, std::size_t n) {
  if (n > capacity_ - size_) {
    if (n > static_cast<std::size_t>(-1) / 2 - size_) throw std::bad_alloc();
    reserve(std::max(size_ + n, capacity_ * 2));
  }
  std::memcpy(data_ + size_, bytes, n);
  size_ += n;
}

encoding_choice parse_encoding_choice(const std::string &value) {
  encoding_choice c;
  if (equals_nocase(value, "auto")) {
    c.mode = encoding_choice::detect;
  } else if (equals_nocase(value, "none")) {
    c.mode = encoding_choice::none;
  } else {
    c.mode = encoding_choice::forced;
    c.name = value;
  }
  return c;
}

bool converter_knows(const std::string &name) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;  // NOLINT(performance-no-int-to-ptr): iconv's failure value
  iconv_close(cd);
  return true;
}

text_position position_of(const char *text, std::size_t size, std::size_t offset) {
  text_position pos;
  pos.offset = offset;
  for (std::size_t i = 0; i < offset && i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool line_end = c == '\n' || (c == '\r' && (i + 1 >= size || text[i + 1] != '\n'));
    if (line_end) {
      ++pos.line;
      pos.column = 1;
    } else if ((c & 0xC0) != 0x80 && c != '\r') {
      ++pos.column;  // continuation bytes belong to the character before them
    }
  }
  return pos;
}

bool find_invalid_utf8(const char *text, std::size_t n, std::size_t *offset) {
  const auto *p = reinterpret_cast<const unsigned char *>(text);
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

failure unknown_encoding(const std::string &name) {
  failure f;
  f.code = kUnknownEncoding;
  f.message = "encoding '" + name + "' is not known to iconv";
  return f;
}

failure too_large(document_kind kind, std::size_t size, std::size_t limit) {
  failure f;
  f.code = kDocumentTooLarge;
  f.message = std::string("the ") + (kind == document_kind::feed ? "playlist" : "slug list") + " document is " +
              std::to_string(size) + " bytes, more than the " + std::to_string(limit) +
              " that one string can hold here";
  return f;
}

bool prepare(const char *data, std::size_t size, const prepare_options &options, prepared_text *out,
             failure *why) {
  out->data = size ? data : "";
  out->size = size;
  if (!options.is_text && !to_utf8(out->data, out->size, options.encoding, out, why)) return false;
  if (options.encoding.mode != encoding_choice::none) {
    text_buffer rewritten;
    out->pairs = rewrite_pairs(out->data, out->size, &rewritten);
    if (out->pairs) {
      out->owned.swap(rewritten);
      out->data = out->owned.data();
      out->size = out->owned.size();
    }
  }
  if (options.repair) {
    text_buffer fixed;
    out->repaired = repair_text(out->data, out->size, &fixed);
    if (out->repaired) {
      out->owned.swap(fixed);
      out->data = out->owned.data();
      out->size = out->owned.size();
    }
  }
  if (out->size == 0) out->data = "";
  return true;
}

failure diagnose(const prepared_text &t, const char *feed_url, document_kind kind) {
  const bool feed = kind == document_kind::feed;
  const char *what = feed ? "feed" : "listing";
  std::size_t bad_at = 0, ref_at = 0;
  unsigned long ref_code = 0;
  const bool bad = find_invalid_utf8(t.data, t.size, &bad_at);
  const bool ref = feed && find_surrogate_reference(t.data, t.size, &ref_at, &ref_code);
  const bool number = feed && durations_not_finite(t.data, t.size);
  std::size_t url_bad;
  if (feed && feed_url && find_invalid_utf8(feed_url, std::strlen(feed_url), &url_bad) && !bad && !ref) {
    failure f;
    f.code = kInvalidUtf8;
    f.about_url = true;
    f.message = "the feed URL is not valid UTF-8";
    return f;
  }
  const int causes = bad + ref + number;
  if (causes == 0) {
    failure f;
    f.code = kCannotWrite;
    f.message = std::string("the ") + (feed ? "playlist" : "slug list") +
                " could not be written, and the " + what +
                " shows no cause (invalid UTF-8, a surrogate reference, a non-finite duration): memory may have "
                "run out";
    return f;
  }
  // With a number and a text both suspect, a repaired copy tells which.
  if (number && (causes == 1 || !converts_with(t, feed_url, kind, 0))) return non_finite();
  const std::size_t at = first_refused_spot(t, feed_url, kind);
  uint64_t code;
  const auto *p = reinterpret_cast<const unsigned char *>(t.data);
  if (feed && p[at] == '&' && read_numeric_reference(p + at, t.size - at, &code))
    return surrogate_at(t, at, static_cast<unsigned long>(code));
  return invalid_at(t, at, what);
}

}  // namespace lyrn_host
