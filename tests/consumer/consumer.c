/* SPDX-License-Identifier: MIT */
/* A tiny host of the library: one conversion, checked. */
#include <lyrn.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  static const char feed[] =
      "<rss><channel><title>Host Check</title><item><title>One</title>"
      "<enclosure url=\"https://media.example.com/one.mp3\" length=\"10\"/></item></channel></rss>";
  char *json = lyrn_parse_feed_json(feed, sizeof feed - 1, "https://example.com/u/all/feed.xml");
  int ok = json && strstr(json, "\"name\":\"Host Check\"") && strstr(json, "\"trackCount\":1") &&
           lyrn_abi_version() == LYRN_VERSION_MAJOR;
  if (json) puts(json);
  lyrn_free(json);
  return ok ? 0 : 1;
}
