// The clock and local-time texts of the history and the task logs. Times are seconds since
// 1970 (UTC) in 64 bits, so that dates after January 2038 stay what they are.
#pragma once

#include <cstdint>
#include <string>

// The current time.
std::int64_t current_time();

// `time` in the local time zone, formatted by strftime with `format` in the process's current
// locale. Returns the empty text when the time cannot be converted (out of the calendar's range)
// or the conversion gives nothing; the caller chooses what stands in for it.
std::string format_local_time(std::int64_t time, const char* format);

// `time` in the local time zone with `format`, or, when that gives nothing, `time` in decimal.
std::string format_local_time_or_number(std::int64_t time, const char* format);
