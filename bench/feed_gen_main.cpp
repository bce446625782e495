// SPDX-License-Identifier: MIT
// Writes one of the benchmark's generated feeds to a file, so that programs
// outside lyrn_bench (the Python binding's benchmark) time the same bytes.
//
// Usage: lyrn_feed_gen rich BYTES FILE     a description-heavy feed of about BYTES
//        lyrn_feed_gen minimal ITEMS FILE  a feed of ITEMS title-and-enclosure items
// Prints the size and the item count. The seed is lyrn_bench's.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "feed_gen.hpp"

namespace {

constexpr std::uint64_t kSeed = 0x5EED1234ABCDull;

int usage(const char *argv0) {
  std::fprintf(stderr, "usage: %s rich BYTES FILE | minimal ITEMS FILE\n", argv0);
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) return usage(argv[0]);
  char *end = nullptr;
  unsigned long long n = std::strtoull(argv[2], &end, 10);
  if (end == argv[2] || *end != '\0' || n == 0) return usage(argv[0]);
  std::string feed;
  std::size_t items = 0;
  if (std::strcmp(argv[1], "rich") == 0) {
    feed = bench::make_rich_feed(static_cast<std::size_t>(n), kSeed, &items);
  } else if (std::strcmp(argv[1], "minimal") == 0) {
    items = static_cast<std::size_t>(n);
    feed = bench::make_minimal_feed(items, kSeed);
  } else {
    return usage(argv[0]);
  }
  FILE *f = std::fopen(argv[3], "wb");
  bool ok = f && std::fwrite(feed.data(), 1, feed.size(), f) == feed.size();
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[3]);
    return 1;
  }
  std::printf("%s: %zu bytes, %zu items\n", argv[3], feed.size(), items);
  return 0;
}
