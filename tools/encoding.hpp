// SPDX-License-Identifier: MIT
// The tool's --encoding values: the hosts' shared preparation reads them.
#ifndef LYRN_TOOLS_ENCODING_HPP
#define LYRN_TOOLS_ENCODING_HPP

#include <string>

#include "prepare.hpp"

namespace lyrn_tool {

using lyrn_host::encoding_choice;
using lyrn_host::parse_encoding_choice;

// True when iconv can convert from `name` to UTF-8.
inline bool iconv_knows(const std::string &name) { return lyrn_host::converter_knows(name); }

}  // namespace lyrn_tool

#endif
