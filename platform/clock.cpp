#include "platform/clock.h"

#include <cstdlib>
#include <ctime>

namespace pv {

namespace {

// Last second of 9999-12-31 UTC.
constexpr int64_t kLastEpochSecond = 253402300799;

void AppendPadded(std::string& out, int64_t v, int digits) {
  const bool negative = v < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  char buf[24];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) out.push_back('-');
  for (int i = n; i < digits; ++i) out.push_back('0');
  while (n > 0) out.push_back(buf[--n]);
}

}  // namespace

int32_t StandardTimeBias() {
#ifdef _WIN32
  _tzset();
  long seconds = 0;
  _get_timezone(&seconds);
#else
  tzset();
  const long seconds = timezone;
#endif
  return static_cast<int32_t>(seconds / 60);
}

TDateTimeParts LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &now);
#else
  localtime_r(&now, &tm);
#endif
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

TDateTimeParts UtcFromEpoch(int64_t seconds) {
  // Days since the epoch and the second of the day, flooring for instants before 1970.
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from a day count, in 400-year eras starting on 1 March.
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  return {static_cast<int32_t>(year),
          static_cast<int32_t>(month),
          static_cast<int32_t>(day),
          static_cast<int32_t>(rest / 3600),
          static_cast<int32_t>(rest % 3600 / 60),
          static_cast<int32_t>(rest % 60)};
}

std::optional<int64_t> ParseSourceDateEpoch(std::string_view text) {
  if (text.empty()) return std::nullopt;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > kLastEpochSecond) return std::nullopt;
  }
  return v;
}

std::string PdfTimeZoneText(int32_t biasMinutes) {
  // Hours toward UTC with the sign of the offset; the minutes are always written without
  // a sign. A zone less than an hour west of UTC keeps its "-" on the hours ("-00'30'").
  const int64_t bias = biasMinutes;
  std::string s;
  if (bias > 0) {
    s.push_back('-');
    AppendPadded(s, bias / 60, 2);
    s.push_back('\'');
    AppendPadded(s, bias % 60, 2);
  } else {
    s.push_back('+');
    AppendPadded(s, -bias / 60, 2);
    s.push_back('\'');
    AppendPadded(s, -bias % 60, 2);
  }
  s.push_back('\'');
  return s;
}

std::string PdfDateText(const TDateTimeParts& t, int32_t biasMinutes) {
  std::string s = "D:";
  AppendPadded(s, t.Year, 4);
  AppendPadded(s, t.Month, 2);
  AppendPadded(s, t.Day, 2);
  AppendPadded(s, t.Hour, 2);
  AppendPadded(s, t.Minute, 2);
  AppendPadded(s, t.Second, 2);
  s += PdfTimeZoneText(biasMinutes);
  return s;
}

std::string DocumentDateFrom(const char* sourceDateEpoch, const TDateTimeParts& local,
                             int32_t biasMinutes) {
  if (sourceDateEpoch != nullptr) {
    if (const auto epoch = ParseSourceDateEpoch(sourceDateEpoch))
      return PdfDateText(UtcFromEpoch(*epoch), 0);
  }
  return PdfDateText(local, biasMinutes);
}

std::string DocumentDate() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch != nullptr && ParseSourceDateEpoch(epoch)) return DocumentDateFrom(epoch, {}, 0);
  return DocumentDateFrom(nullptr, LocalNow(), StandardTimeBias());
}

}  // namespace pv
