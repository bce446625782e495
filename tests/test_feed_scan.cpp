// SPDX-License-Identifier: MIT
// The markup scanner's events and the channel and item rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "feed_markup.hpp"
#include "feed_scan.hpp"
#include "lyrn.h"
#include "test_util.hpp"
#include "text.hpp"

namespace {

using lyrn_test::exact_block;

// Records every event as "<name attrs" or "/name=text" (text decoded).
struct recorder {
  std::vector<std::string> events;
  std::vector<std::string> raw_texts;  // the end tags' texts as collected
  std::size_t stop_after = SIZE_MAX;  // the handler says stop at this event
  bool start_tag(const char *name, size_t len, const char *attrs, size_t attrs_len) {
    events.push_back("<" + std::string(name, len) + "|" + std::string(attrs, attrs_len));
    return events.size() < stop_after;
  }
  bool end_tag(const char *name, size_t len, const lyrn::collected_text &text) {
    raw_texts.emplace_back(text.data, text.size);
    char *decoded = lyrn::xml_decode_trim(text.data, text.size);
    events.push_back("/" + std::string(name, len) + "=" + lyrn_test::str_or(decoded));
    std::free(decoded);
    return events.size() < stop_after;
  }
};

std::string scan(const std::string &input) {
  exact_block block(input);
  recorder r;
  lyrn::scan_feed_markup(block.data(), block.size(), r);
  std::string out;
  for (const auto &e : r.events) out += (out.empty() ? "" : " ") + e;
  return out;
}

TEST(Scanner, Events) {
  struct {
    const char *input;
    const char *events;
  } cases[] = {
      {"<title>abc</title>", "<title| /title=abc"},
      {"\xEF\xBB\xBF  <a>x</a>", "<a| /a=x"},  // leading text never reaches an event
      {"<title>A<b>B</b>C</title>", "<title| <b| /b=B /title=C"},
      {"<title>A<!-- x -->B</title>", "<title| /title=AB"},
      {"<title>A<![CDATA[&amp;]]>B</title>", "<title| /title=A&B"},
      {"<t>x<![CDATA[a]]>y</t>", "<t| /t=xay"},
      {"<t><![CDATA[]]></t>", "<t| /t="},
      {"<t><![CDATA[<b>&lt;</b>]]></t>", "<t| /t=<b><</b>"},
      {"<t>a<!---->b</t>", "<t| /t=ab"},
      {"<t>a<!-->b-->c</t>", "<t| /t=ac"},  // the opener's dashes do not close it
      {"<?xml version='1.0'?><!DOCTYPE rss><a/>", "<a|"},
      {"<?pi a='>'?>tail</x>", "/x='?>tail"},  // a PI ends at its first '>'
      {"<enclosure url='a>b' length='1'>", "<enclosure| url='a>b' length='1'"},
      {"<a x=\"'>\" y='\">'>t</a>", "<a| x=\"'>\" y='\">' /a=t"},
      {"<item/>", "<item|"},
      {"<br/>", "<br|"},
      {"<img src='x'/>", "<img| src='x'"},
      {"< item>", "<item|"},
      {"</ title>", "/title="},
      {"<title foo>", "<title| foo"},
      {"<a=b/c\"d\">", "<a=b/c\"d\"|"},  // only whitespace ends a name
      {"x<>y</a>", "/a=y"},
      {"x< >y</a>", "/a=y"},
      {"x</>y</a>", "/a=y"},
      {"<a>1 &lt; 2</a>", "<a| /a=1 < 2"},
      {"<a>\n  spaced  \n</a>", "<a| /a=spaced"},
  };
  // A comment in front changes no event but moves every construct across the
  // boundaries of the wide searches' 16-byte steps.
  lyrn_test::for_each_markup_search([&] {
    for (const auto &c : cases) {
      for (std::size_t shift = 0; shift <= 33; ++shift) {
        const std::string input = (shift ? "<!--" + std::string(shift, '.') + "-->" : "") + c.input;
        SCOPED_TRACE(input);
        EXPECT_EQ(scan(input), c.events);
      }
    }
  });
}

// Long names, attribute regions, texts, comments and CDATA sections, where
// the wide searches take several steps or hand over to memchr.
TEST(Scanner, LongConstructs) {
  const std::string name40 = "itunes:" + std::string(33, 'n');
  const std::string attrs = " href='" + std::string(70, 'h') + "' length=\"" + std::string(20, '>') + "\"";
  const std::string text = std::string(100, 't');
  struct {
    std::string input;
    std::string events;
  } cases[] = {
      {"<" + name40 + ">" + text + "</" + name40 + ">", "<" + name40 + "| /" + name40 + "=" + text},
      {"<" + name40 + attrs + "/>", "<" + name40 + "|" + attrs},
      {"<" + name40 + "\v" + "x>", "<" + name40 + "|\vx"},
      {"<" + name40 + "\f" + "x>", "<" + name40 + "|\fx"},
      {"<" + name40 + "\x85" + "x\x1c>", "<" + name40 + "\x85x\x1c|"},  // no whitespace outside ASCII
      {"<a>" + text + "<!--" + text + "-" + text + "--" + text + "-->" + text + "</a>", "<a| /a=" + text + text},
      {"<a><![CDATA[" + text + "]" + text + "]]" + text + "]]>" + text + "</a>",
       "<a| /a=" + text + "]" + text + "]]" + text + text},
      {"<?pi " + text + "?>" + "<!DOCTYPE " + text + ">" + "<b " + text + "/>", "<b| " + text},
  };
  lyrn_test::for_each_markup_search([&] {
    for (const auto &c : cases) {
      SCOPED_TRACE(c.input);
      EXPECT_EQ(scan(c.input), c.events);
    }
  });
}

// The wide searches against the portable one on inputs made of the bytes
// that matter to the scanner: every family must report the same events.
TEST(Scanner, EveryFamilyReportsTheSameEvents) {
  const char *const pieces[] = {"<", ">", "/", "'", "\"", "!", "?", "-", "--", "[", "]", "]]", "<![CDATA[",
                                "<!--", "-->", "]]>", " ", "\t", "\n", "\r", "\v", "\f", "\x1f", "\x80",
                                "\xff", "" /* a NUL */, "a", "title", "item", "=", "&amp;",
                                "0123456789abcdef"};
  std::uint64_t state = 0x5eed;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::size_t>(state >> 33);
  };
  for (int round = 0; round < 3000; ++round) {
    std::string input;
    const std::size_t count = 1 + next() % 40;
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t which = next() % (sizeof pieces / sizeof pieces[0]);
      if (*pieces[which])
        input += pieces[which];
      else
        input += '\0';
    }
    std::vector<std::string> seen;
    lyrn_test::for_each_markup_search([&] { seen.push_back(scan(input)); });
    for (const std::string &events : seen) ASSERT_EQ(events, seen.front()) << "input #" << round;
  }
}

TEST(Scanner, UnfinishedConstructsEndTheScanQuietly) {
  struct {
    const char *input;
    const char *events;
  } cases[] = {
      {"<title>abc</title", "<title|"},
      {"<a>x</a><!-- open", "<a| /a=x"},
      {"<a>x<![CDATA[open</a>", "<a|"},
      {"<a>x</a><!DOCTYPE open", "<a| /a=x"},
      {"<a>x</a><?pi open", "<a| /a=x"},
      {"<a>x</a><b c='open>", "<a| /a=x"},
      {"<a>x</a><", "<a| /a=x"},
      {"<a>x</a><!-", "<a| /a=x"},  // a cut comment opener is a declaration without '>'
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(scan(c.input), c.events);
  }
}

// A handler that says stop gets no further event, whichever kind it was.
TEST(Scanner, AHandlerCanStopTheScan) {
  const std::string input = "<a>x</a><b/><c>y</c><d/>";
  exact_block block(input);
  for (std::size_t stop = 1; stop <= 5; ++stop) {
    SCOPED_TRACE(stop);
    recorder r;
    r.stop_after = stop;
    EXPECT_FALSE(lyrn::scan_feed_markup(block.data(), block.size(), r));
    EXPECT_EQ(r.events.size(), stop);
  }
  recorder all;
  EXPECT_TRUE(lyrn::scan_feed_markup(block.data(), block.size(), all));
  EXPECT_EQ(all.events.size(), 6u);
}

TEST(Scanner, NulIsAnOrdinaryByteAndTheCountBoundsTheScan) {
  const std::string with_nul("<a>x\0y<!---->z</a><b/>", 22);
  exact_block nul_block(with_nul);
  recorder nul_events;
  lyrn::scan_feed_markup(nul_block.data(), nul_block.size(), nul_events);
  EXPECT_EQ(nul_events.events, (std::vector<std::string>{"<a|", "/a=x", "<b|"}));  // decoded text ends at the NUL
  EXPECT_EQ(nul_events.raw_texts, (std::vector<std::string>{std::string("x\0yz", 4)}));
  // Bytes beyond the count would finish the construct but are never read.
  const std::string full = "<a>x</a><b>";
  exact_block block(full);
  recorder r;
  lyrn::scan_feed_markup(block.data(), full.size() - 1, r);
  EXPECT_EQ(r.events, (std::vector<std::string>{"<a|", "/a=x"}));
}

// Converts a feed with a null feed URL and returns its "tracks" text.
std::string convert(const std::string &feed) {
  exact_block block(feed);
  lyrn_test::owned_str json(lyrn_parse_feed_json(block.data(), block.size(), nullptr));
  return lyrn_test::str_or(json.get());
}

std::string track(const char *title, const char *artist, const char *duration, const char *url,
                  const char *artwork, const char *published, const char *length) {
  std::string art = artwork ? std::string("\"") + artwork + "\"" : "null";
  return std::string("{\"title\":\"") + title + "\",\"artist\":\"" + artist + "\",\"duration\":" +
         duration + ",\"streamURL\":\"" + url + "\",\"artworkURL\":" + art +
         ",\"publishTimestamp\":" + published + ",\"byteLength\":" + length + "}";
}

std::string tracks_of(const std::string &doc) {
  size_t at = doc.find("\"tracks\":[");
  return at == std::string::npos ? doc : doc.substr(at + 10, doc.size() - at - 12);
}

TEST(FeedRules, Items) {
  struct {
    const char *feed;
    std::string tracks;
  } cases[] = {
      {"<rss><item><enclosure url='u1'/></item></rss>", track("u1", "", "0.0", "u1", nullptr, "0", "0")},
      // An item opened inside an open one discards the first.
      {"<item><title>A</title><enclosure url='a.mp3'/><item><title>B</title><enclosure url='b.mp3'/></item>",
       track("B", "", "0.0", "b.mp3", nullptr, "0", "0")},
      {"<item><title>A</title></item><item><enclosure url=''/></item><item><enclosure/></item>", ""},
      {"<item><enclosure url='a'/></item><item><enclosure url='a'/></item><item><enclosure url='A'/></item>",
       track("a", "", "0.0", "a", nullptr, "0", "0") + "," + track("A", "", "0.0", "A", nullptr, "0", "0")},
      {"<item><enclosure url='a' length='100'/><enclosure length='-3'/></item>",
       track("a", "", "0.0", "a", nullptr, "0", "0")},
      {"<item><enclosure url='a' length='100'/><enclosure url='b'/></item>",
       track("b", "", "0.0", "b", nullptr, "0", "100")},
      {"<item><enclosure url='a' length='12abc'/></item>", track("a", "", "0.0", "a", nullptr, "0", "12")},
      {"<item><enclosure length='7'/><enclosure url='a'/></item>", track("a", "", "0.0", "a", nullptr, "0", "7")},
      {"<item><enclosure url='a' length='99999999999999999999'/></item>",
       track("a", "", "0.0", "a", nullptr, "0", "9223372036854775807")},
      {"<item><title>A</title><title></title><enclosure url='/x/Song_Name.mp3'/></item>",
       track("Song Name", "", "0.0", "/x/Song_Name.mp3", nullptr, "0", "0")},
      {"<item><author></author><itunes:author>X</itunes:author><author>Y</author><enclosure url='a'/></item>",
       track("a", "X", "0.0", "a", nullptr, "0", "0")},
      {"<ITEM><Title>T</Title><PubDate>Tue, 02 Jan 2024 10:00:00 GMT</PubDate>"
       "<ITUNES:DURATION>3:44</ITUNES:DURATION><Enclosure URL='a'/></ITEM>",
       track("T", "", "224.0", "a", nullptr, "1704189600", "0")},
      {"<item><itunes:duration>1</itunes:duration><itunes:duration>x</itunes:duration><enclosure url='a'/></item>",
       track("a", "", "0.0", "a", nullptr, "0", "0")},
      // Only A-Z fold: bytes one bit away from a rule name's letters or ':' are other names.
      {"<item><title>T</title><\xD4itle>X</\xD4itle><itunes\x1a" "duration>5</itunes\x1a" "duration>"
       "<pub\xC4" "ate>Tue, 02 Jan 2024 10:00:00 GMT</pub\xC4" "ate><itunes:duratio\x0e>7</itunes:duratio\x0e>"
       "<enclosure url='a'/></item>",
       track("T", "", "0.0", "a", nullptr, "0", "0")},
      // Names that merely contain a rule's name do not count.
      {"<item><media:title>M</media:title><itunes:title>I</itunes:title><enclosure url='a.b'/></item>",
       track("a", "", "0.0", "a.b", nullptr, "0", "0")},
      // An item still open at the end gives no track.
      {"<item><enclosure url='a'/></item><item><enclosure url='b'/>", track("a", "", "0.0", "a", nullptr, "0", "0")},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.feed);
    EXPECT_EQ(tracks_of(convert(c.feed)), c.tracks);
  }
}

TEST(FeedRules, TitleFromTheStreamUrl) {
  struct {
    const char *url;
    const char *title;
  } cases[] = {
      {"/a/Song_Name.mp3", "Song Name"}, {"/a/archive.tar.gz", "archive.tar"}, {"/a/.hidden", ".hidden"},
      {"/a/", "Track"},                  {"noslash.mp3", "noslash"},          {"/a/file?v=1.5", "file?v=1"},
      {"/a/__.mp3", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.url);
    std::string doc = convert(std::string("<item><enclosure url='") + c.url + "'/></item>");
    EXPECT_NE(doc.find(std::string("{\"title\":\"") + c.title + "\","), std::string::npos) << doc;
  }
}

TEST(FeedRules, ChannelNameAndArtwork) {
  struct {
    const char *feed;
    const char *head;  // the document up to "tracks"
  } cases[] = {
      {"<channel><title></title><title>B</title><title>C</title></channel>",
       R"({"name":"B","feedURL":"","artworkURL":null,)"},
      {"<channel><image><title>Logo</title></image><title>Show</title></channel>",
       R"({"name":"Logo","feedURL":"","artworkURL":null,)"},
      {"<title>Outside</title><channel></channel><title>After</title>",
       R"({"name":"Playlist","feedURL":"","artworkURL":null,)"},
      {"<channel/><title>Open</title>", R"({"name":"Open","feedURL":"","artworkURL":null,)"},
      {"<channel><itunes:image href='a'/><itunes:image href=''/><itunes:image/></channel>",
       R"({"name":"Playlist","feedURL":"","artworkURL":"a",)"},
      {"<itunes:image href='outside'/><channel></channel>", R"({"name":"Playlist","feedURL":"","artworkURL":null,)"},
      // A channel end tag inside an item leaves in-channel set.
      {"<channel><item></channel></item><title>Late</title>", R"({"name":"Late","feedURL":"","artworkURL":null,)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.feed);
    std::string doc = convert(c.feed);
    EXPECT_EQ(doc.substr(0, std::string(c.head).size()), c.head) << doc;
  }
}

TEST(FeedRules, TrackArtworkFallsBackToTheChannelArtworkKnownAtClose) {
  std::string doc = convert(
      "<channel><item><enclosure url='1'/></item><itunes:image href='ch'/>"
      "<item><enclosure url='2'/></item>"
      "<item><itunes:image href='own'/><itunes:image href=''/><enclosure url='3'/></item>"
      "<item><itunes:image href=''/><enclosure url='4'/></item></channel>");
  EXPECT_EQ(tracks_of(doc), track("1", "", "0.0", "1", nullptr, "0", "0") + "," +
                                track("2", "", "0.0", "2", "ch", "0", "0") + "," +
                                track("3", "", "0.0", "3", "own", "0", "0") + "," +
                                track("4", "", "0.0", "4", "ch", "0", "0"));
}

TEST(FeedRules, TotalsCountOnlyPositiveDurations) {
  std::string doc = convert(
      "<item><itunes:duration>3:44</itunes:duration><enclosure url='a'/></item>"
      "<item><itunes:duration>90.5</itunes:duration><enclosure url='b'/></item>"
      "<item><itunes:duration>0</itunes:duration><enclosure url='c'/></item>"
      "<item><itunes:duration>-1</itunes:duration><enclosure url='d'/></item>");
  EXPECT_NE(doc.find(R"("trackCount":4,"totalDuration":314.5,)"), std::string::npos) << doc;
}

TEST(FeedRules, InvalidUtf8MakesTheDocumentNullWithAnEmptyLastError) {
  lyrn_parse_feed_json(nullptr, 0, nullptr);
  const std::string feed = "<item><title>bad \xFF byte</title><enclosure url='a'/></item>";
  EXPECT_EQ(lyrn_parse_feed_json(feed.c_str(), feed.size(), nullptr), nullptr);
  EXPECT_STREQ(lyrn_last_error(), "");
}

// Collects the tracks handed over by the scan, keeping its own copies.
struct collected_tracks {
  std::vector<std::string> urls;
  std::vector<std::string> titles;
  std::size_t refuse_from = SIZE_MAX;  // the track from which add() reports running out of memory
  static bool add(void *context, const lyrn::feed_track &t) {
    auto &self = *static_cast<collected_tracks *>(context);
    self.titles.emplace_back(t.title);
    self.urls.emplace_back(t.stream_url);
    return self.urls.size() <= self.refuse_from;
  }
};

// The rules hand over every item that closes with a stream URL, repeats
// included, in order; which of them the playlist keeps is not theirs to say.
TEST(FeedRules, EveryClosedItemIsHandedOverInOrder) {
  std::string feed;
  for (int i = 0; i < 3000; ++i)
    feed += "<item><title>t" + std::to_string(i) + "</title><enclosure url='u" + std::to_string(i % 1000) +
            "'/></item>";
  collected_tracks got;
  lyrn::feed_summary s = lyrn::collect_feed_summary(feed.data(), feed.size(), {&collected_tracks::add, &got});
  EXPECT_FALSE(s.out_of_memory);
  ASSERT_EQ(got.urls.size(), 3000u);
  for (size_t i = 0; i < got.urls.size(); ++i) {
    ASSERT_EQ(got.urls[i], "u" + std::to_string(i % 1000));
    ASSERT_EQ(got.titles[i], "t" + std::to_string(i));
  }
  lyrn::release_feed_summary(s);

  // A receiver out of memory stops the scan at that track.
  collected_tracks refusing;
  refusing.refuse_from = 3;
  s = lyrn::collect_feed_summary(feed.data(), feed.size(), {&collected_tracks::add, &refusing});
  EXPECT_TRUE(s.out_of_memory);
  EXPECT_EQ(refusing.urls.size(), 4u);
  lyrn::release_feed_summary(s);
}

}  // namespace
