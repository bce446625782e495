// SPDX-License-Identifier: MIT
// A second, deliberately plain feed conversion used to check
// lyrn_parse_feed_json: a literal walk of the scanner steps and the channel
// and item rules with owned strings, the tracks collected first and the
// playlist document built from them afterwards. It shares no code with the
// library's scanner, rules, writer, entity decoding, attribute lookup, title
// cleaning or duration reading: it has its own plain versions of each. The
// one library function it calls is lyrn_parse_rfc2822_date, whose two date
// forms and their edge cases test_time_values holds against fixed answers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace lyrn_ref {

// What lyrn_parse_feed_json gives for the same arguments: the JSON text, or
// nothing where the library returns null (a null feed, a document the writer
// refuses). feed_len 0 means the feed is NUL-terminated.
std::optional<std::string> reference_feed_json(const char *feed, std::size_t feed_len,
                                               const char *feed_url);

}  // namespace lyrn_ref
