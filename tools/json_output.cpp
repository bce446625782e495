// SPDX-License-Identifier: MIT
#include "json_output.hpp"

#include <cstring>
#include <memory>

namespace lyrn_tool {
namespace {

// Collects output in a fixed block and hands it to stdio a block at a time.
class block_writer {
 public:
  explicit block_writer(std::FILE *out) : out_(out), block_(new char[kBlock]) {}
  void put(char c) {
    if (used_ == kBlock) flush();
    block_[used_++] = c;
  }
  void put(const char *text, std::size_t n) {
    while (n) {
      if (used_ == kBlock) flush();
      std::size_t take = kBlock - used_;
      if (take > n) take = n;
      std::memcpy(block_.get() + used_, text, take);
      used_ += take;
      text += take;
      n -= take;
    }
  }
  void newline_and_indent(std::size_t depth) {
    put('\n');
    for (std::size_t i = 0; i < depth; ++i) put("    ", 4);
  }
  bool flush() {
    if (used_ && ok_) ok_ = std::fwrite(block_.get(), 1, used_, out_) == used_;
    used_ = 0;
    return ok_;
  }

 private:
  static constexpr std::size_t kBlock = 65536;
  std::FILE *out_;
  std::unique_ptr<char[]> block_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

void write_indented(block_writer *w, const char *json, std::size_t size) {
  std::size_t depth = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = json[i];
    if (in_string) {
      // Copy the string up to its closing quote in one piece.
      std::size_t j = i;
      while (j < size && json[j] != '"' && json[j] != '\\') ++j;
      w->put(json + i, j - i);
      if (j == size) return;
      if (json[j] == '\\') {
        w->put(json + j, j + 1 < size ? 2 : 1);
        i = j + 1;
        continue;
      }
      w->put('"');
      in_string = false;
      i = j;
      continue;
    }
    switch (c) {
      case '"':
        w->put(c);
        in_string = true;
        break;
      case '{':
      case '[': {
        const char close = c == '{' ? '}' : ']';
        if (i + 1 < size && json[i + 1] == close) {  // empty: stays on one line
          w->put(c);
          w->put(close);
          ++i;
          break;
        }
        w->put(c);
        w->newline_and_indent(++depth);
        break;
      }
      case '}':
      case ']':
        if (depth) --depth;
        w->newline_and_indent(depth);
        w->put(c);
        break;
      case ',':
        w->put(c);
        w->newline_and_indent(depth);
        break;
      case ':':
        w->put(": ", 2);
        break;
      default:
        w->put(c);
    }
  }
}

}  // namespace

bool write_document(std::FILE *out, const char *json, std::size_t size, bool pretty) {
  if (!pretty) {
    return std::fwrite(json, 1, size, out) == size && std::fputc('\n', out) != EOF;
  }
  block_writer w(out);
  write_indented(&w, json, size);
  w.put('\n');
  return w.flush();
}

}  // namespace lyrn_tool
