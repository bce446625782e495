// SPDX-License-Identifier: MIT
// Source encodings for the tool: finding a feed's encoding from its byte
// order mark or XML declaration, and transcoding to UTF-8 with iconv. The
// library reads UTF-8 only; this is the host's half of that bargain.
#ifndef LYRN_TOOLS_ENCODING_HPP
#define LYRN_TOOLS_ENCODING_HPP

#include <string>

namespace lyrn_tool {

// What --encoding asked for.
struct encoding_choice {
  enum mode_t { detect, forced, none } mode = detect;
  std::string name;  // the forced encoding
};

// Reads an --encoding value: "auto", "none" or an encoding name.
encoding_choice parse_encoding_choice(const std::string &value);

// True when iconv can convert from `name` to UTF-8.
bool iconv_knows(const std::string &name);

// Turns *bytes into UTF-8 as the choice says. Returns false with a one-line
// message (naming the encoding and the byte offset) when the encoding is
// unknown or the bytes are invalid in it. *warning is set (and the bytes
// kept) when the declaration contradicts the bytes. *from names the source
// encoding when the bytes were transcoded, else is left empty.
bool to_utf8(std::string *bytes, const encoding_choice &choice, std::string *from,
             std::string *warning, std::string *error);

}  // namespace lyrn_tool

#endif
