// SPDX-License-Identifier: MIT
// The playlist builder: it owns the yyjson document, the set of stream URLs
// already taken and the name fallback. The item rules hand it finished
// tracks; it keeps the first track of each stream URL and writes the
// document. Also the feed conversion behind lyrn_parse_feed_json.
#pragma once

#include <yyjson.h>

#include <cstddef>

#include "feed_scan.hpp"
#include "string_set.hpp"

namespace lyrn {

class playlist_builder {
 public:
  playlist_builder();
  playlist_builder(const playlist_builder &) = delete;
  playlist_builder &operator=(const playlist_builder &) = delete;
  ~playlist_builder();

  // False when the document could not be created: nothing can be added.
  bool ready() const { return tracks_ != nullptr; }

  // Adds a finished track unless an earlier one took its stream URL (the
  // first wins; URLs compare byte for byte). False when memory ran out: the
  // playlist is then incomplete and will not be written.
  bool add(const feed_track &track);

  // Writes the document with the channel's members in front of the tracks:
  // the channel name, else the folder named by the feed URL, else
  // "Playlist". A new heap string, or null when anything is missing or
  // cannot be written.
  char *write(const char *channel_name, const char *channel_artwork_url, const char *feed_url);

  // The builder as the receiver of a scan's tracks.
  track_sink sink() { return {&add_to, this}; }

 private:
  static bool add_to(void *builder, const feed_track &track) {
    return static_cast<playlist_builder *>(builder)->add(track);
  }

  yyjson_mut_doc *doc_;
  yyjson_mut_val *tracks_ = nullptr;
  std::size_t count_ = 0;
  double total_duration_ = 0;  // of the positive durations, in track order
  bool complete_ = true;
  string_set taken_;  // the document's copies of the stream URLs so far
};

// The feed conversion: the first `length` bytes of the feed (0: up to its
// NUL) into a playlist document. A null feed sets "null xml" and gives null;
// every other return clears the last error.
char *parse_feed_json(const char *feed, std::size_t length, const char *feed_url);

}  // namespace lyrn
