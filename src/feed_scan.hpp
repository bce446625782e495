// SPDX-License-Identifier: MIT
// Feed conversion, scan step: the channel and item rules that turn the
// markup scanner's events over one feed's bytes into finished tracks and a
// feed_summary.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lyrn {

// One playlist entry, handed over when its item closes. The strings are views
// into the scan's buffers, valid only during the hand-over; the artist is ""
// when the item names none and the artwork is null when there is none.
struct feed_track {
  const char *title;
  const char *artist;
  double duration;
  const char *stream_url;  // never empty
  const char *artwork_url;
  std::int64_t publish_timestamp;
  std::int64_t byte_length;  // never negative
};

// Receives every finished track in the order its item closed; it decides
// what becomes of it. `add` returns false when the receiver ran out of
// memory (the scan then notes it).
struct track_sink {
  bool (*add)(void *context, const feed_track &track);
  void *context;
};

// What the scan found about the channel. The receiver owns both strings
// (malloc) and releases them with release_feed_summary.
struct feed_summary {
  char *channel_name;         // null or owned; "" counts as absent
  char *channel_artwork_url;  // null or owned, non-empty
  bool out_of_memory;         // some text, value or track was lost for lack of memory
};

void release_feed_summary(feed_summary &summary);

// Scans the first `length` bytes of a feed (length > 0), handing every track
// to `sink` as its item closes, and returns what it found about the channel.
// When memory runs out (here or in the sink) it stops at once and says so in
// out_of_memory: what it handed over is then incomplete.
feed_summary collect_feed_summary(const char *feed, std::size_t length, track_sink sink);

}  // namespace lyrn
