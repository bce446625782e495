// SPDX-License-Identifier: MIT
// The export frame: every extern "C" function of the library, the version
// queries, lyrn_free and the per-thread last error. Each export hands over to
// an internal function at once; nothing inside the library calls an export,
// so a host's symbol of the same name can never take over an internal call.
#include "lyrn.h"

#include <cstdlib>
#include <cstring>

#include "feed_locations.hpp"
#include "last_error.hpp"
#include "playlist.hpp"
#include "selftest.hpp"
#include "text.hpp"
#include "time_values.hpp"

namespace lyrn {
namespace {

#define LYRN_STR_(x) #x
#define LYRN_STR(x) LYRN_STR_(x)
// The runtime version, spelled from the header's macros so the two cannot drift.
constexpr const char kVersion[] =
    LYRN_STR(LYRN_VERSION_MAJOR) "." LYRN_STR(LYRN_VERSION_MINOR) "." LYRN_STR(LYRN_VERSION_PATCH);
constexpr int kErrCapacity = 256;

// Zero-filled on each thread's first use, so it reads as "" until written.
thread_local char g_last_err[kErrCapacity];

}  // namespace

void set_last_error(const char *message) {
  std::size_t n = std::strlen(message);
  if (n >= kErrCapacity) n = kErrCapacity - 1;
  std::memcpy(g_last_err, message, n);
  g_last_err[n] = '\0';
}

void clear_last_error() { g_last_err[0] = '\0'; }

}  // namespace lyrn

extern "C" {

LYRN_API const char *lyrn_version(void) { return lyrn::kVersion; }

LYRN_API int32_t lyrn_abi_version(void) { return LYRN_VERSION_MAJOR; }

LYRN_API void lyrn_free(void *ptr) { std::free(ptr); }

LYRN_API const char *lyrn_last_error(void) { return lyrn::g_last_err; }

LYRN_API char *lyrn_parse_feed_json(const char *feed, size_t feed_len, const char *feed_url) {
  return lyrn::parse_feed_json(feed, feed_len, feed_url);
}

LYRN_API double lyrn_parse_duration(const char *text) { return lyrn::parse_duration(text); }

LYRN_API int32_t lyrn_format_duration(double seconds, char *buf, size_t buf_size) {
  return lyrn::format_duration(seconds, buf, buf_size);
}

LYRN_API int64_t lyrn_parse_rfc2822_date(const char *text) { return lyrn::parse_rfc2822_date(text); }

LYRN_API char *lyrn_clean_title(const char *title) { return lyrn::clean_title(title); }

LYRN_API int32_t lyrn_validate_feed_url(const char *url) { return lyrn::validate_feed_url(url); }

LYRN_API char *lyrn_build_user_feed_url(const char *base_url, const char *user_id, const char *slug) {
  return lyrn::build_user_feed_url(base_url, user_id, slug);
}

LYRN_API char *lyrn_discover_slugs_json(const char *html, size_t html_len) {
  return lyrn::discover_slugs_json(html, html_len);
}

LYRN_API int32_t lyrn_selftest(void) { return lyrn::selftest(); }

}  // extern "C"
