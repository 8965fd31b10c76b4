#pragma once
// Local time and time-zone bias for the document dates, and the reproducible-builds
// override SOURCE_DATE_EPOCH. The text is made by pure functions so that any clock and
// zone can be fed in.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pv {

// A broken-down wall-clock time.
struct TDateTimeParts {
  int32_t Year = 1970;
  int32_t Month = 1;  // 1..12
  int32_t Day = 1;    // 1..31
  int32_t Hour = 0;   // 0..23
  int32_t Minute = 0;
  int32_t Second = 0;
  friend bool operator==(const TDateTimeParts&, const TDateTimeParts&) = default;
};

// The standard-time bias of the local time zone in minutes, positive west of UTC, as
// tzset() reports it; daylight saving is not applied.
int32_t StandardTimeBias();

// The C library's local time now.
TDateTimeParts LocalNow();

// The instant `seconds` after 1970-01-01 00:00:00 UTC, broken down in UTC.
TDateTimeParts UtcFromEpoch(int64_t seconds);

// The instant of a SOURCE_DATE_EPOCH value: decimal digits only, from 0 up to the last
// second of the year 9999 (a date text has four year digits). Anything else is unusable.
std::optional<int64_t> ParseSourceDateEpoch(std::string_view text);

// The zone part of a PDF date for a bias in minutes (positive west):
// -330 -> "+05'30'", 300 -> "-05'00'", 0 -> "+00'00'".
std::string PdfTimeZoneText(int32_t biasMinutes);

// "D:" + yyyymmddhhnnss + the zone part.
std::string PdfDateText(const TDateTimeParts& t, int32_t biasMinutes);

// The document date from given readings: with a usable sourceDateEpoch (null when the
// variable is unset) that instant in UTC with "+00'00'", else local time with the bias.
std::string DocumentDateFrom(const char* sourceDateEpoch, const TDateTimeParts& local,
                             int32_t biasMinutes);

// The document date now: SOURCE_DATE_EPOCH from the environment, else the local clock
// and the standard-time bias.
std::string DocumentDate();

}  // namespace pv
