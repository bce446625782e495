// SPDX-License-Identifier: MIT
// Output files that are whole or absent. Each is written under a temporary
// name beside its final one (".NAME.lyrn-XXXXXX", made by mkstemp), flushed
// to the disk and renamed over the final name only when complete, so that
// neither a failed write nor an interruption leaves a partial file under the
// final name or damages what stood there before. rename replaces a symbolic
// link standing under the final name; it never writes through one.
//
// A batch also turns SIGINT, SIGTERM and SIGHUP into an orderly stop: every
// temporary file is removed, one line says how many outputs were finished,
// and the tool exits with 128 plus the signal's number.
#ifndef LYRN_TOOLS_OUTPUT_FILE_HPP
#define LYRN_TOOLS_OUTPUT_FILE_HPP

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace lyrn_tool {

class output_file {
 public:
  output_file() = default;
  output_file(const output_file &) = delete;
  output_file &operator=(const output_file &) = delete;
  ~output_file() { discard(); }

  // Creates the temporary file beside `final_path`. False with a message
  // naming the final file when it cannot.
  bool open(const std::string &final_path, std::string *error);
  std::FILE *stream() { return stream_; }
  // Flushes and syncs the temporary file and renames it over the final
  // name. On failure the temporary file is removed, whatever stood under
  // the final name stays as it was, and *error names the final file.
  bool commit(std::string *error);
  // Removes the temporary file, if any.
  void discard();

 private:
  std::string final_path_, temp_path_;
  std::FILE *stream_ = nullptr;
};

// True when `name` (a file name, no folder) is a temporary file of ours for
// one of `outputs` (final file names, no folder).
bool is_temporary_for(const std::string &name, const std::vector<std::string> &outputs);

// Removes the temporaries that an earlier run killed without warning left in
// `dir` for these output names (only those, so other files stay).
void remove_stale_temporaries(const std::string &dir, const std::vector<std::string> &outputs);

// Creates `dir` and every missing folder above it, as `mkdir -p` does.
// False with a one-line message when it cannot, or when a part of the path
// is not a folder.
bool make_dirs(const std::string &dir, std::string *error);

// Starts turning SIGINT, SIGTERM and SIGHUP into the orderly stop described
// above, for a batch of `total` outputs. Call before starting any thread:
// the signals are blocked in every thread but one that waits for them.
void start_interrupt_watch(std::size_t total);

}  // namespace lyrn_tool

#endif
