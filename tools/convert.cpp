// SPDX-License-Identifier: MIT
#include "convert.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lyrn.h"
#include "utf8.hpp"

namespace lyrn_tool {
namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Counts start tags named `name` (any letter case) as the library cuts them:
// '<', optional whitespace, the name, then whitespace, '>' or "/>". Stops
// at `enough`. End tags, comments and declarations never match.
std::size_t count_start_tags(const std::string &b, const char *name, std::size_t enough) {
  const std::size_t n = std::strlen(name);
  std::size_t count = 0;
  for (std::size_t i = b.find('<'); i != std::string::npos && count < enough; i = b.find('<', i + 1)) {
    std::size_t j = i + 1;
    while (j < b.size() && is_space(b[j])) ++j;
    if (b.size() - j <= n) break;
    std::size_t k = 0;
    while (k < n && ascii_lower(b[j + k]) == name[k]) ++k;
    if (k < n) continue;
    const char after = b[j + n];
    if (is_space(after) || after == '>' || (after == '/' && j + n + 1 < b.size() && b[j + n + 1] == '>'))
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

std::string where(const std::string &text, std::size_t offset) {
  const text_position pos = position_of(text, offset);
  return "byte offset " + std::to_string(pos.offset) + " (line " + std::to_string(pos.line) +
         ", column " + std::to_string(pos.column) + ")";
}

// Why the library wrote no document for text that held no message: the
// first thing in the input that its writer refuses, else the number.
// Positions count in the text as handed over, so a transcoded input says so.
std::string why_not_written(const std::string &text, const std::string &from, const char *what,
                            const char *url, bool feed) {
  const std::string in_text = from.empty() ? "" : " of the text transcoded from " + from;
  std::size_t at;
  unsigned long code;
  if (find_invalid_utf8(text, &at)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(text[at]));
    return std::string("the ") + what + " is not UTF-8: invalid sequence at " + where(text, at) +
           in_text + ", byte " + hex + "; name its encoding with --encoding, or use --repair";
  }
  if (feed && find_surrogate_reference(text, &at, &code)) {
    char cp[16];
    std::snprintf(cp, sizeof cp, "U+%04lX", code);
    return std::string("the character reference at ") + where(text, at) + in_text + " stands for " + cp +
           ", a surrogate that UTF-8 cannot hold; use --repair";
  }
  std::string url_text = url ? url : "";
  if (find_invalid_utf8(url_text, &at)) return "the --url value is not valid UTF-8";
  if (feed) return "a track duration or the total duration is not finite, and JSON has no such number";
  return std::string("the ") + what + " could not be written";
}

// Transcoding and repair, shared by both inputs. False when the bytes cannot
// be turned into UTF-8.
bool prepare(const std::string &label, std::string *bytes, const convert_options &options,
             convert_result *result, std::string *from) {
  std::string warning, error;
  if (!to_utf8(bytes, options.encoding, from, &warning, &error)) {
    result->messages.push_back(label + ": " + error);
    return false;
  }
  if (!warning.empty() && !options.quiet) result->messages.push_back(label + ": warning: " + warning);
  if (options.repair) {
    const std::size_t replaced = repair_utf8(bytes);
    if (replaced && !options.quiet)
      result->messages.push_back(label + ": warning: " + std::to_string(replaced) +
                                 (replaced == 1 ? " invalid sequence" : " invalid sequences") +
                                 " replaced with U+FFFD");
  }
  return true;
}

void warn_about_feed(const std::string &label, const std::string &bytes, convert_result *result) {
  if (bytes.empty()) {
    result->messages.push_back(label + ": warning: the input is empty");
    return;
  }
  if (count_start_tags(bytes, "rss", 1) == 0 && count_start_tags(bytes, "channel", 1) == 0) {
    const bool gzip = bytes.size() >= 2 && bytes[0] == '\x1F' && bytes[1] == '\x8B';
    const char *hint = gzip ? "the input is gzip-compressed; decompress it first"
                       : count_start_tags(bytes, "feed", 1) ? "an Atom feed? Only RSS is read"
                                                            : "is this an RSS feed?";
    result->messages.push_back(label + ": warning: no <rss> or <channel> start tag: " + hint);
  }
  if (result->tracks == 0) {
    const std::size_t items = count_start_tags(bytes, "item", static_cast<std::size_t>(-1));
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
  std::string bytes(data, size);
  std::string from;
  if (!prepare(label, &bytes, options, result, &from)) return;
  // The exact byte count goes in, so a NUL is an ordinary byte. An empty
  // input is "" with length 0, which the library reads as the same thing.
  char *json = lyrn_parse_feed_json(bytes.c_str(), bytes.size(), options.url);
  if (!json) {
    const char *why = lyrn_last_error();
    result->messages.push_back(label + ": " + (*why ? why : why_not_written(bytes, from, "feed", options.url, true)));
    return;
  }
  result->json.reset(json);
  result->tracks = track_count(json);
  result->ok = true;
  if (!options.quiet) warn_about_feed(label, bytes, result);
}

void convert_listing(const std::string &label, const char *data, std::size_t size,
                     const convert_options &options, convert_result *result) {
  std::string bytes(data, size);
  std::string from;
  if (!prepare(label, &bytes, options, result, &from)) return;
  char *json = lyrn_discover_slugs_json(bytes.c_str(), bytes.size());
  if (!json) {
    const char *why = lyrn_last_error();
    result->messages.push_back(label + ": " + (*why ? why : why_not_written(bytes, from, "listing", nullptr, false)));
    return;
  }
  result->json.reset(json);
  result->ok = true;
}

}  // namespace lyrn_tool
