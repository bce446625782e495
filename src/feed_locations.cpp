// PLACEHOLDER until the feed-locations module lands.
#include "feed_locations.hpp"
#include "lyrn.h"
namespace lyrn {
int is_safe_path_segment(const char *) { return 0; }
int ascii_strcasecmp(const char *, const char *) { return 0; }
}
extern "C" {
LYRN_API int32_t lyrn_validate_feed_url(const char *) { return -1; }
LYRN_API char *lyrn_build_user_feed_url(const char *, const char *, const char *) { return nullptr; }
LYRN_API char *lyrn_discover_slugs_json(const char *, size_t) { return nullptr; }
}
