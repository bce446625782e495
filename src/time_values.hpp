// Time values: durations and publication dates. The exports are
// lyrn_parse_duration, lyrn_format_duration and lyrn_parse_rfc2822_date.
#pragma once

#include <cstdint>

namespace lyrn {

// English month abbreviations in calendar order; index + 1 is the month.
extern const char *const kMonths[12];

// Days since 1970-01-01 in the proleptic Gregorian calendar, for month 1-12.
std::int64_t days_from_civil(std::int32_t year, std::uint32_t month, std::uint32_t day);

}  // namespace lyrn
