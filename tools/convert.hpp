// SPDX-License-Identifier: MIT
// One conversion as the tool does it: bytes in, transcoded to UTF-8, maybe
// repaired, handed to the library, and the result or the reason for its
// absence out, with warnings about inputs that are likely not what the user
// meant. Shared by the one-file commands and the batches; prints nothing.
#ifndef LYRN_TOOLS_CONVERT_HPP
#define LYRN_TOOLS_CONVERT_HPP

#include <cstddef>
#include <string>
#include <vector>

#include "encoding.hpp"

namespace lyrn_tool {

struct convert_options {
  encoding_choice encoding;
  bool repair = false;
  bool pretty = false;
  bool quiet = false;             // no warnings
  const char *url = nullptr;      // the feed URL handed to the library
};

struct convert_result {
  bool ok = false;
  std::string output;                 // what to print or write: JSON and a line break
  std::vector<std::string> messages;  // lines for standard error, without "lyrn: "
  std::size_t tracks = 0;
};

// Reads a whole file, or standard input when path is null or "-", as bytes
// (NUL bytes kept). False with the system's reason when it cannot.
bool read_input(const char *path, std::string *out, std::string *error);

// Converts a feed; `label` names the input in messages.
void convert_feed(const std::string &label, std::string bytes, const convert_options &options,
                  convert_result *result);

// Lists the slugs of a directory listing; `label` names the input in messages.
void convert_listing(const std::string &label, std::string bytes, const convert_options &options,
                     convert_result *result);

}  // namespace lyrn_tool

#endif
