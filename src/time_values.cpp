// SPDX-License-Identifier: MIT
// Durations ("3:44", "1:16:26", "224.5") to seconds and back to clock text,
// and publication dates (RFC 2822 or ISO 8601 date-time) to Unix seconds.
// Nothing here allocates, keeps state or touches the last error.
#include "time_values.hpp"

#include <langinfo.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ascii.hpp"

namespace lyrn {

const char *const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::int64_t days_from_civil(std::int32_t year, std::uint32_t month, std::uint32_t day) {
  // Everything in 64 bits: year - 1 for INT32_MIN and the era product would
  // overflow 32 bits.
  const std::int64_t m = month;
  const std::int64_t y = static_cast<std::int64_t>(year) - (m <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;               // 0..399
  const std::int64_t mp = m > 2 ? m - 3 : m + 9;        // March-based month
  const std::int64_t doy = (153 * mp + 2) / 5 + static_cast<std::int64_t>(day) - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

namespace {

const char *skip_space(const char *p) {
  while (ascii_is_space(*p)) ++p;
  return p;
}

// The "C" locale object, created on first use and kept for the process (it
// needs no release). A failed creation is not remembered, so a later call
// tries again instead of reading without it for good.
locale_t c_locale_object() {
  static std::atomic<locale_t> kept{static_cast<locale_t>(0)};
  locale_t loc = kept.load(std::memory_order_acquire);
  if (loc) return loc;
  loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  if (!loc) return loc;
  locale_t expected = static_cast<locale_t>(0);
  if (!kept.compare_exchange_strong(expected, loc, std::memory_order_acq_rel)) {
    freelocale(loc);  // another thread stored one first
    loc = expected;
  }
  return loc;
}

// Exact powers of ten: every one up to 1e22 is representable in a double.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxFastFraction = 22;
constexpr std::uint64_t kMaxExactMantissa = std::uint64_t{1} << 53;

// Reads [sign] digits [. digits] (or [sign] . digits) when the value is m / 10^k
// with m and 10^k both exact doubles: one correctly rounded division then gives
// the same double as strtod. Returns false for everything else (exponents,
// hexadecimal, inf/nan, too many digits), leaving it to the C library.
bool read_plain_decimal(const char *s, double *value, const char **end) {
  const char *p = skip_space(s);
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  std::uint64_t m = 0;
  int digits = 0;
  int fraction = 0;
  for (; ascii_is_digit(*p); ++p, ++digits) {
    m = m * 10 + static_cast<unsigned>(*p - '0');
    if (m > kMaxExactMantissa) return false;
  }
  if (*p == '.') {
    for (++p; ascii_is_digit(*p); ++p, ++digits, ++fraction) {
      if (fraction == kMaxFastFraction) return false;
      m = m * 10 + static_cast<unsigned>(*p - '0');
      if (m > kMaxExactMantissa) return false;
    }
  }
  // An exponent or a "0x" prefix would extend the number.
  if (digits == 0 || *p == 'e' || *p == 'E' || *p == 'x' || *p == 'X') return false;
  double v = static_cast<double>(m);
  if (fraction) v /= kPow10[fraction];
  *value = negative ? -v : v;
  *end = p;
  return true;
}

// Without a "C" locale object: the process locale reads numbers the same way
// as long as its decimal point is "."; otherwise the rarer forms are not read.
double strtod_without_c_locale(const char *s, const char **end) {
  *end = s;
  if (std::strcmp(nl_langinfo(RADIXCHAR), ".") != 0) return 0.0;
  char *e = nullptr;
  const double v = std::strtod(s, &e);
  *end = e;
  return v;
}

}  // namespace

double c_strtod_using(const char *s, const char **end, locale_t c_locale) {
  double v = 0.0;
  if (read_plain_decimal(s, &v, end)) return v;
  // The C library reports range errors in errno; the host's errno is left
  // as it was.
  const int saved_errno = errno;
  if (c_locale) {
    char *e = nullptr;
    v = strtod_l(s, &e, c_locale);
    *end = e;
  } else {
    v = strtod_without_c_locale(s, end);
  }
  errno = saved_errno;
  return v;
}

double c_strtod(const char *s, const char **end) { return c_strtod_using(s, end, c_locale_object()); }

namespace {

// %d: optional sign and at least one digit. Returns false when there is no
// number; sets *overflow when it does not fit in an int32.
bool scan_int(const char **pp, std::int32_t *value, bool *overflow) {
  const char *p = *pp;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!ascii_is_digit(*p)) return false;
  const std::uint64_t limit = negative ? std::uint64_t{2147483648u} : std::uint64_t{2147483647u};
  std::uint64_t mag = 0;
  for (; ascii_is_digit(*p); ++p) {
    if (mag <= limit) mag = mag * 10 + static_cast<unsigned>(*p - '0');
  }
  *pp = p;
  if (mag > limit) {
    *overflow = true;
    return false;
  }
  *value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(mag))
                    : static_cast<std::int32_t>(mag);
  return true;
}

// %Ns: 1 to width non-whitespace characters, NUL-terminated into tok.
void scan_token(const char **pp, unsigned width, char *tok) {
  const char *p = *pp;
  unsigned n = 0;
  while (n < width && *p && !ascii_is_space(*p)) tok[n++] = *p++;
  tok[n] = '\0';
  *pp = p;
}

constexpr unsigned kTokenWidth = sizeof(scanned_fields{}.tok[0]) - 1;
constexpr int kMaxNums = sizeof(scanned_fields{}.num) / sizeof(scanned_fields{}.num[0]);
constexpr int kMaxToks = sizeof(scanned_fields{}.tok) / sizeof(scanned_fields{}.tok[0]);

}  // namespace

void scan_fields(const char *text, const char *format, scanned_fields *out) {
  std::memset(out, 0, sizeof *out);
  const char *p = text;
  int nums = 0;
  int toks = 0;
  const char *f = format;
  while (*f) {
    if (ascii_is_space(*f)) {  // any run, including none
      f = skip_space(f);
      p = skip_space(p);
      continue;
    }
    if (*f != '%') {  // a literal matches itself only, with no whitespace skipped
      if (*p != *f) {
        if (*p == '\0' && out->count == 0) out->count = -1;
        return;
      }
      ++p;
      ++f;
      continue;
    }
    ++f;
    unsigned width = 0;
    while (ascii_is_digit(*f) && width <= kTokenWidth)
      width = width * 10 + static_cast<unsigned>(*f++ - '0');
    const char conv = *f++;
    p = skip_space(p);  // both conversions skip leading whitespace
    if (*p == '\0') {   // input failure
      if (out->count == 0) out->count = -1;
      return;
    }
    if (conv == 'd' && nums < kMaxNums) {
      if (!scan_int(&p, &out->num[nums], &out->overflow)) return;
      ++nums;
    } else if (conv == 's' && toks < kMaxToks) {
      scan_token(&p, width == 0 || width > kTokenWidth ? kTokenWidth : width, out->tok[toks]);
      ++toks;
    } else {
      return;  // a directive this reader does not know
    }
    ++out->count;
  }
}

namespace {

constexpr const char kIsoFormat[] = "%d-%d-%dT%d:%d:%d";
constexpr const char kRfcFormat[] = "%d %15s %d %d:%d:%d %15s";
constexpr int kMaxWeekdayPrefix = 10;

std::int64_t unix_seconds(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                          std::int32_t minute, std::int32_t second) {
  const std::int64_t days =
      days_from_civil(year, static_cast<std::uint32_t>(month), static_cast<std::uint32_t>(day));
  return days * 86400 + std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second;
}

bool starts_iso(const char *s) {
  for (int i = 0; i < 4; ++i)
    if (!ascii_is_digit(s[i])) return false;
  return s[4] == '-';
}

// Month number 1-12 from the first three letters of tok, or 0.
std::int32_t month_from_token(const char *tok) {
  for (std::int32_t i = 0; i < 12; ++i)
    if (ascii_iequal(tok, kMonths[i], 3)) return i + 1;
  return 0;
}

// "+hhmm" or "-hhmm" in seconds; the four characters are not checked to be
// digits. Any other token is a named zone, taken as UTC.
std::int64_t zone_offset(const char *tok) {
  if ((tok[0] != '+' && tok[0] != '-') || std::strlen(tok) != 5) return 0;
  std::int64_t c[4];
  for (int i = 0; i < 4; ++i) c[i] = static_cast<std::int64_t>(static_cast<unsigned char>(tok[i + 1])) - '0';
  const std::int64_t offset = (10 * c[0] + c[1]) * 3600 + (10 * c[2] + c[3]) * 60;
  return tok[0] == '-' ? -offset : offset;
}

std::int64_t parse_rfc_form(const char *s) {
  for (int i = 0; i <= kMaxWeekdayPrefix && s[i]; ++i) {
    if (s[i] == ',') {
      s = skip_space(s + i + 1);
      break;
    }
  }
  scanned_fields f;
  scan_fields(s, kRfcFormat, &f);
  if (f.overflow || f.count < 6) return 0;
  const std::int32_t day = f.num[0], year = f.num[1];
  const std::int32_t month = month_from_token(f.tok[0]);
  if (month == 0 || day < 1 || day > 31 || year < 1970) return 0;
  const std::int64_t offset = f.count == 7 ? zone_offset(f.tok[1]) : 0;
  return unix_seconds(year, month, day, f.num[2], f.num[3], f.num[4]) - offset;
}

}  // namespace

double parse_duration(const char *text) {
  if (!text) return 0.0;
  const char *p = skip_space(text);
  if (*p == '\0') return 0.0;
  double field[3] = {0.0, 0.0, 0.0};
  int n = 0;
  for (;;) {
    const char *end = nullptr;
    const double v = c_strtod(p, &end);
    if (end == p || !std::isfinite(v) || v < 0.0) return 0.0;
    field[n++] = v;
    p = skip_space(end);
    if (*p == '\0') break;
    if (*p != ':') return 0.0;
    if (p[1] == '\0' || n == 3) break;  // a trailing ':' and a fourth field are ignored
    ++p;
  }
  if (n == 1) return field[0];
  if (n == 2) return field[0] * 60.0 + field[1];
  return field[0] * 3600.0 + field[1] * 60.0 + field[2];
}

std::int32_t format_duration(double seconds, char *buf, size_t buf_size) {
  if (!buf || buf_size == 0) return -1;
  int r;
  if (!std::isfinite(seconds) || seconds <= 0.0) {
    r = std::snprintf(buf, buf_size, "0:00");
  } else {
    // 2^63 and above do not fit in int64: they are written as INT64_MAX.
    const double f = std::floor(seconds);
    const long long s = f >= 9223372036854775808.0 ? INT64_MAX : static_cast<long long>(f);
    if (s >= 3600)
      r = std::snprintf(buf, buf_size, "%lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
    else
      r = std::snprintf(buf, buf_size, "%lld:%02lld", (s % 3600) / 60, s % 60);
  }
  if (r >= 0 && static_cast<size_t>(r) < buf_size) return r;
  return -1;
}

std::int64_t parse_rfc2822_date(const char *text) {
  if (!text) return 0;
  const char *s = skip_space(text);
  if (*s == '\0') return 0;
  if (starts_iso(s)) {
    scanned_fields f;
    scan_fields(s, kIsoFormat, &f);
    if (f.overflow) return 0;
    if (f.count == 6) {
      const std::int32_t month = f.num[1], day = f.num[2];
      if (month < 1 || month > 12 || day < 1 || day > 31) return 0;
      return unix_seconds(f.num[0], month, day, f.num[3], f.num[4], f.num[5]);
    }
  }
  return parse_rfc_form(s);
}

}  // namespace lyrn
