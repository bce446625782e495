// SPDX-License-Identifier: MIT
// Feed locations: the feed URL check, path segments, the per-user feed URL and
// slug discovery.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <set>
#include <string>
#include <vector>

#include "feed_locations.hpp"
#include "lyrn.h"
#include "test_util.hpp"

using lyrn_test::exact_block;
using lyrn_test::owned_str;

namespace {

// Leaves a message in this thread's last error, to see whether a call keeps
// or replaces it.
void set_some_last_error() {
  lyrn_discover_slugs_json(nullptr, 1);
  ASSERT_STREQ(lyrn_last_error(), "null html");
}

// Discovery over exactly the given bytes (explicit length, no NUL after them).
std::string discover(const std::string &bytes) {
  exact_block block(bytes);
  owned_str json(lyrn_discover_slugs_json(block.data(), block.size()));
  return lyrn_test::str_or(json.get());
}

// Discovery over a NUL-terminated text (length 0).
std::string discover_cstr(const char *text) {
  owned_str json(lyrn_discover_slugs_json(text, 0));
  return lyrn_test::str_or(json.get());
}

std::string build(const char *base, const char *user, const char *slug) {
  owned_str url(lyrn_build_user_feed_url(base, user, slug));
  return lyrn_test::str_or(url.get());
}

// ---- Feed URL check --------------------------------------------------------

struct url_case {
  std::string url;
  int32_t expected;
};

TEST(ValidateFeedUrl, AcceptsAndRejects) {
  const std::string a255(255, 'a');
  const std::string a256(256, 'a');
  const url_case cases[] = {
      {"https://feeds.example.org/music/u/all/feed.xml", 0},
      {"http://a", 0},
      {"HTTPS://A", 0},
      {"Http://a", 0},
      {"hTtPs://a/", 0},
      {"https://a?q", 0},  // '?' and '#' later in the authority are not parsed
      {"https://a#f", 0},
      {"https://user@host:8080/x?y=1#z", 0},
      {"https://a//b", 0},
      {"https://\xc3\xa9t\xc3\xa9.example/\xff\x80", 0},  // bytes >= 0x80 allowed
      {"https://" + a255, 0},
      {"https://" + a255 + "/path", 0},
      {"https://" + a256, -1},
      {"https://" + a256 + "/path", -1},
      {"http://" + a255, 0},
      {"http://" + a256, -1},
      {"", -1},
      {"ftp://a", -1},
      {"https:/a", -1},
      {"https:a", -1},
      {"https//a", -1},
      {"http", -1},
      {"h", -1},
      {"httpx://a", -1},
      {" https://a", -1},
      {"https://", -1},
      {"http://", -1},
      {"https:///a", -1},
      {"https://#a", -1},
      {"https://?a", -1},
      {"https:// a", -1},
      {"https://a b", -1},
      {"https://a/b c", -1},
      {"https://a\t", -1},
      {"https://a/\n", -1},
      {"https://a/\r", -1},
      {"https://a/\x01", -1},
      {"https://a/\x1f", -1},
      {"https://a/\x7f", -1},
      {"https://a\x7f/", -1},
  };
  for (const url_case &c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(lyrn_validate_feed_url(c.url.c_str()), c.expected);
  }
  EXPECT_EQ(lyrn_validate_feed_url(nullptr), -1);
}

// A short text is compared only up to its NUL: "http" in an exact block of
// five bytes (with its NUL) must not be read past.
TEST(ValidateFeedUrl, ShortTextsAreNotReadPastTheirEnd) {
  for (const char *text : {"h", "http", "https", "https:/", "http:/"}) {
    SCOPED_TRACE(text);
    exact_block block(std::string(text) + '\0');
    EXPECT_EQ(lyrn_validate_feed_url(block.data()), -1);
  }
}

// ---- Path segments ---------------------------------------------------------

TEST(PathSegment, SafeAndUnsafe) {
  const struct {
    const char *segment;
    int safe;
  } cases[] = {
      {"user-123", 1}, {"all", 1},        {"...", 1},      {".hidden", 1}, {"a..b", 1},
      {"a.", 1},       {"a:b", 1},        {"a'b", 1},      {"a\"b", 1},    {"\xc3\xa9t\xc3\xa9", 1},
      {"\xff", 1},     {"~x", 1},         {"", 0},         {".", 0},       {"..", 0},
      {"../etc", 0},   {"a b", 0},        {"a%20b", 0},    {"a#b", 0},     {"a?b", 0},
      {"a\\b", 0},     {"a/b", 0},        {"\x01", 0},     {"a\x1f", 0},   {"\t", 0},
      {"a\x7f", 0},    {" ", 0},          {"a\n", 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.segment);
    EXPECT_EQ(lyrn::is_safe_path_segment(c.segment), c.safe);
  }
  EXPECT_EQ(lyrn::is_safe_path_segment(nullptr), 0);
}

// ---- Per-user feed URL -----------------------------------------------------

struct build_case {
  const char *base;
  const char *user;
  const char *slug;
  const char *url;    // null when the build fails
  const char *error;  // the last error afterwards
};

TEST(BuildUserFeedUrl, ResultsAndFailureOrder) {
  const char *kFeed = "https://feeds.example.org/music/user-123/all/feed.xml";
  const build_case cases[] = {
      {"https://feeds.example.org/music", "user-123", "all", kFeed, ""},
      {"https://feeds.example.org/music/", "user-123", "all", kFeed, ""},
      {"https://feeds.example.org/music///", "user-123", "all", kFeed, ""},
      {"https://h", "u", "s", "https://h/u/s/feed.xml", ""},
      {"https://h/", "u", "s", "https://h/u/s/feed.xml", ""},
      {"https://h////", "u", "s", "https://h/u/s/feed.xml", ""},
      {"HTTP://H/x?y=1#f", "u", "s", "HTTP://H/x?y=1#f/u/s/feed.xml", ""},
      {"https://h//a//", "u", "s", "https://h//a/u/s/feed.xml", ""},
      {"https://h", "\xc3\xa9", "a\"b", "https://h/\xc3\xa9/a\"b/feed.xml", ""},
      {"https://h", "...", ".hidden", "https://h/.../.hidden/feed.xml", ""},
      // The first failing check wins.
      {nullptr, nullptr, nullptr, nullptr, "invalid base_url"},
      {"ftp://h", "../etc", "a b", nullptr, "invalid base_url"},
      {"https://", "u", "s", nullptr, "invalid base_url"},
      {"https://h/a b", "u", "s", nullptr, "invalid base_url"},
      {"https://h", "../etc", "a b", nullptr, "invalid user_id"},
      {"https://h", nullptr, "s", nullptr, "invalid user_id"},
      {"https://h", "", "s", nullptr, "invalid user_id"},
      {"https://h", "..", "s", nullptr, "invalid user_id"},
      {"https://h", "u", nullptr, nullptr, "invalid slug"},
      {"https://h", "u", "", nullptr, "invalid slug"},
      {"https://h", "u", ".", nullptr, "invalid slug"},
      {"https://h", "u", "a/b", nullptr, "invalid slug"},
      {"https://h", "u", "a%20b", nullptr, "invalid slug"},
  };
  for (const build_case &c : cases) {
    SCOPED_TRACE(std::string(lyrn_test::str_or(c.base)) + " | " + lyrn_test::str_or(c.user) + " | " +
                 lyrn_test::str_or(c.slug));
    set_some_last_error();
    EXPECT_EQ(build(c.base, c.user, c.slug), lyrn_test::str_or(c.url));
    EXPECT_STREQ(lyrn_last_error(), c.error);
  }
}

// The authority limit carries over: a base at the limit builds a URL that is
// itself valid; one byte more is refused.
TEST(BuildUserFeedUrl, AuthorityAtTheLimit) {
  const std::string base255 = "https://" + std::string(255, 'h') + "/";
  const std::string url = build(base255.c_str(), "u", "s");
  EXPECT_EQ(url, "https://" + std::string(255, 'h') + "/u/s/feed.xml");
  EXPECT_EQ(lyrn_validate_feed_url(url.c_str()), 0);

  const std::string base256 = "https://" + std::string(256, 'h');
  EXPECT_EQ(build(base256.c_str(), "u", "s"), "<null>");
  EXPECT_STREQ(lyrn_last_error(), "invalid base_url");
}

TEST(BuildUserFeedUrl, LastErrorStaysUntilTheNextWritingCall) {
  EXPECT_EQ(build("https://feeds.example.org/music", "../etc", "all"), "<null>");
  ASSERT_STREQ(lyrn_last_error(), "invalid user_id");
  lyrn_validate_feed_url("ftp://x");
  lyrn_validate_feed_url("https://x");
  lyrn_parse_duration("3:44");
  lyrn::is_safe_path_segment("..");
  EXPECT_STREQ(lyrn_last_error(), "invalid user_id");
  EXPECT_EQ(build("https://feeds.example.org/music", "user-123", "all"),
            "https://feeds.example.org/music/user-123/all/feed.xml");
  EXPECT_STREQ(lyrn_last_error(), "");
}

// ---- Case-insensitive comparison -------------------------------------------

int sign(int v) { return (v > 0) - (v < 0); }

TEST(AsciiStrcasecmp, FoldsOnlyAsciiLetters) {
  const struct {
    const char *a;
    const char *b;
    int sign;
  } cases[] = {
      {"", "", 0},
      {"video", "VIDEO", 0},
      {"ViDeO", "vIdEo", 0},
      {"a", "b", -1},
      {"B", "a", 1},
      {"ab", "a", 1},
      {"a", "ab", -1},
      {"Z", "[", 1},             // 'z' (0x7A) > '[' (0x5B) once folded
      {"@", "`", -1},            // neighbours of the letters do not fold
      {"\xc3\xa9", "\xc3\x89", 1},  // no folding beyond ASCII
      {"\xff", "a", 1},          // bytes compare as unsigned
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(sign(lyrn::ascii_strcasecmp(c.a, c.b)), c.sign);
  }
  // The result is the difference of the folded bytes where they first differ.
  EXPECT_EQ(lyrn::ascii_strcasecmp("Ab", "aD"), 'b' - 'd');
  EXPECT_EQ(lyrn::ascii_strcasecmp("x", ""), 'x');
}

// ---- Slug discovery --------------------------------------------------------

const char kSelfTestListing[] =
    "<a href=\"./worship/\">w</a><a href=\"./video/\">v</a><a href=\"./all/\">a</a>";
static_assert(sizeof kSelfTestListing - 1 == 72, "the listing is 72 bytes");

struct listing_case {
  const char *what;
  std::string html;
  const char *json;
};

TEST(DiscoverSlugs, Listings) {
  using namespace std::string_literals;
  const listing_case cases[] = {
      {"three anchors", kSelfTestListing, R"(["all","worship"])"},
      {"shortest link", "href='./a/'", R"(["a"])"},
      {"ten bytes", "href='./a/", "[]"},
      {"nothing to find", "<html><body>no links here</body></html>", "[]"},
      {"capital attribute name", "<A HREF=\"./Rock/\">", R"(["Rock"])"},
      {"mixed-case attribute name", "<a HrEf='./Jazz/'>", R"(["Jazz"])"},
      {"link at the last position", "xhref='./a/'", R"(["a"])"},
      {"byte after the link", "href='./a/'x", R"(["a"])"},
      {"'h' just before", "hhref='./a/'", R"(["a"])"},
      {"'H' just before", "HhREF='./a/'Hhref=\"./b/\"", R"(["a","b"])"},
      {"unmatched href before", "hrefhref='./a/'", R"(["a"])"},
      {"quotes differ", "href=\"./a/' href='./b/\"", "[]"},
      {"spaces around '='", "href = './a/' href= './b/'", "[]"},
      {"no './'", "href='a/' href='/a/' href='../a/' href='.//'", "[]"},
      {"deeper path", "href='./a/b/'", "[]"},
      {"file", "href='./a.txt' href=\"./b.mp3\"", "[]"},
      {"empty name", "href='./'  href=\"./\" ", "[]"},
      {"no closing quote at the end", "href='./abc/", "[]"},
      {"name runs to the end", "<a href='./abcdefgh", "[]"},
      // A failed link moves the scan to its first quote or '/', so what
      // follows that point is scanned again.
      {"scan resumes after the first '/'", "href=\"./a/b/\"href=\"./c/\"", R"(["c"])"},
      {"scan resumes after the first quote", "href='./x href='./b/'", "[]"},
      {"case-different duplicates kept", "href='./Rock/' href='./rock/' href='./Rock/'",
       R"(["Rock","rock"])"},
      {"video in any case dropped", "href='./Video/' href='./VIDEO/' href='./video/' href='./videos/'",
       R"(["videos"])"},
      {"all moved to the front", "href='./a/' href='./b/' href='./ALL/'", R"(["ALL","a","b"])"},
      {"all first keeps its place", "href='./all/' href='./b/'", R"(["all","b"])"},
      {"search for all starts at index 1", "href='./all/' href='./b/' href='./ALL/'",
       R"(["ALL","all","b"])"},
      {"only the first all moves", "href='./a/' href='./All/' href='./b/' href='./all/'",
       R"(["All","a","b","all"])"},
      {"unsafe names", "href='./ /' href='./../' href='./a b/' href='./a%20b/' href='./a#b/' "
                       "href='./a?b/' href='./a\\b/' href='./a\x7f/' href='./a\tb/' href='./ok/'",
       R"(["ok"])"},
      {"dot names", "href='./../' href='././' href='./.../' href='./.hidden/'", R"(["...",".hidden"])"},
      {"double quote in a slug", "href='./a\"b/'", R"(["a\"b"])"},
      {"apostrophe in a slug", "href=\"./it's/\"", R"(["it's"])"},
      {"UTF-8 slug", "href='./\xc3\xa9t\xc3\xa9/'", "[\"\xc3\xa9t\xc3\xa9\"]"},
      {"NUL before a link", "\0href='./a/'"s, R"(["a"])"},
      {"NUL inside a name", "href='./a\0b/' href='./c/'"s, R"(["c"])"},
      {"NUL at the end of a name", "href='./a\0/'"s, "[]"},
  };
  for (const listing_case &c : cases) {
    SCOPED_TRACE(c.what);
    set_some_last_error();
    EXPECT_EQ(discover(c.html), c.json);
    EXPECT_STREQ(lyrn_last_error(), "");
  }
}

TEST(DiscoverSlugs, InputForms) {
  EXPECT_EQ(discover_cstr(kSelfTestListing), R"(["all","worship"])");
  EXPECT_EQ(discover(std::string(kSelfTestListing, 72)), R"(["all","worship"])");
  // Only the given bytes count: a length that cuts the closing quote yields nothing.
  EXPECT_EQ(discover("href='./ab/'"), R"(["ab"])");
  EXPECT_EQ(discover(std::string("href='./ab/'", 11)), "[]");
  // With length 0 the text ends at its NUL.
  EXPECT_EQ(discover_cstr("href='./a/'\0href='./b/'"), R"(["a"])");
  EXPECT_EQ(discover_cstr(""), "[]");
  for (std::size_t n = 1; n <= 10; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(discover(std::string("href='./a/'", n)), "[]");
  }
}

TEST(DiscoverSlugs, NullListing) {
  set_some_last_error();
  owned_str empty(lyrn_discover_slugs_json(nullptr, 0));
  EXPECT_STREQ(empty.get(), "[]");
  EXPECT_STREQ(lyrn_last_error(), "");

  EXPECT_EQ(lyrn_discover_slugs_json(nullptr, 5), nullptr);
  EXPECT_STREQ(lyrn_last_error(), "null html");
}

// The JSON writer refuses text that is not UTF-8: the whole result is null
// and no message is left.
TEST(DiscoverSlugs, SlugThatIsNotUtf8GivesNullWithoutMessage) {
  std::vector<std::string> listings = {"href='./ok/' href='./a\xc3/'", "href='./\xed\xa0\x80/'",
                                       "href='./\xc0\xaf/'"};
  for (unsigned b = 0x80; b <= 0xFF; ++b)  // a lone high byte is never UTF-8
    listings.push_back("href='./ok/' href='./x" + std::string(1, static_cast<char>(b)) + "/'");
  for (const std::string &html : listings) {
    SCOPED_TRACE(html);
    set_some_last_error();
    EXPECT_EQ(discover(html), "<null>");
    EXPECT_STREQ(lyrn_last_error(), "");
  }
}

// More slugs than the first list capacity, in a page large enough that the
// search for link starts skips long runs: every 'h' that starts no link, and
// a letter ('H') that is absent for most of the page.
TEST(DiscoverSlugs, LargePageWithManySlugs) {
  std::string html;
  std::string expected = "[";
  for (int i = 0; i < 300; ++i) {
    html += std::string(997, 'h');
    html += "<a href=\"./s" + std::to_string(i) + "/\">hhh</a>\n";
    if (i) expected += ",";
    expected += "\"s" + std::to_string(i) + "\"";
  }
  html += std::string(5000, 'x') + "HREF='./all/'";
  expected = "[\"all\"," + expected.substr(1) + "]";
  EXPECT_EQ(discover(html), expected);
}

// Builds a listing from many names, each linked with both kinds of quote.
std::string listing_of(const std::vector<std::string> &names) {
  std::string html = "<html><body>\n";
  for (const std::string &name : names) {
    html += "<a href=\"./" + name + "/\">" + name + "</a>\n";
    html += "<a href='./" + name + "/'>" + name + "</a>\n";
  }
  return html + "</body></html>\n";
}

std::string utf8(unsigned cp) {
  std::string s;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (cp >> 18));
    s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

// Every slug that discovery returns is one that the URL builder takes, and
// the URL it builds passes the feed URL check.
TEST(DiscoverSlugs, EverySlugBuildsAValidFeedUrl) {
  std::vector<std::string> names;
  for (unsigned b = 0; b < 0x80; ++b) {
    const std::string c(1, static_cast<char>(b));
    names.push_back(c);
    names.push_back("x" + c + "y");
    names.push_back(c + c);
  }
  // Bytes of 0x80 and above in valid UTF-8: every continuation byte, and lead
  // bytes of two, three and four byte sequences.
  for (unsigned cp = 0x80; cp <= 0xFF; ++cp) names.push_back("n" + utf8(cp));
  for (unsigned cp : {0x7FFu, 0x800u, 0x20ACu, 0xFFFDu, 0x10000u, 0x1F600u, 0x10FFFFu})
    names.push_back(utf8(cp));
  for (const char *name : {".", "..", "...", ".hidden", "a..b", "a\"b", "a'b", "all", "ALL", "video", "Video",
                           "videos", "Rock", "rock", "../etc", "a b", "a%20b", "a#b", "a?b", "a\\b",
                           "a/b", "href='./x/'", "feed.xml", "user-123"})
    names.push_back(name);

  const std::string html = listing_of(names);
  const std::string json = discover(html);
  ASSERT_NE(json, "<null>");

  yyjson_doc *doc = yyjson_read(json.data(), json.size(), 0);
  ASSERT_NE(doc, nullptr);
  yyjson_val *root = yyjson_doc_get_root(doc);
  ASSERT_TRUE(yyjson_is_arr(root));

  const char *kBase = "https://feeds.example.org/music/";
  std::set<std::string> seen;
  size_t i, n;
  yyjson_val *item;
  yyjson_arr_foreach(root, i, n, item) {
    ASSERT_TRUE(yyjson_is_str(item));
    const std::string slug(yyjson_get_str(item), yyjson_get_len(item));
    SCOPED_TRACE(slug);
    EXPECT_TRUE(seen.insert(slug).second) << "duplicate";
    EXPECT_NE(lyrn::ascii_strcasecmp(slug.c_str(), "video"), 0);
    EXPECT_EQ(slug.find('\0'), std::string::npos);
    const std::string url = build(kBase, "user-123", slug.c_str());
    EXPECT_EQ(url, "https://feeds.example.org/music/user-123/" + slug + "/feed.xml");
    EXPECT_EQ(lyrn_validate_feed_url(url.c_str()), 0);
  }
  yyjson_doc_free(doc);

  // The listing is not a vacuous one: these names are found, those are not.
  for (const char *name : {"ALL", "all", "!", "x!y", "~~", "...", ".hidden", "a..b", "a\"b", "a'b", "videos",
                           "Rock", "rock", "feed.xml", "n\xc2\x80", "n\xc3\xbf", "\xf4\x8f\xbf\xbf"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(seen.count(name), 1u);
  }
  for (const char *name : {".", "..", "video", "Video", "a b", "x y", "\x7f", "%", "x\\y", "a?b"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(seen.count(name), 0u);
  }
  EXPECT_GT(seen.size(), 300u);
}

}  // namespace
