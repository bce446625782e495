// SPDX-License-Identifier: MIT
// The expat peer: one XML_Parse call over the whole buffer. Without namespace
// processing names arrive as written ("itunes:image"), as the library sees them.
#include <expat.h>

#include <climits>
#include <cstring>

#include "peers.hpp"

namespace bench {
namespace {

struct expat_state {
  feed_builder out;
  item_fields item;
  bool in_channel = false;
  bool in_item = false;
  field collecting = field::none;
  std::string text;
};

const char *find_attr(const XML_Char **attrs, const char *key) {
  for (; attrs[0]; attrs += 2)
    if (std::strcmp(attrs[0], key) == 0) return attrs[1];
  return nullptr;
}

void XMLCALL on_start(void *user, const XML_Char *name, const XML_Char **attrs) {
  auto &st = *static_cast<expat_state *>(user);
  st.collecting = field::none;
  if (std::strcmp(name, "item") == 0) {
    st.item.reset();
    st.in_item = true;
  } else if (std::strcmp(name, "channel") == 0) {
    st.in_channel = true;
  } else if (st.in_item) {
    if (std::strcmp(name, "title") == 0) {
      st.collecting = field::title;
    } else if (std::strcmp(name, "itunes:author") == 0 || std::strcmp(name, "author") == 0) {
      st.collecting = field::author;
    } else if (std::strcmp(name, "itunes:duration") == 0) {
      st.collecting = field::duration;
    } else if (std::strcmp(name, "pubDate") == 0) {
      st.collecting = field::pub_date;
    } else if (std::strcmp(name, "enclosure") == 0) {
      const char *url = find_attr(attrs, "url");
      if (url && !trim(url).empty()) st.item.stream_url = trim(url);
      if (const char *length = find_attr(attrs, "length")) st.item.byte_length = read_length(length);
    } else if (std::strcmp(name, "itunes:image") == 0) {
      const char *href = find_attr(attrs, "href");
      if (href && !trim(href).empty()) st.item.artwork = trim(href);
    }
  } else if (st.in_channel) {
    if (std::strcmp(name, "title") == 0) {
      st.collecting = field::title;
    } else if (std::strcmp(name, "itunes:image") == 0) {
      if (const char *href = find_attr(attrs, "href")) st.out.channel_image(href);
    }
  }
  st.text.clear();
}

void XMLCALL on_end(void *user, const XML_Char *name) {
  auto &st = *static_cast<expat_state *>(user);
  field f = st.collecting;
  st.collecting = field::none;
  if (st.in_item) {
    if (f != field::none) {
      store_item_text(f, st.text, st.item);
    } else if (std::strcmp(name, "item") == 0) {
      st.in_item = false;
      st.out.close_item(st.item);
    }
  } else if (st.in_channel) {
    if (f == field::title)
      st.out.channel_title(st.text);
    else if (std::strcmp(name, "channel") == 0)
      st.in_channel = false;
  }
}

void XMLCALL on_text(void *user, const XML_Char *s, int len) {
  auto &st = *static_cast<expat_state *>(user);
  if (st.collecting != field::none) st.text.append(s, static_cast<std::size_t>(len));
}

}  // namespace

char *convert_expat(const char *feed, std::size_t len, const char *feed_url) {
  if (len > static_cast<std::size_t>(INT_MAX)) return nullptr;
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) return nullptr;
  expat_state st;
  XML_SetUserData(parser, &st);
  XML_SetElementHandler(parser, on_start, on_end);
  XML_SetCharacterDataHandler(parser, on_text);
  XML_Parse(parser, feed, static_cast<int>(len), 1);
  XML_ParserFree(parser);
  return write_playlist(st.out.take(), feed_url);
}

}  // namespace bench
