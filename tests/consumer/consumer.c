/* SPDX-License-Identifier: MIT */
/* A tiny consumer of the installed library. */
#include <lyrn.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  char *json = lyrn_parse_feed_json("<rss/>", 0, "https://example.com/u/all/feed.xml");
  int ok = json && strstr(json, "\"name\":\"all\"") != NULL && lyrn_abi_version() == 1;
  if (json) puts(json);
  lyrn_free(json);
  return ok ? 0 : 1;
}
