// SPDX-License-Identifier: MIT
// File names as diagnostics print them: one diagnostic stays one line and no
// control byte reaches the terminal.
#ifndef LYRN_TOOLS_DISPLAY_HPP
#define LYRN_TOOLS_DISPLAY_HPP

#include <string>

namespace lyrn_tool {

// `name` with each control byte (below 0x20, and 0x7F) written as an escape:
// \n, \r, \t, else \xHH. Everything else, UTF-8 included, is kept.
std::string display_name(const std::string &name);

}  // namespace lyrn_tool

#endif
