/* SPDX-License-Identifier: MIT */
/* The least a host can do with one feed: map the file, convert it once,
   write the document and a line break to a file. bench/tool_memory.sh holds
   the tool's peak memory against this program's. */
#include <fcntl.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lyrn.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s FEED OUTPUT\n", argv[0]);
    return 2;
  }
  int fd = open(argv[1], O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || st.st_size == 0) return 1;
  void *map = mmap(NULL, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (map == MAP_FAILED) return 1;
  char *json = lyrn_parse_feed_json(map, (size_t)st.st_size, NULL);
  munmap(map, (size_t)st.st_size);
  close(fd);
  if (!json) return 1;
  FILE *out = fopen(argv[2], "wb");
  if (!out) return 1;
  fputs(json, out);
  fputc('\n', out);
  lyrn_free(json);
  return fclose(out) == 0 ? 0 : 1;
}
