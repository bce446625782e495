// SPDX-License-Identifier: MIT
// The per-thread last-error text written by the three exports that report a
// reason. Each message is defined once here.
#pragma once

namespace lyrn {

constexpr const char kErrNullXml[] = "null xml";
constexpr const char kErrNullHtml[] = "null html";
constexpr const char kErrInvalidBaseUrl[] = "invalid base_url";
constexpr const char kErrInvalidUserId[] = "invalid user_id";
constexpr const char kErrInvalidSlug[] = "invalid slug";
constexpr const char kErrOutOfMemory[] = "out of memory";

// Writes a whole message with its NUL into the calling thread's text.
void set_last_error(const char *message);
// Makes the calling thread's text the empty string.
void clear_last_error();

}  // namespace lyrn
