// SPDX-License-Identifier: MIT
// The text and number exports. The input is cut at 0xFF bytes into up to
// three NUL-terminated pieces: the first is read as a title, a duration, a
// date and a feed URL, and the three together are the base URL, user id and
// slug of a per-user feed URL. The first eight bytes, read as a double, and
// the ninth, as a buffer size, drive the duration formatter. Each result is
// compared with a direct reading of the export's rules written here (the
// number readers with the C library's strtod and sscanf).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_util.hpp"
#include "lyrn.h"

namespace {

bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_alnum(unsigned char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }
unsigned char lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

std::string expected_title(const std::string &in) {
  std::size_t b = 0, e = in.size();
  while (e > 0 && is_space(static_cast<unsigned char>(in[e - 1]))) --e;
  while (b < e && is_space(static_cast<unsigned char>(in[b]))) ++b;
  std::string t = in.substr(b, e - b);
  const std::size_t n = t.size();
  if (n >= 13 && t[n - 1] == ']' && t[n - 13] == '[') {
    bool id = true;
    for (std::size_t k = n - 12; k < n - 1; ++k) {
      const unsigned char c = static_cast<unsigned char>(t[k]);
      id = id && (is_alnum(c) || c == '-' || c == '_');
    }
    if (id) {
      t.resize(n - 13);
      while (!t.empty() && is_space(static_cast<unsigned char>(t.back()))) t.pop_back();
    }
  }
  std::string out;
  bool sep = true;
  for (char c : t) {
    if (c == '_' || c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!sep) out += ' ';
      sep = true;
    } else {
      out += c;
      sep = false;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

double expected_duration(const char *text) {
  const char *p = text;
  while (is_space(static_cast<unsigned char>(*p))) ++p;
  if (!*p) return 0;
  double f[3] = {0, 0, 0};
  int n = 0;
  for (;;) {
    char *end;
    const double v = std::strtod(p, &end);
    if (end == p || !std::isfinite(v) || v < 0) return 0;
    f[n++] = v;
    p = end;
    while (is_space(static_cast<unsigned char>(*p))) ++p;
    if (!*p) break;
    if (*p != ':') return 0;
    if (!p[1] || n == 3) break;
    ++p;
  }
  if (n == 1) return f[0];
  if (n == 2) return f[0] * 60 + f[1];
  return f[0] * 3600 + f[1] * 60 + f[2];
}

std::int64_t civil_days(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

std::int64_t expected_date(const char *text) {
  const char *s = text;
  while (is_space(static_cast<unsigned char>(*s))) ++s;
  if (!*s) return 0;
  int y, mo, d, h, mi, se;
  bool iso = true;
  for (int i = 0; i < 4; ++i) iso = iso && s[i] >= '0' && s[i] <= '9';
  if (iso && s[4] == '-' && std::sscanf(s, "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &se) == 6) {
    if (mo < 1 || mo > 12 || d < 1 || d > 31) return 0;
    return civil_days(y, mo, d) * 86400 + std::int64_t{h} * 3600 + std::int64_t{mi} * 60 + se;
  }
  const char *comma = std::strchr(s, ',');
  if (comma && comma - s <= 10) {
    s = comma + 1;
    while (is_space(static_cast<unsigned char>(*s))) ++s;
  }
  char mon[16] = {0}, zone[16] = {0};
  const int got = std::sscanf(s, "%d %15s %d %d:%d:%d %15s", &d, mon, &y, &h, &mi, &se, zone);
  if (got < 6) return 0;
  static const char *const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};
  mo = 0;
  for (int i = 0; i < 12 && !mo; ++i)
    if (std::strlen(mon) >= 3 && lower(mon[0]) == months[i][0] && lower(mon[1]) == months[i][1] &&
        lower(mon[2]) == months[i][2])
      mo = i + 1;
  if (!mo || d < 1 || d > 31 || y < 1970) return 0;
  std::int64_t off = 0;
  if (got == 7 && (zone[0] == '+' || zone[0] == '-') && std::strlen(zone) == 5) {
    // The four zone characters are not checked to be digits; each byte counts
    // as its unsigned value less '0'.
    std::int64_t c[5];
    for (int i = 1; i < 5; ++i) c[i] = std::int64_t{static_cast<unsigned char>(zone[i])} - '0';
    const std::int64_t c1 = c[1], c2 = c[2], c3 = c[3], c4 = c[4];
    off = (10 * c1 + c2) * 3600 + (10 * c3 + c4) * 60;
    if (zone[0] == '-') off = -off;
  }
  return civil_days(y, mo, d) * 86400 + std::int64_t{h} * 3600 + std::int64_t{mi} * 60 + se - off;
}

// sscanf's %d has no defined result for numbers outside int: such texts are
// left out of the date comparison.
bool has_long_digit_run(const std::string &s) {
  int run = 0;
  for (char c : s) {
    run = (c >= '0' && c <= '9') ? run + 1 : 0;
    if (run >= 10) return true;
  }
  return false;
}

bool expected_url_ok(const std::string &u) {
  std::size_t start;
  auto prefix = [&](const char *pre) {
    const std::size_t n = std::strlen(pre);
    if (u.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
      if (lower(static_cast<unsigned char>(u[i])) != static_cast<unsigned char>(pre[i])) return false;
    return true;
  };
  if (prefix("https://")) start = 8;
  else if (prefix("http://")) start = 7;
  else return false;
  if (start == u.size() || u[start] == '#' || u[start] == '/' || u[start] == '?') return false;
  for (unsigned char c : u)
    if (c <= 0x20 || c == 0x7F) return false;
  const std::size_t slash = u.find('/', start);
  const std::size_t auth = (slash == std::string::npos ? u.size() : slash) - start;
  return auth >= 1 && auth <= 255;
}

bool expected_segment_ok(const std::string &s) {
  if (s.empty() || s == "." || s == "..") return false;
  for (unsigned char c : s)
    if (c <= 0x1F || c == ' ' || c == '#' || c == '%' || c == '/' || c == '?' || c == '\\' || c == 0x7F)
      return false;
  return true;
}

void check_title(const char *title) {
  const std::string raw(title);
  char *got = lyrn_clean_title(title);
  FUZZ_CHECK(got != nullptr);
  FUZZ_CHECK(std::strlen(got) <= raw.size());
  FUZZ_CHECK(std::string(got) == expected_title(raw));
  lyrn_free(got);
}

void check_numbers(const char *text) {
  const double d = lyrn_parse_duration(text);
  FUZZ_CHECK(!std::isnan(d) && d >= 0);
  FUZZ_CHECK(d == expected_duration(text));
  const std::int64_t date = lyrn_parse_rfc2822_date(text);
  if (!has_long_digit_run(text)) FUZZ_CHECK(date == expected_date(text));
}

void check_format(const uint8_t *data, size_t size) {
  if (size < 9) return;
  double seconds;
  std::memcpy(&seconds, data, sizeof seconds);
  const std::size_t buf_size = data[8] % 40;
  FUZZ_CHECK(lyrn_format_duration(seconds, nullptr, buf_size) == -1);
  char *buf = static_cast<char *>(std::malloc(buf_size ? buf_size : 1));
  const int32_t r = lyrn_format_duration(seconds, buf, buf_size);
  if (buf_size == 0) {
    FUZZ_CHECK(r == -1);
    std::free(buf);
    return;
  }
  const std::size_t shown = strnlen(buf, buf_size);
  FUZZ_CHECK(shown < buf_size);  // always NUL-terminated inside the buffer
  if (r != -1) FUZZ_CHECK(r >= 0 && static_cast<std::size_t>(r) == shown);

  // The same text as the formatting rules give it, below 2^63 seconds.
  if (!(seconds < 9.2e18)) {
    std::free(buf);
    return;
  }
  char want[64];
  if (!std::isfinite(seconds) || seconds <= 0) {
    std::snprintf(want, sizeof want, "0:00");
  } else {
    const long long s = static_cast<long long>(std::floor(seconds));
    if (s >= 3600) std::snprintf(want, sizeof want, "%lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
    else std::snprintf(want, sizeof want, "%lld:%02lld", s / 60, s % 60);
  }
  const std::size_t want_len = std::strlen(want);
  FUZZ_CHECK(r == (want_len < buf_size ? static_cast<int32_t>(want_len) : -1));
  FUZZ_CHECK(std::strncmp(buf, want, buf_size - 1) == 0);
  // Whole seconds read back: the text parses to the floored value.
  if (r > 0 && seconds > 0 && seconds < 9007199254740992.0)
    FUZZ_CHECK(lyrn_parse_duration(buf) == std::floor(seconds));
  std::free(buf);
}

void check_urls(const char *base_c, const char *user_c, const char *slug_c) {
  const std::string base(base_c), user(user_c), slug(slug_c);
  const bool base_ok = expected_url_ok(base);
  FUZZ_CHECK((lyrn_validate_feed_url(base_c) == 0) == base_ok);
  char *url = lyrn_build_user_feed_url(base_c, user_c, slug_c);
  const char *want_error = !base_ok                     ? "invalid base_url"
                           : !expected_segment_ok(user) ? "invalid user_id"
                           : !expected_segment_ok(slug) ? "invalid slug"
                                                        : "";
  FUZZ_CHECK(std::strcmp(lyrn_last_error(), want_error) == 0);
  FUZZ_CHECK((url == nullptr) == (want_error[0] != '\0'));
  if (url) {
    std::string trimmed = base;
    while (!trimmed.empty() && trimmed.back() == '/') trimmed.pop_back();
    FUZZ_CHECK(std::string(url) == trimmed + "/" + user + "/" + slug + "/feed.xml");
    FUZZ_CHECK(lyrn_validate_feed_url(url) == 0);
  }
  lyrn_free(url);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const unsigned char *p = data;
  const unsigned char *end = data + size;
  std::string piece[3];
  for (std::string &s : piece) s = fuzz::next_piece(p, end);

  // Each piece as a NUL-terminated block of its own exact size; an interior
  // NUL ends the text there, as it would for any C string.
  fuzz::heap_copy first(piece[0].data(), piece[0].size(), true);
  fuzz::heap_copy second(piece[1].data(), piece[1].size(), true);
  fuzz::heap_copy third(piece[2].data(), piece[2].size(), true);
  check_title(first.data());
  check_numbers(first.data());
  check_format(data, size);
  check_urls(first.data(), second.data(), third.data());
  return 0;
}
