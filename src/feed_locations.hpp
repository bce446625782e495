// SPDX-License-Identifier: MIT
// Feed locations: feed URL checks, the per-user feed URL and slug discovery,
// behind lyrn_validate_feed_url, lyrn_build_user_feed_url and
// lyrn_discover_slugs_json.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ascii.hpp"  // ascii_strcasecmp

namespace lyrn {

// 1 when `segment` can stand as one directory name in a URL path: not null,
// not empty, not "." or "..", and no control byte, space, '#', '%', '/', '?',
// '\\' or DEL. 0 otherwise.
int is_safe_path_segment(const char *segment);

// 0 when url is an http or https URL with a host part of at most 255 bytes
// and no control byte, space or DEL anywhere; -1 otherwise.
std::int32_t validate_feed_url(const char *url);

// base_url (trailing '/' dropped) + "/" + user_id + "/" + slug + "/feed.xml"
// as a new heap string, clearing the last error; null with the reason in the
// last error when an argument is rejected or memory runs out.
char *build_user_feed_url(const char *base_url, const char *user_id, const char *slug);

// The slugs of the directory listing (html_len 0: up to its NUL) as a JSON
// array; null with "null html" for a null listing of non-zero length, null
// with the last error cleared when the array cannot be built or written.
char *discover_slugs_json(const char *html, std::size_t html_len);

}  // namespace lyrn
