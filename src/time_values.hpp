// SPDX-License-Identifier: MIT
// Time values: durations and publication dates, behind the exports
// lyrn_parse_duration, lyrn_format_duration and lyrn_parse_rfc2822_date.
#pragma once

#include <locale.h>

#include <cstddef>
#include <cstdint>

namespace lyrn {

// Clock text ("224.5", "3:44", "1:16:26") to seconds; 0 when it cannot be
// read or is null.
double parse_duration(const char *text);

// Seconds as "h:mm:ss" or "m:ss" ("0:00" for none) into buf; the length
// written, or -1 when buf is null, empty or too small.
std::int32_t format_duration(double seconds, char *buf, std::size_t buf_size);

// An RFC 2822 or ISO 8601 date-time to Unix seconds; 0 when it cannot be read.
std::int64_t parse_rfc2822_date(const char *text);

// English month abbreviations in calendar order; index + 1 is the month.
extern const char *const kMonths[12];

// Days since 1970-01-01 in the proleptic Gregorian calendar, for month 1-12.
std::int64_t days_from_civil(std::int32_t year, std::uint32_t month, std::uint32_t day);

// Reads a number exactly as strtod does in the "C" locale, whatever locale the
// host has set: '.' is the decimal point. *end is set past the number, or to
// s when nothing could be read.
double c_strtod(const char *s, const char **end);

// The same read with the given "C" locale object for the forms the built-in
// decimal reader leaves to the C library. A null object takes the path used
// when no such object could be created: the process locale's strtod when its
// decimal point is ".", else those forms read as nothing.
double c_strtod_using(const char *s, const char **end, locale_t c_locale);

// What scan_fields found: its count follows sscanf's return value (-1 when the
// input ends before the first conversion). Numbers and tokens are stored in
// the order of their directives, tokens NUL-terminated.
struct scanned_fields {
  int count;
  bool overflow;  // a number did not fit in 32 bits; the scan stopped there
  std::int32_t num[6];
  char tok[2][16];
};

// Matches text against a format of "%d", "%<width>s" (width 1-15), spaces and
// literal characters with sscanf's rules, but with "C" locale whitespace and
// without the undefined result of a %d that does not fit in an int32.
void scan_fields(const char *text, const char *format, scanned_fields *out);

}  // namespace lyrn
