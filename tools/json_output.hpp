// SPDX-License-Identifier: MIT
// Writing a document the library returned: as it is, or indented on the way
// out. The library writes compact JSON (no whitespace outside strings), so
// indenting is one pass over its text; no second document is built.
#ifndef LYRN_TOOLS_JSON_OUTPUT_HPP
#define LYRN_TOOLS_JSON_OUTPUT_HPP

#include <cstddef>
#include <cstdio>

namespace lyrn_tool {

// Writes `json` (compact, `size` bytes) to `out`, indented by four spaces a
// level with "key": value members when `pretty`, then a line break. False
// when a write fails (errno says why).
bool write_document(std::FILE *out, const char *json, std::size_t size, bool pretty);

}  // namespace lyrn_tool

#endif
