// SPDX-License-Identifier: MIT
// Batches: many feeds converted on several threads, one DIR/NAME.json each,
// with a progress line on a terminal and a summary at the end.
#ifndef LYRN_TOOLS_BATCH_HPP
#define LYRN_TOOLS_BATCH_HPP

#include <cstddef>
#include <string>
#include <vector>

#include "convert.hpp"

namespace lyrn_tool {

struct batch_options {
  std::string dir;
  unsigned jobs = 1;
  bool pretty = false;
  std::size_t input_limit = 0;  // the largest input read, in bytes
  convert_options convert;  // its `quiet` also silences progress and summary
};

// The NAME of DIR/NAME.json for an input: its file name without the
// directory and without its last extension ("a/b.tar.xml" gives "b.tar");
// a leading dot is no extension. Empty when the path names no file.
std::string output_name(const std::string &path);

// DIR/NAME.json for an input.
std::string output_path(const std::string &dir, const std::string &path);

// Converts every file; messages for each file come out in input order.
// Each output is whole or absent (output_file.hpp); a stop signal ends the
// batch with no partial file left. Returns 0 when all were written, 1 when
// any failed or the folder could not be made.
int run_batch(const std::vector<std::string> &files, const batch_options &options);

}  // namespace lyrn_tool

#endif
