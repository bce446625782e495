// SPDX-License-Identifier: MIT
// Durations, duration text, publication dates and the number and field
// readers behind them.
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "lyrn.h"
#include "test_util.hpp"
#include "time_values.hpp"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Equal as doubles, with -0 told apart from +0 and NaN equal to NaN.
bool same_double(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

locale_t c_locale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

// ---- Durations -------------------------------------------------------------

struct duration_case {
  const char *text;
  double seconds;
};

const duration_case kDurations[] = {
    {"1:16:26", 4586},
    {"3:44", 224},
    {"90", 90},
    {"1.5", 1.5},
    {"3:44.5", 224.5},
    {"1:75", 135},
    {"1e3", 1000},
    {"0x1p4", 16},
    {"1:0x10", 76},
    {"01:02:03", 3723},
    {".5", 0.5},
    {"+7", 7},
    {"-0", 0},
    {"0:00", 0},
    // Whitespace before and after each field.
    {"  3 : 44  ", 224},
    {"3: 44", 224},
    {"\t1\n:\v2\f:\r3\n", 3723},
    // A final ':' is ignored; a field must follow once anything follows it.
    {"3:", 3},
    {"1:2:", 62},
    {"1:2:3:", 3723},
    {"3: ", 0},
    {"1::2", 0},
    // Nothing after the third field's ':' is looked at.
    {"1:2:3:4", 3723},
    {"1:2:3:x", 3723},
    {"1:2:3x", 0},
    {"3:44 x", 0},
    // Rejected fields.
    {"-5", 0},
    {"1:-2", 0},
    {"inf", 0},
    {"infinity", 0},
    {"-inf", 0},
    {"nan", 0},
    {"nan(123)", 0},
    {"1:nan", 0},
    {"1e999", 0},
    {"1:1e999", 0},
    {"abc", 0},
    {":5", 0},
    {"", 0},
    {" \t\r\n", 0},
    {"\2403", 0},  // \240, a no-break space, is not whitespace
    {"3:44\xa0", 0},
    {"1,5", 0},
    // Large fields combine without a further check.
    {"1e305:0:0", kInf},
};

TEST(Duration, ParsesTable) {
  for (const auto &c : kDurations) {
    SCOPED_TRACE(std::string("text: \"") + c.text + "\"");
    EXPECT_EQ(lyrn_parse_duration(c.text), c.seconds);
  }
}

TEST(Duration, NullIsZero) { EXPECT_EQ(lyrn_parse_duration(nullptr), 0.0); }

TEST(Duration, LeavesErrnoAlone) {
  errno = 4242;
  EXPECT_EQ(lyrn_parse_duration("1e999"), 0.0);  // strtod reports ERANGE here
  EXPECT_EQ(lyrn_parse_duration("0x1p-2000"), 0.0);
  EXPECT_EQ(errno, 4242);
}

TEST(Duration, ReadsFieldsAtTheEndOfAnExactBlock) {
  // No read past the last byte of a text that ends right after a field.
  const char *texts[] = {"3:44", "3:", "1e3", "0x10", "1:2:3:4"};
  for (const char *t : texts) {
    SCOPED_TRACE(t);
    lyrn_test::exact_block block(std::string(t) + '\0');
    EXPECT_EQ(lyrn_parse_duration(block.data()), lyrn_parse_duration(t));
  }
}

// ---- The number reader -----------------------------------------------------

// Texts around the limits of the built-in decimal reader and the forms it
// leaves to the C library.
const char *const kNumberTexts[] = {
    "0", "-0", "+0", "0.", ".0", ".", "-", "+", "+.5", "-.5", "1.", "  7", "\t-0.25",
    "0.1", "0.2", "0.3", "4.35", "224.5x", "3:44", "1,5", "1.5.6", "007", "00000000000000000000000000001",
    "9007199254740992", "9007199254740993", "9007199254740994", "18446744073709551616",
    "123456789012345678901234567890", "0.30000000000000004", "1.0000000000000000000001",
    "0.1234567890123456789012", "0.12345678901234567890123", "0.00000000000000000000001",
    "0.000000000000000000000003", "0.0000000000000000000000000000007", "1.000000000000000000000", "1.7976931348623157e308",
    "4.9e-324", "2.2250738585072014e-308", "1e", "1e+", "1e5", "1E-5", "1.5e1", "0x", "0x1p3",
    "0X1.8P1", "0x.8", "10x", "inf", "INF", "infinity", "nan", "nan(abc)", "nanx", "e5",
    "\2401", "1\240",  // \240: a no-break space
};

void expect_same_as_c_strtod(const char *text) {
  SCOPED_TRACE(std::string("text: \"") + text + "\"");
  char *want_end = nullptr;
  const double want = strtod_l(text, &want_end, c_locale());
  const char *end = nullptr;
  const double got = lyrn::c_strtod(text, &end);
  EXPECT_TRUE(same_double(got, want)) << got << " vs " << want;
  EXPECT_EQ(end - text, want_end - text);
}

TEST(NumberReader, MatchesStrtodInTheCLocale) {
  ASSERT_NE(c_locale(), static_cast<locale_t>(0));
  for (const char *t : kNumberTexts) expect_same_as_c_strtod(t);
}

TEST(NumberReader, MatchesStrtodOnRandomDecimals) {
  // Decimals of every length around the 2^53 and 22-fraction-digit limits,
  // so both the built-in reader and the fallback to the C library are hit.
  ASSERT_NE(c_locale(), static_cast<locale_t>(0));
  std::mt19937_64 rng(20240102);
  for (int i = 0; i < 40000; ++i) {
    std::string t;
    const unsigned sign = rng() % 4;
    if (sign == 1) t += '-';
    if (sign == 2) t += '+';
    const int int_digits = static_cast<int>(rng() % 20);
    const int frac_digits = static_cast<int>(rng() % 26);
    for (int k = 0; k < int_digits; ++k) t += static_cast<char>('0' + rng() % 10);
    if (rng() % 4 != 0) t += '.';
    // Leading zeros keep long fractions small enough for the built-in reader.
    if (rng() % 3 == 0) t.append(rng() % 25, '0');
    for (int k = 0; k < frac_digits; ++k) t += static_cast<char>('0' + rng() % 10);
    expect_same_as_c_strtod(t.c_str());
    if (HasFailure()) return;
  }
}

// ---- Numbers under a decimal-comma locale ----------------------------------

class DecimalCommaLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not generated";
    // The host's own strtod now reads ',' as the decimal point.
    char *end = nullptr;
    ASSERT_EQ(std::strtod("1,5", &end), 1.5);
  }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(DecimalCommaLocale, DurationsKeepTheDecimalPoint) {
  const duration_case cases[] = {
      {"3:44.5", 224.5}, {"1.5", 1.5}, {"1.5e1", 15}, {"0x1.8p1", 3},
      {"1:0.30000000000000000000001", 60.3}, {"1,5", 0}, {"3:44,5", 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string("text: \"") + c.text + "\"");
    EXPECT_EQ(lyrn_parse_duration(c.text), c.seconds);
  }
}

TEST_F(DecimalCommaLocale, NumberReaderMatchesTheCLocale) {
  ASSERT_NE(c_locale(), static_cast<locale_t>(0));
  for (const char *t : kNumberTexts) expect_same_as_c_strtod(t);
}

TEST_F(DecimalCommaLocale, WithoutACLocaleObjectNoValueIsMisread) {
  // Plain decimals are still read; the forms that need the C library are
  // read as nothing rather than with ',' as the decimal point.
  const char *end = nullptr;
  const char plain[] = "2.5:";
  EXPECT_EQ(lyrn::c_strtod_using(plain, &end, static_cast<locale_t>(0)), 2.5);
  EXPECT_EQ(end, plain + 3);
  const char *const unread[] = {"2.5e1", "0x1.8p1", "123456789012345678901234.5"};
  for (const char *t : unread) {
    SCOPED_TRACE(t);
    lyrn::c_strtod_using(t, &end, static_cast<locale_t>(0));
    EXPECT_EQ(end, t);
  }
}

TEST(NumberReader, WithoutACLocaleObjectUsesStrtodWhenThePointIsADot) {
  const char text[] = "2.5e1:";
  const char *end = nullptr;
  EXPECT_EQ(lyrn::c_strtod_using(text, &end, static_cast<locale_t>(0)), 25.0);
  EXPECT_EQ(end, text + 5);
}

// ---- Formatting ------------------------------------------------------------

struct format_case {
  double seconds;
  std::size_t buf_size;
  std::int32_t result;
  const char *text;  // what the buffer holds afterwards
};

const format_case kFormats[] = {
    {4586, 32, 7, "1:16:26"},
    {224, 32, 4, "3:44"},
    {0, 5, 4, "0:00"},
    {-3, 5, 4, "0:00"},
    {-0.0, 5, 4, "0:00"},
    {kNaN, 5, 4, "0:00"},
    {kInf, 5, 4, "0:00"},
    {-kInf, 5, 4, "0:00"},
    {0.5, 5, 4, "0:00"},
    {59.9, 32, 4, "0:59"},
    {3599.99, 32, 5, "59:59"},
    {3600, 32, 7, "1:00:00"},
    {90000, 32, 8, "25:00:00"},
    {360000, 32, 9, "100:00:00"},
    // The text must fit with its NUL; a cut text is NUL-terminated.
    {224, 5, 4, "3:44"},
    {224, 4, -1, "3:4"},
    {224, 1, -1, ""},
    {0, 4, -1, "0:0"},
    {3600, 7, -1, "1:00:0"},
    // The largest double below 2^63 still fits; 2^63 and above are clamped.
    {9223372036854774784.0, 64, 22, "2562047788015215:13:04"},
    {9223372036854775808.0, 64, 22, "2562047788015215:30:07"},
    {1e300, 64, 22, "2562047788015215:30:07"},
    {std::numeric_limits<double>::max(), 64, 22, "2562047788015215:30:07"},
};

TEST(FormatDuration, WritesTable) {
  for (const auto &c : kFormats) {
    SCOPED_TRACE("seconds " + std::to_string(c.seconds) + ", size " + std::to_string(c.buf_size));
    char buf[72];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(lyrn_format_duration(c.seconds, buf, c.buf_size), c.result);
    EXPECT_STREQ(buf, c.text);
    EXPECT_EQ(buf[c.buf_size], '#') << "wrote past buf_size";
  }
}

TEST(FormatDuration, NoBufferIsAnError) {
  char buf[8] = "keep";
  EXPECT_EQ(lyrn_format_duration(224, nullptr, 8), -1);
  EXPECT_EQ(lyrn_format_duration(224, buf, 0), -1);
  EXPECT_STREQ(buf, "keep");
}

TEST(FormatDuration, RoundTripsWholeSeconds) {
  const double values[] = {1, 59, 60, 61, 224, 3599, 3600, 4586, 86399, 86400, 359999};
  for (double v : values) {
    SCOPED_TRACE(v);
    char buf[32];
    ASSERT_GT(lyrn_format_duration(v, buf, sizeof buf), 0);
    EXPECT_EQ(lyrn_parse_duration(buf), v) << buf;
  }
}

// ---- days_from_civil -------------------------------------------------------

// Floor division, for the reference count of leap years below.
std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

// Leap years among 1..y (negative for y < 0), so that the leap years in
// [a, b] number leaps_up_to(b) - leaps_up_to(a - 1) for any a <= b.
std::int64_t leaps_up_to(std::int64_t y) { return floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400); }

bool is_leap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days since 1970-01-01 counted year by year, independent of the era method.
std::int64_t reference_days(std::int64_t year, unsigned month, std::int64_t day) {
  static const int kBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return 365 * (year - 1970) + leaps_up_to(year - 1) - leaps_up_to(1969) + kBeforeMonth[month - 1] +
         ((month > 2 && is_leap(year)) ? 1 : 0) + day - 1;
}

TEST(DaysFromCivil, ReferencePoints) {
  EXPECT_EQ(lyrn::days_from_civil(1970, 1, 1), 0);
  EXPECT_EQ(lyrn::days_from_civil(1969, 12, 31), -1);
  EXPECT_EQ(lyrn::days_from_civil(2000, 3, 1), 11017);
  EXPECT_EQ(lyrn::days_from_civil(2024, 3, 2), 19784);
  EXPECT_EQ(lyrn::days_from_civil(2024, 2, 31), lyrn::days_from_civil(2024, 3, 2));
  EXPECT_EQ(lyrn::days_from_civil(0, 3, 1), -719468);
}

TEST(DaysFromCivil, MatchesAYearByYearCount) {
  for (std::int32_t y = -801; y <= 2801; ++y) {
    for (unsigned m = 1; m <= 12; ++m) {
      for (unsigned d : {1u, 28u, 31u}) {
        ASSERT_EQ(lyrn::days_from_civil(y, m, d), reference_days(y, m, d)) << y << "-" << m << "-" << d;
      }
    }
  }
}

TEST(DaysFromCivil, ExtremeYearsAndDaysDoNotOverflow) {
  const std::int32_t years[] = {INT32_MIN, INT32_MIN + 1, -400, -1, 0, 1, INT32_MAX - 1, INT32_MAX};
  const unsigned months[] = {1, 2, 3, 12};
  const std::uint32_t days[] = {1, 31, UINT32_MAX};
  for (std::int32_t y : years)
    for (unsigned m : months)
      for (std::uint32_t d : days)
        EXPECT_EQ(lyrn::days_from_civil(y, m, d), reference_days(y, m, d)) << y << "-" << m << "-" << d;
}

// ---- Publication dates -----------------------------------------------------

struct date_case {
  const char *text;
  std::int64_t seconds;
};

const date_case kDates[] = {
    // Zones: numeric "+hhmm"/"-hhmm" only; anything else is UTC.
    {"Tue, 02 Jan 2024 10:00:00 GMT", 1704189600},
    {"Tue, 02 Jan 2024 10:00:00 +0200", 1704182400},
    {"Tue, 02 Jan 2024 10:00:00 -0130", 1704195000},
    {"Tue, 02 Jan 2024 10:00:00 EST", 1704189600},
    {"Tue, 02 Jan 2024 10:00:00 +02:00", 1704189600},
    {"Tue, 02 Jan 2024 10:00:00 +02", 1704189600},
    {"Tue, 02 Jan 2024 10:00:00 Z", 1704189600},
    {"Tue, 02 Jan 2024 10:00:00 +2400", 1704103200},
    {"Tue, 02 Jan 2024 10:00:00+0200", 1704182400},
    {"Tue, 02 Jan 2024 10:00:00 +0200 (CEST) more", 1704182400},
    // Weekday prefix: up to 10 characters before the first ','.
    {"Wednesday, 03 Jan 2024 10:00:00 GMT", 1704276000},
    {"  Tue,02 Jan 2024 10:00:00 +0000 (UTC)", 1704189600},
    {"abcdefghij, 02 Jan 2024 10:00:00 GMT", 1704189600},
    {"abcdefghijk, 02 Jan 2024 10:00:00 GMT", 0},
    {", 02 Jan 2024 10:00:00 GMT", 1704189600},
    {"02 Jan 2024 10:00:00 GMT, later text", 1704189600},
    {"Tue 02 Jan 2024 10:00:00 GMT", 0},
    // Month by its first three letters, any case.
    {"02 jan 2024 10:00:00", 1704189600},
    {"Tue, 02 January 2024 10:00:00 GMT", 1704189600},
    {"Tue, 02 JAN. 2024 10:00:00 GMT", 1704189600},
    {"Tue, 02 Dec 2024 10:00:00 GMT", 1733133600},
    {"Tue, 02 Ja 2024 10:00:00 GMT", 0},
    {"Tue, 02 Xyz 2024 10:00:00 GMT", 0},
    {"Tue, 02 Janvier2024 10:00:00 GMT", 0},
    // Fields: six are needed; days are 1..31; years from 1970.
    {"Tue, 02 Jan 2024 10:00 GMT", 0},
    {"Tue, 02 Jan 2024", 0},
    {"Tue, 00 Jan 2024 10:00:00 GMT", 0},
    {"Tue, 32 Jan 2024 10:00:00 GMT", 0},
    {"Tue, -1 Jan 2024 10:00:00 GMT", 0},
    {"Tue, 02 Jan 1969 10:00:00 GMT", 0},
    {"Tue, 02 Jan 24 10:00:00 GMT", 0},
    {"Thu, 01 Jan 1970 00:00:01 GMT", 1},
    {"Tue,\t02\nJan\r2024\f10:00:00\vGMT", 1704189600},
    {"Tue, 02 Jan 2024 10 : 00:00 GMT", 0},
    {"Tue, 02 Jan 2024 10: 00: 00 GMT", 1704189600},
    {"Tue, 0000000002 Jan 000000002024 10:00:00 GMT", 1704189600},
    // Excess hours, minutes, seconds and days carry over.
    {"Tue, 31 Feb 2024 10:00:00 GMT", 1709373600},
    {"Tue, 02 Jan 2024 25:61:61 GMT", 1704247321},
    {"Tue, 02 Jan 2024 -1:00:00 GMT", 1704150000},
    // ISO form: taken as UTC, nothing after the seconds is read.
    {"2024-01-02T10:00:00", 1704189600},
    {"2024-01-02T10:00:00Z", 1704189600},
    {"2024-01-02T10:00:00+02:00", 1704189600},
    {"2024-01-02T10:00:00.750-05:00", 1704189600},
    {" \t2024-01-02T10:00:00", 1704189600},
    {"1969-12-31T23:59:59", -1},
    {"0000-03-01T00:00:00", -719468LL * 86400},
    {"2024-02-31T00:00:00", 1709337600},
    {"2024-01-02T25:61:61", 1704247321},
    {"2024-01-02", 0},
    {"2024-01-02 10:00:00", 0},
    {"2024-01-02t10:00:00", 0},
    {"2024-13-01T00:00:00", 0},
    {"2024-00-01T00:00:00", 0},
    {"2024-01-32T00:00:00", 0},
    {"2024-01-00T00:00:00", 0},
    // An ISO start with fewer than six fields is read again as RFC 2822.
    {"2024-Tue, 02 Jan 2024 10:00:00 GMT", 1704189600},
    {"-2024-01-02T10:00:00", 0},
    {"", 0},
    {" \t\r\n", 0},
};

TEST(PublicationDate, ParsesTable) {
  for (const auto &c : kDates) {
    SCOPED_TRACE(std::string("text: \"") + c.text + "\"");
    EXPECT_EQ(lyrn_parse_rfc2822_date(c.text), c.seconds);
  }
}

TEST(PublicationDate, NullIsZero) { EXPECT_EQ(lyrn_parse_rfc2822_date(nullptr), 0); }

TEST(PublicationDate, FieldsOutsideInt32AreRejected) {
  const char *const texts[] = {
      "Tue, 02 Jan 99999999999 10:00:00 GMT",
      "Tue, 02 Jan 2147483648 10:00:00 GMT",
      "Tue, 4294967298 Jan 2024 10:00:00 GMT",  // would wrap to 2 in 32 bits
      "Tue, 02 Jan 2024 2147483648:00:00 GMT",
      "Tue, 02 Jan 2024 10:00:-2147483649 GMT",
      "2147483648-01-01T00:00:00",
      "2024-4294967297-01T00:00:00",  // would wrap to 1 in 32 bits
      "2024-01-02T10:00:99999999999999999999999",
  };
  for (const char *t : texts) {
    SCOPED_TRACE(t);
    EXPECT_EQ(lyrn_parse_rfc2822_date(t), 0);
  }
}

TEST(PublicationDate, Int32ExtremesAreComputedExactly) {
  struct extreme_case {
    const char *text;
    std::int64_t year, month, day, hour, minute, second, offset;
  };
  const std::int64_t max = INT32_MAX, min = INT32_MIN;
  const extreme_case cases[] = {
      {"9999-12-31T2147483647:2147483647:2147483647", 9999, 12, 31, max, max, max, 0},
      {"0000-01-01T-2147483648:-2147483648:-2147483648", 0, 1, 1, min, min, min, 0},
      {"Fri, 31 Dec 2147483647 2147483647:2147483647:2147483647 -9999", max, 12, 31, max, max, max,
       -(99 * 3600 + 99 * 60)},
      {"01 Jan 1970 -2147483648:-2147483648:-2147483648 +9999", 1970, 1, 1, min, min, min,
       99 * 3600 + 99 * 60},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    const std::int64_t want = reference_days(c.year, static_cast<unsigned>(c.month), c.day) * 86400 +
                              c.hour * 3600 + c.minute * 60 + c.second - c.offset;
    EXPECT_EQ(lyrn_parse_rfc2822_date(c.text), want);
  }
}

TEST(TimeValues, LeaveTheLastErrorAlone) {
  lyrn_parse_feed_json(nullptr, 0, nullptr);
  ASSERT_STREQ(lyrn_last_error(), "null xml");
  char buf[16];
  lyrn_parse_duration("3:44");
  lyrn_format_duration(224, buf, sizeof buf);
  lyrn_parse_rfc2822_date("Tue, 02 Jan 2024 10:00:00 GMT");
  EXPECT_STREQ(lyrn_last_error(), "null xml");
}

// ---- The field reader against sscanf ---------------------------------------

constexpr const char kIso[] = "%d-%d-%dT%d:%d:%d";
constexpr const char kRfc[] = "%d %15s %d %d:%d:%d %15s";

// Texts whose numbers all fit in an int32, so sscanf's results are defined.
const char *const kScanTexts[] = {
    "", "  ", "\t\n", "-", "- 5", "+", "+x", "x", " -5", "5-", "+-1", "\24002 Jan",
    "2024 -01", "2024-\n01-02T10:00:00", "2024-01-02T10:00:00", "2024-01-02t10:00:00",
    "2024-01-02T10:00", "2024-01-02T10 :00:00", "2024-01-02T10: 00:00", "2024-01-02T10:00:00Z",
    "+2024-+01--02T-1:+2:3", "2024--01", "2024-01-02T", "0002024-0001-02T03:04:05.6",
    "02 Jan 2024 10:00:00 GMT", "02\tJan\n2024\r10:00:00\f+0200 trailing",
    "02 Jan 2024 10:00:00+0200", "02Jan 2024 10:00:00", "02 Jan2024 10:00:00 X",
    "02 abcdefghijklmnopqrstuvwxyz 2024 1:2:3 Z", "02 Jan 2024 10:00:00 zoneabcdefghijklmnop",
    "1 J\xc3\xa4n 2024 1:2:3 \xc2\xa0Z", "02 Jan 2024 10:00:00 ", "02 Jan 2024 10:00:00", "02 Jan",
    "02 Jan ", "02 -5 2024", "02 Jan 2024 10 : 00 : 00", "0002 Jan 02024 010:000:00 -0000",
    "2147483647 Jan -2147483648 0:0:0 +", "02 Jan 2024 10:00:", "02 Jan 2024 10::00",
    "02 Jan - 2024", "02 123456789012345678 2024 1:2:3", "02 Jan 2024 1:2:3\t\t\t\t\t",
};

void expect_same_as_sscanf(const char *text, const char *format) {
  SCOPED_TRACE(std::string("text: \"") + text + "\", format: " + format);
  int n[6] = {0, 0, 0, 0, 0, 0};
  char t[2][16] = {{0}, {0}};
  int want;
  // Which conversions are numbers, in order: 'd' for a number, 's' for a token.
  const char *kinds;
  if (std::strcmp(format, kIso) == 0) {
    want = std::sscanf(text, kIso, &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]);
    kinds = "dddddd";
  } else {
    want = std::sscanf(text, kRfc, &n[0], t[0], &n[1], &n[2], &n[3], &n[4], t[1]);
    kinds = "dsdddds";
  }
  lyrn::scanned_fields got;
  lyrn::scan_fields(text, format, &got);
  EXPECT_FALSE(got.overflow);
  ASSERT_EQ(got.count, want);
  int ni = 0, ti = 0;
  for (int k = 0; k < want; ++k) {
    if (kinds[k] == 'd') {
      EXPECT_EQ(got.num[ni], n[ni]) << "number " << ni;
      ++ni;
    } else {
      EXPECT_STREQ(got.tok[ti], t[ti]) << "token " << ti;
      ++ti;
    }
  }
}

TEST(FieldReader, MatchesSscanf) {
  for (const char *t : kScanTexts) {
    expect_same_as_sscanf(t, kIso);
    expect_same_as_sscanf(t, kRfc);
  }
}

TEST(FieldReader, NumbersOutsideInt32StopTheScan) {
  struct int_case {
    const char *text;
    bool overflow;
    std::int32_t value;
  };
  const int_case cases[] = {
      {"2147483647", false, INT32_MAX},
      {"-2147483648", false, INT32_MIN},
      {"+0002147483647", false, INT32_MAX},
      {"2147483648", true, 0},
      {"-2147483649", true, 0},
      {"4294967296", true, 0},
      {"99999999999999999999999999", true, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    lyrn::scanned_fields f;
    lyrn::scan_fields(c.text, "%d", &f);
    EXPECT_EQ(f.overflow, c.overflow);
    EXPECT_EQ(f.count, c.overflow ? 0 : 1);
    if (!c.overflow) {
      EXPECT_EQ(f.num[0], c.value);
    }
  }
}

// More directives than the reader has room for, or one it does not know,
// stop the scan there, as a matching failure stops sscanf: the fields it has
// are kept and nothing is written past its six numbers and two tokens.
TEST(FieldReader, StopsAtADirectiveItHasNoRoomForOrDoesNotKnow) {
  struct stop_case {
    const char *format;
    int count;
  };
  const stop_case cases[] = {
      {"%d %d %d %d %d %d %d", 6},
      {"%s %s %s", 2},
      {"%d %x %d", 1},
      {"%d %c", 1},
  };
  for (const stop_case &c : cases) {
    SCOPED_TRACE(c.format);
    lyrn::scanned_fields f;
    std::memset(&f, 0x5A, sizeof f);
    lyrn::scan_fields("1 2 3 4 5 6 7 8", c.format, &f);
    EXPECT_EQ(f.count, c.count);
    EXPECT_FALSE(f.overflow);
    if (c.format[1] == 'd') {
      EXPECT_EQ(f.num[0], 1);
    }
  }
  lyrn::scanned_fields seven;
  lyrn::scan_fields("1 2 3 4 5 6 7", "%d %d %d %d %d %d %d", &seven);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(seven.num[k], k + 1);
}

}  // namespace
