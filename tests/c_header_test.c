/* SPDX-License-Identifier: MIT */
/* Compiled as C99: the public header must be valid C, and its version macros
 * must agree with what the library reports at run time. */
#include "lyrn.h"

#include <stdio.h>
#include <string.h>

int main(void) {
  char expected[32];
  snprintf(expected, sizeof expected, "%d.%d.%d", LYRN_VERSION_MAJOR, LYRN_VERSION_MINOR,
           LYRN_VERSION_PATCH);
  if (strcmp(lyrn_version(), expected) != 0) {
    fprintf(stderr, "version %s, header says %s\n", lyrn_version(), expected);
    return 1;
  }
  if (lyrn_abi_version() != LYRN_VERSION_MAJOR) {
    fprintf(stderr, "ABI %d, header major %d\n", (int)lyrn_abi_version(), LYRN_VERSION_MAJOR);
    return 1;
  }
  char *json = lyrn_parse_feed_json("", 0, NULL);
  if (!json || strcmp(lyrn_last_error(), "") != 0) {
    fprintf(stderr, "conversion of an empty feed failed\n");
    return 1;
  }
  lyrn_free(json);
  puts("c header ok");
  return 0;
}
