// SPDX-License-Identifier: MIT
// Text handling: entity decoding with trimming, attribute lookup in a start
// tag, and title cleaning (behind lyrn_clean_title).
#pragma once

#include <cstddef>

namespace lyrn {

class byte_buffer;

// Decodes the five XML entities and numeric character references in the
// `count` bytes at `text` (single level, anything else copied as it stands),
// then trims whitespace at both ends. Returns a new heap string (free with
// free), possibly empty; null only when memory runs out. `text` is not read
// when count is 0.
char *xml_decode_trim(const char *text, std::size_t count);

// The same decoding and trimming into a reused buffer, which then holds
// exactly the result (cleared first). False, with the buffer empty, when it
// cannot hold the text.
bool xml_decode_trim_into(byte_buffer &out, const char *text, std::size_t count);

// Finds the first attribute called `name` (ASCII case-insensitive, same
// length) that has a value in the attribute region of a start tag and returns
// that value decoded and trimmed by xml_decode_trim, or null when there is
// none. Reads only the `count` bytes at `region`.
char *extract_attr(const char *region, std::size_t count, const char *name);

// The raw value span of that attribute (not decoded, inside the region);
// false when there is none.
bool find_attr(const char *region, std::size_t count, const char *name, const char **value,
               std::size_t *value_len);

// One attribute sought by find_attrs; name_len is strlen(name).
struct attr_query {
  const char *name;
  std::size_t name_len;
  const char *value;  // the raw value span, when found
  std::size_t value_len;
  bool found;
};

// Looks up several attributes in one pass over the region: each query gets
// what find_attr would give for its name.
void find_attrs(const char *region, std::size_t count, attr_query *queries, std::size_t n);

// A title cleaned for a playlist: trimmed, a bracketed 11-byte id at its end
// dropped, '_' and whitespace runs made one space. A new heap string ("" for
// a null title), or null when memory runs out.
char *clean_title(const char *title);

// Cleans a title as clean_title does, into a reused buffer (cleared
// first); a null title gives "". False, with the buffer empty, when it cannot
// hold the result.
bool clean_title_into(byte_buffer &out, const char *title);

}  // namespace lyrn
