// SPDX-License-Identifier: MIT
// What the peer converters share: the fields they extract, the rules that
// turn a finished item into a track (title fallback, artwork, duplicate
// stream URLs), and the yyjson writer of the playlist document. Only the XML
// side differs between peers; durations, dates and titles go through the
// library's own exports so that every converter reads them the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

namespace bench {

struct peer_track {
  std::string title;
  std::string artist;
  double duration = 0;
  std::string stream_url;
  std::string artwork_url;
  bool has_artwork = false;
  std::int64_t publish_timestamp = 0;
  std::int64_t byte_length = 0;
};

// A converted feed before it is written. Tracks live in a deque so that the
// duplicate set can keep views of their stream URLs.
struct peer_feed {
  std::string channel_name;
  std::string channel_artwork;
  std::deque<peer_track> tracks;
};

// The open item's fields while a peer walks it.
struct item_fields {
  std::string title;
  std::string author;
  std::string stream_url;
  std::string artwork;
  double duration = 0;
  std::int64_t publish_timestamp = 0;
  std::int64_t byte_length = 0;

  void reset();
};

// Which item element's text a streaming peer is collecting.
enum class field { none, title, author, duration, pub_date };

// Stores the collected text of an item element in its field (none: nothing).
void store_item_text(field f, std::string_view text, item_fields &item);

// Whitespace as the "C" locale has it: space, \t, \n, \v, \f, \r.
std::string_view trim(std::string_view s);

// Field readers shared by the peers; each takes the element's raw text.
double read_duration(std::string_view text);
std::int64_t read_date(std::string_view text);
std::int64_t read_length(std::string_view value);

// Collects the channel and the tracks as a peer reports them.
class feed_builder {
 public:
  // The first non-empty channel title wins.
  void channel_title(std::string_view text);
  // The last non-empty channel itunes:image href wins.
  void channel_image(std::string_view href);
  // An item closed: one track when its stream URL is new and not empty.
  void close_item(const item_fields &item);

  peer_feed take();

 private:
  peer_feed feed_;
  std::unordered_set<std::string_view> seen_;
};

// Writes the playlist document with yyjson: same members and order as the
// library's. Returns a malloc'd string, or nullptr when writing fails.
char *write_playlist(const peer_feed &feed, const char *feed_url);

}  // namespace bench
