// Feed conversion, scan step: the tolerant markup scanner and the channel and
// item rules that turn one feed's bytes into a feed_summary.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lyrn {

// One playlist entry. Strings are owned (malloc). The artist is null when the
// item names none (written as ""); title and stream URL are null only after
// an allocation failure; artwork is null when absent.
struct feed_track {
  char *title;
  char *artist;
  double duration;
  char *stream_url;
  char *artwork_url;
  std::int64_t publish_timestamp;
  std::int64_t byte_length;
};

// What the scan found: the channel and the tracks in the order their items
// closed. The receiver owns every block and releases it with
// release_feed_summary (or piece by piece).
struct feed_summary {
  char *channel_name;         // null or owned; "" counts as absent
  char *channel_artwork_url;  // null or owned, non-empty
  feed_track *tracks;         // null until the first track
  std::size_t count;
  std::size_t capacity;
};

// Frees a track's four strings and makes them null.
void release_feed_track(feed_track &track);
// Frees everything the summary owns and empties it.
void release_feed_summary(feed_summary &summary);

// Scans the first `length` bytes of a feed (length > 0) and returns what it
// found. Never fails as a whole: at worst the summary holds fewer tracks.
feed_summary collect_feed_summary(const char *feed, std::size_t length);

}  // namespace lyrn
