#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "support/support.h"

namespace pv {
namespace {

TEST(Clock, TimeZoneTexts) {
  EXPECT_EQ(PdfTimeZoneText(-330), "+05'30'");  // east: UTC+5:30
  EXPECT_EQ(PdfTimeZoneText(-345), "+05'45'");
  EXPECT_EQ(PdfTimeZoneText(-60), "+01'00'");
  EXPECT_EQ(PdfTimeZoneText(-840), "+14'00'");
  EXPECT_EQ(PdfTimeZoneText(300), "-05'00'");  // west: UTC-5
  EXPECT_EQ(PdfTimeZoneText(210), "-03'30'");
  EXPECT_EQ(PdfTimeZoneText(720), "-12'00'");
  EXPECT_EQ(PdfTimeZoneText(0), "+00'00'");  // UTC
  // Less than an hour from UTC: the sign stays on the hours, the minutes have none.
  EXPECT_EQ(PdfTimeZoneText(-30), "+00'30'");
  EXPECT_EQ(PdfTimeZoneText(30), "-00'30'");
}

TEST(Clock, DateTexts) {
  EXPECT_EQ(PdfDateText({2024, 3, 7, 9, 5, 3}, -60), "D:20240307090503+01'00'");
  EXPECT_EQ(PdfDateText({1999, 12, 31, 23, 59, 59}, 300), "D:19991231235959-05'00'");
  EXPECT_EQ(PdfDateText({987, 1, 1, 0, 0, 0}, 0), "D:09870101000000+00'00'");
}

TEST(Clock, UtcFromEpoch) {
  EXPECT_EQ(UtcFromEpoch(0), (TDateTimeParts{1970, 1, 1, 0, 0, 0}));
  EXPECT_EQ(UtcFromEpoch(1700000000), (TDateTimeParts{2023, 11, 14, 22, 13, 20}));
  EXPECT_EQ(UtcFromEpoch(951782400), (TDateTimeParts{2000, 2, 29, 0, 0, 0}));
  EXPECT_EQ(UtcFromEpoch(4107542399), (TDateTimeParts{2100, 2, 28, 23, 59, 59}));
  EXPECT_EQ(UtcFromEpoch(253402300799), (TDateTimeParts{9999, 12, 31, 23, 59, 59}));
  EXPECT_EQ(UtcFromEpoch(-1), (TDateTimeParts{1969, 12, 31, 23, 59, 59}));
}

TEST(Clock, SourceDateEpochValues) {
  EXPECT_EQ(ParseSourceDateEpoch("1700000000"), std::optional<int64_t>(1700000000));
  EXPECT_EQ(ParseSourceDateEpoch("007"), std::optional<int64_t>(7));
  EXPECT_EQ(ParseSourceDateEpoch("0"), std::optional<int64_t>(0));
  EXPECT_EQ(ParseSourceDateEpoch("253402300799"), std::optional<int64_t>(253402300799));
  EXPECT_FALSE(ParseSourceDateEpoch("253402300800"));  // five year digits
  EXPECT_FALSE(ParseSourceDateEpoch("99999999999999999999999999"));
  EXPECT_FALSE(ParseSourceDateEpoch(""));
  EXPECT_FALSE(ParseSourceDateEpoch(" 1"));
  EXPECT_FALSE(ParseSourceDateEpoch("12a"));
  EXPECT_FALSE(ParseSourceDateEpoch("-5"));
  EXPECT_FALSE(ParseSourceDateEpoch("1.5"));
}

TEST(Clock, DocumentDateFromReadings) {
  const TDateTimeParts local{2024, 6, 1, 14, 30, 0};
  EXPECT_EQ(DocumentDateFrom(nullptr, local, -330), "D:20240601143000+05'30'");
  EXPECT_EQ(DocumentDateFrom(nullptr, local, 300), "D:20240601143000-05'00'");
  EXPECT_EQ(DocumentDateFrom(nullptr, local, 0), "D:20240601143000+00'00'");
  // SOURCE_DATE_EPOCH: that instant in UTC, whatever the zone.
  EXPECT_EQ(DocumentDateFrom("1700000000", local, -330), "D:20231114221320+00'00'");
  EXPECT_EQ(DocumentDateFrom("0", local, 300), "D:19700101000000+00'00'");
  // An unusable value leaves the clock in charge.
  EXPECT_EQ(DocumentDateFrom("soon", local, 300), "D:20240601143000-05'00'");
  EXPECT_EQ(DocumentDateFrom("", local, 300), "D:20240601143000-05'00'");
}

using pvtest::ScopedEnv;

TEST(Clock, DocumentDateFromTheEnvironment) {
  {
    ScopedEnv epoch("SOURCE_DATE_EPOCH", "1700000000");
    ScopedEnv tz("TZ", "IST-5:30");
    EXPECT_EQ(DocumentDate(), "D:20231114221320+00'00'");
  }
  ScopedEnv epoch("SOURCE_DATE_EPOCH", nullptr);
  {
    ScopedEnv tz("TZ", "IST-5:30");
    EXPECT_EQ(StandardTimeBias(), -330);
    const std::string d = DocumentDate();
    ASSERT_EQ(d.size(), 23u);
    EXPECT_EQ(d.substr(0, 2), "D:");
    EXPECT_EQ(d.substr(16), "+05'30'");
  }
  {
    // Daylight saving is never applied to the zone part, in summer neither.
    ScopedEnv tz("TZ", "EST5EDT,M1.1.0,M12.5.0");
    EXPECT_EQ(StandardTimeBias(), 300);
    EXPECT_EQ(DocumentDate().substr(16), "-05'00'");
  }
  {
    ScopedEnv tz("TZ", "UTC0");
    EXPECT_EQ(StandardTimeBias(), 0);
    const std::string d = DocumentDate();
    EXPECT_EQ(d.substr(16), "+00'00'");
    // The clock part: fourteen digits of a plausible date and time.
    for (size_t i = 2; i < 16; ++i) EXPECT_TRUE(d[i] >= '0' && d[i] <= '9') << d;
    const int month = std::stoi(d.substr(6, 2));
    const int hour = std::stoi(d.substr(10, 2));
    EXPECT_TRUE(month >= 1 && month <= 12) << d;
    EXPECT_TRUE(hour >= 0 && hour <= 23) << d;
  }
}

}  // namespace
}  // namespace pv
