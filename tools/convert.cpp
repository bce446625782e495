// SPDX-License-Identifier: MIT
#include "convert.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ascii.hpp"
#include "lyrn.h"
#include "prepare.hpp"

namespace lyrn_tool {
namespace {

using lyrn::ascii_is_space;
using lyrn::ascii_lower;

// Counts start tags named `name` (any letter case) as the library cuts them:
// '<', optional whitespace, the name, then whitespace, '>' or "/>". Stops
// at `enough`. End tags, comments and declarations never match.
std::size_t count_start_tags(const char *b, std::size_t size, const char *name, std::size_t enough) {
  const std::size_t n = std::strlen(name);
  std::size_t count = 0;
  for (std::size_t i = 0; i < size && count < enough; ++i) {
    const void *lt = std::memchr(b + i, '<', size - i);
    if (!lt) break;
    i = static_cast<std::size_t>(static_cast<const char *>(lt) - b);
    std::size_t j = i + 1;
    while (j < size && ascii_is_space(b[j])) ++j;
    if (size - j <= n) break;
    std::size_t k = 0;
    while (k < n && ascii_lower(b[j + k]) == name[k]) ++k;
    if (k < n) continue;
    const char after = b[j + n];
    if (ascii_is_space(after) || after == '>' || (after == '/' && j + n + 1 < size && b[j + n + 1] == '>'))
      ++count;
  }
  return count;
}

// The playlist's "trackCount". Strings before it have their quotes escaped,
// so the first match is the member itself.
std::size_t track_count(const char *json) {
  const char *p = std::strstr(json, "\"trackCount\":");
  return p ? std::strtoull(p + 13, nullptr, 10) : 0;
}

// One line for a refused conversion: the code, then what the shared
// diagnosis says, then what to try with this tool's options.
std::string failure_line(const std::string &label, const lyrn_host::failure &f) {
  std::string line = label + ": " + f.code;
  if (f.message == f.code) return line;  // the library's own texts say it all
  if (f.about_url) return line + ": the --url value is not valid UTF-8";
  line += ": " + f.message;
  if (f.code == lyrn_host::kInvalidUtf8) line += "; name its encoding with --encoding, or use --repair";
  else if (f.code == lyrn_host::kSurrogateReference) line += "; use --repair";
  return line;
}

// Transcoding, reference pairs and repair, shared by both inputs. False
// when the bytes cannot be turned into UTF-8.
bool prepare(const std::string &label, const char *data, std::size_t size, const convert_options &options,
             convert_result *result, lyrn_host::prepared_text *text) {
  lyrn_host::prepare_options how;
  how.encoding = options.encoding;
  how.repair = options.repair;
  lyrn_host::failure why;
  if (!lyrn_host::prepare(data, size, how, text, &why)) {
    result->messages.push_back(failure_line(label, why));
    return false;
  }
  if (!text->warning.empty() && !options.quiet) result->messages.push_back(label + ": warning: " + text->warning);
  if (text->repaired && !options.quiet)
    result->messages.push_back(label + ": warning: " + std::to_string(text->repaired) +
                               (text->repaired == 1 ? " invalid sequence" : " invalid sequences") +
                               " replaced with U+FFFD");
  return true;
}

// The reason for a null result: the library's last error, else the cause
// the diagnosis finds in the text.
std::string refusal(const std::string &label, const lyrn_host::prepared_text &text, const char *url,
                    lyrn_host::document_kind kind) {
  const char *why = lyrn_last_error();
  if (*why) return label + ": " + why;
  return failure_line(label, lyrn_host::diagnose(text, url, kind));
}

void warn_about_feed(const std::string &label, const char *bytes, std::size_t size, convert_result *result) {
  if (size == 0) {
    result->messages.push_back(label + ": warning: the input is empty");
    return;
  }
  if (count_start_tags(bytes, size, "rss", 1) == 0 && count_start_tags(bytes, size, "channel", 1) == 0) {
    const bool gzip = size >= 2 && bytes[0] == '\x1F' && bytes[1] == '\x8B';
    const char *hint = gzip ? "the input is gzip-compressed; decompress it first"
                       : count_start_tags(bytes, size, "feed", 1) ? "an Atom feed? Only RSS is read"
                                                            : "is this an RSS feed?";
    result->messages.push_back(label + ": warning: no <rss> or <channel> start tag: " + hint);
  }
  if (result->tracks == 0) {
    const std::size_t items = count_start_tags(bytes, size, "item", static_cast<std::size_t>(-1));
    if (items)
      result->messages.push_back(label + ": warning: " + std::to_string(items) +
                                 (items == 1 ? " <item> tag" : " <item> tags") +
                                 " but no tracks: each track needs an <enclosure url=\"...\"> inside <item>...</item>");
  }
}

}  // namespace

void library_text::reset(char *text) {
  lyrn_free(data_);
  data_ = text;
  size_ = text ? std::strlen(text) : 0;
}

void convert_feed(const std::string &label, const char *data, std::size_t size,
                  const convert_options &options, convert_result *result) {
  lyrn_host::prepared_text text;
  if (!prepare(label, data, size, options, result, &text)) return;
  // The exact byte count goes in, so a NUL is an ordinary byte. An empty
  // input is "" with length 0, which the library reads as the same thing.
  char *json = lyrn_parse_feed_json(text.data, text.size, options.url);
  if (!json) {
    result->messages.push_back(refusal(label, text, options.url, lyrn_host::document_kind::feed));
    return;
  }
  result->json.reset(json);
  result->tracks = track_count(json);
  result->ok = true;
  if (!options.quiet) warn_about_feed(label, text.data, text.size, result);
}

void convert_listing(const std::string &label, const char *data, std::size_t size,
                     const convert_options &options, convert_result *result) {
  lyrn_host::prepared_text text;
  if (!prepare(label, data, size, options, result, &text)) return;
  char *json = lyrn_discover_slugs_json(text.data, text.size);
  if (!json) {
    result->messages.push_back(refusal(label, text, nullptr, lyrn_host::document_kind::listing));
    return;
  }
  result->json.reset(json);
  result->ok = true;
}

}  // namespace lyrn_tool
