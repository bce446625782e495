/* SPDX-License-Identifier: MIT */
/* A minimal C host: converts one feed file and prints the playlist document.
 * Usage: lyrn_c_host FEED.xml [FEED_URL] */
#include <stdio.h>
#include <stdlib.h>

#include "lyrn.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s FEED.xml [FEED_URL]\n", argv[0]);
    return 2;
  }
  FILE *f = fopen(argv[1], "rb");
  if (!f) {
    perror(argv[1]);
    return 1;
  }
  size_t cap = 1 << 16, len = 0;
  char *buf = malloc(cap);
  size_t got;
  while (buf && (got = fread(buf + len, 1, cap - len, f)) > 0) {
    len += got;
    if (len == cap) {
      char *grown = realloc(buf, cap *= 2);
      if (!grown) { free(buf); buf = NULL; break; }
      buf = grown;
    }
  }
  fclose(f);
  if (!buf) {
    fputs("out of memory\n", stderr);
    return 1;
  }
  /* An empty file is passed as the empty string: a length of 0 means NUL-terminated. */
  if (len == 0) buf[0] = '\0';
  char *json = lyrn_parse_feed_json(buf, len, argc > 2 ? argv[2] : NULL);
  free(buf);
  if (!json) {
    fprintf(stderr, "conversion failed: %s\n", lyrn_last_error());
    return 1;
  }
  puts(json);
  lyrn_free(json);
  return 0;
}
