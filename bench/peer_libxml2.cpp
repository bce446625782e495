// SPDX-License-Identifier: MIT
// The libxml2 peer: SAX2 callbacks over the whole buffer. Entities are
// substituted (XML_PARSE_NOENT) so attribute values arrive decoded.
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <climits>
#include <cstring>

#include "peers.hpp"

namespace bench {
namespace {


struct sax_state {
  feed_builder out;
  item_fields item;
  bool in_channel = false;
  bool in_item = false;
  field collecting = field::none;
  std::string text;
};

bool eq(const xmlChar *a, const char *b) { return std::strcmp(reinterpret_cast<const char *>(a), b) == 0; }

// The element's qualified name is matched as written, like the other readers:
// no prefix for the plain RSS names, "itunes" for the podcast names.
bool is(const xmlChar *prefix, const xmlChar *local, const char *want_prefix, const char *want_local) {
  if (want_prefix == nullptr) return prefix == nullptr && eq(local, want_local);
  return prefix != nullptr && eq(prefix, want_prefix) && eq(local, want_local);
}

// SAX2 attributes come as 5 pointers each: local name, prefix, URI, value, end.
std::string_view find_attr(int count, const xmlChar **attrs, const char *key) {
  for (int i = 0; i < count; ++i, attrs += 5) {
    if (attrs[1] == nullptr && eq(attrs[0], key))
      return std::string_view(reinterpret_cast<const char *>(attrs[3]),
                              static_cast<std::size_t>(attrs[4] - attrs[3]));
  }
  return {};
}

bool has_attr(int count, const xmlChar **attrs, const char *key) {
  for (int i = 0; i < count; ++i, attrs += 5)
    if (attrs[1] == nullptr && eq(attrs[0], key)) return true;
  return false;
}

void on_start(void *user, const xmlChar *local, const xmlChar *prefix, const xmlChar *, int,
              const xmlChar **, int nb_attrs, int, const xmlChar **attrs) {
  auto &st = *static_cast<sax_state *>(user);
  st.collecting = field::none;
  if (is(prefix, local, nullptr, "item")) {
    st.item.reset();
    st.in_item = true;
  } else if (is(prefix, local, nullptr, "channel")) {
    st.in_channel = true;
  } else if (st.in_item) {
    if (is(prefix, local, nullptr, "title")) {
      st.collecting = field::title;
    } else if (is(prefix, local, "itunes", "author") || is(prefix, local, nullptr, "author")) {
      st.collecting = field::author;
    } else if (is(prefix, local, "itunes", "duration")) {
      st.collecting = field::duration;
    } else if (is(prefix, local, nullptr, "pubDate")) {
      st.collecting = field::pub_date;
    } else if (is(prefix, local, nullptr, "enclosure")) {
      std::string_view url = trim(find_attr(nb_attrs, attrs, "url"));
      if (!url.empty()) st.item.stream_url = url;
      if (has_attr(nb_attrs, attrs, "length"))
        st.item.byte_length = read_length(find_attr(nb_attrs, attrs, "length"));
    } else if (is(prefix, local, "itunes", "image")) {
      std::string_view href = trim(find_attr(nb_attrs, attrs, "href"));
      if (!href.empty()) st.item.artwork = href;
    }
  } else if (st.in_channel) {
    if (is(prefix, local, nullptr, "title"))
      st.collecting = field::title;
    else if (is(prefix, local, "itunes", "image"))
      st.out.channel_image(find_attr(nb_attrs, attrs, "href"));
  }
  st.text.clear();
}

void on_end(void *user, const xmlChar *local, const xmlChar *prefix, const xmlChar *) {
  auto &st = *static_cast<sax_state *>(user);
  field f = st.collecting;
  st.collecting = field::none;
  if (st.in_item) {
    if (f != field::none) {
      store_item_text(f, st.text, st.item);
    } else if (is(prefix, local, nullptr, "item")) {
      st.in_item = false;
      st.out.close_item(st.item);
    }
  } else if (st.in_channel) {
    if (f == field::title)
      st.out.channel_title(st.text);
    else if (is(prefix, local, nullptr, "channel"))
      st.in_channel = false;
  }
}

void on_text(void *user, const xmlChar *s, int len) {
  auto &st = *static_cast<sax_state *>(user);
  if (st.collecting != field::none)
    st.text.append(reinterpret_cast<const char *>(s), static_cast<std::size_t>(len));
}

// Parse errors are not this benchmark's business; keep stderr quiet.
void on_error(void *, const char *, ...) {}

}  // namespace

void init_libxml2() { xmlInitParser(); }

char *convert_libxml2(const char *feed, std::size_t len, const char *feed_url) {
  if (len > static_cast<std::size_t>(INT_MAX)) return nullptr;
  xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(feed, static_cast<int>(len));
  if (!ctxt) return nullptr;
  sax_state st;
  xmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  sax.initialized = XML_SAX2_MAGIC;
  sax.startElementNs = on_start;
  sax.endElementNs = on_end;
  sax.characters = on_text;
  sax.ignorableWhitespace = on_text;
  sax.cdataBlock = on_text;
  sax.warning = on_error;
  sax.error = on_error;
  *ctxt->sax = sax;
  ctxt->userData = &st;
  xmlCtxtUseOptions(ctxt, XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_HUGE);
  xmlParseDocument(ctxt);
  ctxt->userData = ctxt;  // so that freeing the context touches nothing of ours
  xmlFreeParserCtxt(ctxt);
  return write_playlist(st.out.take(), feed_url);
}

}  // namespace bench
