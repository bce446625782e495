/* SPDX-License-Identifier: MIT */
/* Compiled as C99: the public header must be valid C, and a C program links
 * and calls the library through it. */
#include "lyrn.h"

#include <stdio.h>
#include <string.h>

int main(void) {
  char buf[8];
  char *json = lyrn_parse_feed_json("", 0, NULL);
  if (!json || strcmp(lyrn_last_error(), "") != 0) {
    fprintf(stderr, "conversion of an empty feed failed\n");
    return 1;
  }
  lyrn_free(json);
  if (lyrn_format_duration(224.0, buf, sizeof buf) != 4 || strcmp(buf, "3:44") != 0) {
    fprintf(stderr, "formatting 224 seconds gave '%s'\n", buf);
    return 1;
  }
  puts("c header ok");
  return 0;
}
