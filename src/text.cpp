// PLACEHOLDER until the text module lands.
#include "text.hpp"
#include "lyrn.h"
#include <cstdlib>
#include <cstring>
namespace lyrn {
char *xml_decode_trim(const char *text, std::size_t count) { (void)text; (void)count; return static_cast<char *>(std::calloc(1, 1)); }
char *extract_attr(const char *region, std::size_t count, const char *name) { (void)region; (void)count; (void)name; return nullptr; }
}
extern "C" LYRN_API char *lyrn_clean_title(const char *title) { (void)title; return static_cast<char *>(std::calloc(1, 1)); }
