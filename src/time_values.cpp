// PLACEHOLDER until the time-values module lands.
#include "time_values.hpp"
#include "lyrn.h"
namespace lyrn {
const char *const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
std::int64_t days_from_civil(std::int32_t, std::uint32_t, std::uint32_t) { return 0; }
}
extern "C" {
LYRN_API double lyrn_parse_duration(const char *) { return 0; }
LYRN_API int32_t lyrn_format_duration(double, char *, size_t) { return -1; }
LYRN_API int64_t lyrn_parse_rfc2822_date(const char *) { return 0; }
}
