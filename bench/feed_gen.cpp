// SPDX-License-Identifier: MIT
#include "feed_gen.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace bench {
namespace {

// splitmix64: tiny, fast, and the same everywhere.
class prng {
 public:
  explicit prng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number in [0, n); the small modulo bias does not matter here.
  std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
  std::uint32_t between(std::uint32_t lo, std::uint32_t hi) { return lo + below(hi - lo + 1); }
  bool one_in(std::uint32_t n) { return below(n) == 0; }

 private:
  std::uint64_t state_;
};

const char *const kWords[] = {
    "night",  "drive",   "summer",  "river",  "golden", "echo",    "light",  "shadow",
    "dream",  "city",    "ocean",   "fire",   "winter", "morning", "velvet", "silver",
    "heart",  "road",    "storm",   "garden", "distant", "neon",   "quiet",  "wild",
    "blue",   "harbour", "mountain", "signal", "glass",  "paper",   "静かな", "café",
    "midnight", "waves", "horizon", "static", "falling", "home",   "story",  "dance",
    "slow",   "bright",  "hollow",  "thunder", "lantern", "orbit", "prairie", "tide",
};
constexpr std::uint32_t kWordCount = sizeof kWords / sizeof kWords[0];

const char *const kArtists[] = {
    "The Lanterns", "Mara Quill",  "North Coast Trio", "DJ Orbit",    "Elena Voss",
    "Paper Harbour", "Kito & Rae", "Signal Fires",    "Ada Morrow",  "The Quiet Hours",
    "Blue Prairie", "Juno Vale",   "Static Gardens",   "Ravi Menon",  "Hollow Pines",
    "Velvet Tide",
};
constexpr std::uint32_t kArtistCount = sizeof kArtists / sizeof kArtists[0];

// Zones with their offsets in minutes.
struct zone {
  const char *text;
  int minutes;
};
const zone kZones[] = {{"+0000", 0}, {"+0200", 120}, {"-0500", -300},
                       {"+0530", 330}, {"+0100", 60}, {"-0800", -480}};
constexpr std::uint32_t kZoneCount = sizeof kZones / sizeof kZones[0];

const char *const kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};  // 1970-01-01 was a Thursday
const char *const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char kIdChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

void append_word(std::string &out, prng &rng, bool capital) {
  const char *w = kWords[rng.below(kWordCount)];
  if (capital && *w >= 'a' && *w <= 'z') {
    out += static_cast<char>(*w - 'a' + 'A');
    out += w + 1;
  } else {
    out += w;
  }
}

__attribute__((format(printf, 2, 3))) void append_fmt(std::string &out, const char *fmt, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n > 0) out.append(buf, std::min(static_cast<std::size_t>(n), sizeof buf - 1));
}

// Day count since 1970-01-01 to year, month (1-12), day (civil calendar).
void civil_from_days(long long z, long long &y, unsigned &m, unsigned &d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
}

// "Tue, 02 Jan 2024 10:00:00 +0200": the local time of the zone.
void append_date(std::string &out, long long unix_seconds, const zone &z) {
  long long local = unix_seconds + z.minutes * 60LL;
  long long days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  long long secs = local - days * 86400;
  long long y;
  unsigned m, d;
  civil_from_days(days, y, m, d);
  out += kDays[((days % 7) + 7) % 7];
  append_fmt(out, ", %02u ", d);
  out += kMonthNames[m - 1];
  append_fmt(out, " %lld %02lld:", y, secs / 3600);
  append_fmt(out, "%02lld:%02lld ", (secs / 60) % 60, secs % 60);
  out += z.text;
}

// "224", "3:44" or "1:16:26".
void append_duration(std::string &out, prng &rng) {
  long long s = rng.between(45, 5400);
  switch (rng.below(3)) {
    case 0:
      append_fmt(out, "%lld", s);
      break;
    case 1:
      append_fmt(out, "%lld:%02lld", s / 60, s % 60);
      break;
    default:
      append_fmt(out, "%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
      break;
  }
}

void append_title(std::string &out, prng &rng) {
  if (rng.one_in(20)) {
    // A file-name title with a bracketed identifier, as uploads often have.
    append_word(out, rng, true);
    out += '_';
    append_word(out, rng, true);
    out += " [";
    for (int i = 0; i < 11; ++i) out += kIdChars[rng.below(64)];
    out += ']';
    return;
  }
  std::uint32_t words = rng.between(2, 5);
  for (std::uint32_t i = 0; i < words; ++i) {
    if (i) out += rng.one_in(8) ? " &amp; " : " ";
    append_word(out, rng, true);
  }
}

void append_sentence(std::string &out, prng &rng) {
  std::uint32_t words = rng.between(6, 16);
  for (std::uint32_t i = 0; i < words; ++i) {
    if (i) out += ' ';
    append_word(out, rng, i == 0);
  }
  out += ". ";
}

// HTML of about `size` bytes: paragraphs with links, emphasis and lists.
void append_html(std::string &out, prng &rng, std::size_t size, long long id) {
  std::size_t start = out.size();
  while (out.size() - start < size) {
    switch (rng.below(5)) {
      case 0:
        out += "<ul>";
        for (std::uint32_t i = rng.between(2, 4); i > 0; --i) {
          out += "<li>";
          append_word(out, rng, true);
          out += " &ndash; ";
          append_word(out, rng, false);
          out += "</li>";
        }
        out += "</ul>\n";
        break;
      case 1:
        out += "<p>Listen at <a href=\"https://music.example.org/tracks/";
        append_fmt(out, "%lld?ref=feed&amp;src=rss\">", id);
        append_word(out, rng, false);
        out += "</a> or <b>";
        append_word(out, rng, false);
        out += "</b>.<br/></p>\n";
        break;
      default:
        out += "<p>";
        append_sentence(out, rng);
        append_sentence(out, rng);
        out += "</p>\n";
        break;
    }
  }
}

void append_rich_item(std::string &out, prng &rng, long long id, long long &when) {
  out += "    <item>\n      <title>";
  append_title(out, rng);
  out += "</title>\n      <link>https://music.example.org/tracks/";
  append_fmt(out, "%lld</link>\n      <description><![CDATA[", id);
  append_html(out, rng, rng.between(1024, 3072), id);
  out += "]]></description>\n";
  if (rng.one_in(3)) {
    out += "      <content:encoded><![CDATA[";
    append_html(out, rng, rng.between(512, 2048), id);
    out += "]]></content:encoded>\n";
  }
  append_fmt(out, "      <guid isPermaLink=\"false\">track-%08llx-%04llx</guid>\n", id,
             static_cast<long long>(rng.below(65536)));
  out += "      <pubDate>";
  when -= rng.between(3600, 5 * 86400);
  append_date(out, when, kZones[rng.below(kZoneCount)]);
  out += "</pubDate>\n      <itunes:duration>";
  append_duration(out, rng);
  out += "</itunes:duration>\n";
  const char *artist = kArtists[rng.below(kArtistCount)];
  // Some feeds name the artist with the plain RSS element.
  bool plain = rng.one_in(10);
  out += plain ? "      <author>" : "      <itunes:author>";
  for (const char *p = artist; *p; ++p) {
    if (*p == '&')
      out += "&amp;";
    else
      out += *p;
  }
  out += plain ? "</author>\n" : "</itunes:author>\n";
  if (rng.one_in(2)) {
    append_fmt(out, "      <itunes:image href=\"https://img.example.org/art/%lld-%u.jpg\"/>\n", id,
               rng.below(1000));
  }
  out += "      <itunes:explicit>false</itunes:explicit>\n";
  out += "      <enclosure url=\"https://cdn.example.org/audio/";
  append_fmt(out, "%lld/%06lld-", 2000 + id % 25, id);
  append_word(out, rng, false);
  append_fmt(out, ".mp3\" length=\"%lld\" type=\"audio/mpeg\"/>\n    </item>\n",
             static_cast<long long>(rng.between(900000, 90000000)));
}

const char kRichHeader[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<rss version=\"2.0\" xmlns:itunes=\"http://www.itunes.com/dtds/podcast-1.0.dtd\"\n"
    "     xmlns:content=\"http://purl.org/rss/1.0/modules/content/\"\n"
    "     xmlns:atom=\"http://www.w3.org/2005/Atom\">\n"
    "  <channel>\n"
    "    <title>Late Night Radio &amp; Friends</title>\n"
    "    <link>https://music.example.org/shows/late-night</link>\n"
    "    <atom:link href=\"https://feeds.example.com/music/bench/all/feed.xml\" rel=\"self\""
    " type=\"application/rss+xml\"/>\n"
    "    <description><![CDATA[<p>New music every night: <b>ambient</b>, folk and electronic "
    "sets from the studio.</p>]]></description>\n"
    "    <language>en-us</language>\n"
    "    <itunes:author>Late Night Radio</itunes:author>\n"
    "    <itunes:category text=\"Music\"/>\n"
    "    <itunes:image href=\"https://img.example.org/shows/late-night/cover-3000.jpg\"/>\n"
    "    <itunes:explicit>false</itunes:explicit>\n";
const char kFooter[] = "  </channel>\n</rss>\n";

}  // namespace

std::string make_rich_feed(std::size_t target_bytes, std::uint64_t seed, std::size_t *items) {
  prng rng(seed);
  std::string out;
  out.reserve(target_bytes + 16384);
  out += kRichHeader;
  long long when = 1719741600;  // 2024-06-30 10:00:00 UTC, then back in time
  std::size_t n = 0;
  while (out.size() + sizeof kFooter - 1 < target_bytes) append_rich_item(out, rng, static_cast<long long>(n++), when);
  out += kFooter;
  if (items) *items = n;
  return out;
}

std::string make_minimal_feed(std::size_t items, std::uint64_t seed) {
  prng rng(seed);
  std::string out;
  out.reserve(items * 140 + 256);
  out +=
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<rss version=\"2.0\">\n<channel>\n<title>Minimal Mix</title>\n";
  for (std::size_t i = 0; i < items; ++i) {
    out += "<item><title>";
    append_word(out, rng, true);
    append_fmt(out, " %lld</title><enclosure url=\"https://cdn.example.org/m/%07lld.mp3\"",
               static_cast<long long>(i), static_cast<long long>(i));
    append_fmt(out, " length=\"%lld\"/></item>\n", static_cast<long long>(rng.between(100000, 9000000)));
  }
  out += "</channel>\n</rss>\n";
  return out;
}

}  // namespace bench
