// SPDX-License-Identifier: MIT
// The peer converters: each parses a whole feed with a general XML parser,
// extracts what the library extracts and writes the same playlist document.
#pragma once

#include <cstddef>

#include "peer_common.hpp"

namespace bench {

// Parses the feed into a pugixml DOM, then walks rss/channel/item.
peer_feed extract_pugixml(const char *feed, std::size_t len);
char *convert_pugixml(const char *feed, std::size_t len, const char *feed_url);

// libxml2's SAX2 interface over the whole buffer.
void init_libxml2();
char *convert_libxml2(const char *feed, std::size_t len, const char *feed_url);

// One XML_Parse call over the whole buffer, without namespace processing.
char *convert_expat(const char *feed, std::size_t len, const char *feed_url);

}  // namespace bench
