// SPDX-License-Identifier: MIT
// UTF-8 checks for the tool: where the first invalid sequence stands, and a
// repair that replaces every invalid sequence with U+FFFD. Valid means what
// the library's JSON writer accepts: shortest forms only, no surrogates,
// nothing above U+10FFFF.
#ifndef LYRN_TOOLS_UTF8_HPP
#define LYRN_TOOLS_UTF8_HPP

#include <cstddef>
#include <string>

namespace lyrn_tool {

// A place in a text: a 0-based byte offset, a 1-based line (LF, CR LF and a
// lone CR end a line) and a 1-based column counted in characters.
struct text_position {
  std::size_t offset = 0;
  std::size_t line = 1;
  std::size_t column = 1;
};

// The position of byte `offset` of `text`, counted from its start.
text_position position_of(const std::string &text, std::size_t offset);

// Finds the first invalid UTF-8 sequence; false when there is none.
bool find_invalid_utf8(const std::string &text, std::size_t *offset);

// Finds the first numeric character reference that the library would decode
// into a surrogate (U+D800 to U+DFFF), which no UTF-8 text may hold; false
// when there is none. Sets the offset of its '&' and its code point.
bool find_surrogate_reference(const std::string &text, std::size_t *offset, unsigned long *code);

// Replaces every invalid UTF-8 sequence (each maximal invalid part, as
// Unicode recommends) and every surrogate reference with U+FFFD. Returns how
// many were replaced; the text is untouched when that is 0.
std::size_t repair_utf8(std::string *text);

}  // namespace lyrn_tool

#endif
