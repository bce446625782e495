// SPDX-License-Identifier: MIT
// Feed locations: feed URL checks, the per-user feed URL and slug discovery.
// The exports are lyrn_validate_feed_url, lyrn_build_user_feed_url and
// lyrn_discover_slugs_json.
#pragma once

namespace lyrn {

// 1 when `segment` can stand as one directory name in a URL path: not null,
// not empty, not "." or "..", and no control byte, space, '#', '%', '/', '?',
// '\\' or DEL. 0 otherwise.
int is_safe_path_segment(const char *segment);

// Compares two NUL-terminated strings with A-Z folded to a-z: 0 when equal,
// else the difference of the folded bytes where they first differ.
int ascii_strcasecmp(const char *a, const char *b);

}  // namespace lyrn
