// SPDX-License-Identifier: MIT
// The DOM peer: pugixml parses the whole feed, then the tree is walked in
// document order so that channel artwork applies only to later items, as it
// does in a one-pass reader.
#include <pugixml.hpp>

#include <cstring>

#include "peers.hpp"

namespace bench {
namespace {

bool named(const pugi::xml_node &n, const char *name) { return std::strcmp(n.name(), name) == 0; }

void read_item(const pugi::xml_node &node, item_fields &item) {
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    const char *name = c.name();
    if (std::strcmp(name, "title") == 0) {
      item.title = trim(c.child_value());
    } else if (std::strcmp(name, "itunes:author") == 0 || std::strcmp(name, "author") == 0) {
      if (item.author.empty()) item.author = trim(c.child_value());
    } else if (std::strcmp(name, "itunes:duration") == 0) {
      item.duration = read_duration(c.child_value());
    } else if (std::strcmp(name, "pubDate") == 0) {
      item.publish_timestamp = read_date(c.child_value());
    } else if (std::strcmp(name, "enclosure") == 0) {
      std::string_view url = trim(c.attribute("url").value());
      if (!url.empty()) item.stream_url = url;
      pugi::xml_attribute length = c.attribute("length");
      if (length) item.byte_length = read_length(length.value());
    } else if (std::strcmp(name, "itunes:image") == 0) {
      std::string_view href = trim(c.attribute("href").value());
      if (!href.empty()) item.artwork = href;
    }
  }
}

}  // namespace

peer_feed extract_pugixml(const char *feed, std::size_t len) {
  pugi::xml_document doc;
  doc.load_buffer(feed, len, pugi::parse_default, pugi::encoding_utf8);
  feed_builder out;
  item_fields item;
  for (pugi::xml_node channel : doc.child("rss").children("channel")) {
    for (pugi::xml_node c = channel.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      if (named(c, "item")) {
        item.reset();
        read_item(c, item);
        out.close_item(item);
      } else if (named(c, "title")) {
        out.channel_title(c.child_value());
      } else if (named(c, "itunes:image")) {
        out.channel_image(c.attribute("href").value());
      }
    }
  }
  return out.take();
}

char *convert_pugixml(const char *feed, std::size_t len, const char *feed_url) {
  return write_playlist(extract_pugixml(feed, len), feed_url);
}

}  // namespace bench
