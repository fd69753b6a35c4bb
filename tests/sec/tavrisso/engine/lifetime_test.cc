// Ticket validity against a fixed clock, in UTC whatever the process time zone.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

#include "qorjwt.h"
#include "sec/tavrisso/engine/lifetime.h"
#include "sec/tavrisso/engine/listtest.h"
#include "testutil.h"

namespace {

// 2026-12-06 19:30:00 UTC.
constexpr time_t kNow = 1796585400;

struct tm Tm(int year, int mon, int mday, int hour = 0, int min = 0) {
  struct tm t = {};
  t.tm_year = year - 1900, t.tm_mon = mon, t.tm_mday = mday, t.tm_hour = hour, t.tm_min = min;
  return t;
}

// A ticket's validity units: creation time (converted, so its character
// length is set) and optional hours and minutes.
struct Ticket : listtest::List {
  Ticket& With(InfoUnitID id, const std::string& value, int16_t chars = 0) {
    Add(id, value)->iContentLChars = chars;
    return *this;
  }
  Ticket& Created(const std::string& text) { return With(cIUnitTCrea, text, static_cast<int16_t>(text.size())); }
  Ticket& Int(InfoUnitID id, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    return With(id, {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
                     static_cast<char>(u)});
  }
  Ticket& Hours(int32_t h) { return Int(cIUnitTVal, h); }
  Ticket& Minutes(int32_t m) { return Int(cIUnitTValMin, m); }
};

// Result and remaining seconds at kNow (+ offset seconds).
std::pair<int32_t, int64_t> Check(const Ticket& t, time_t offset = 0) {
  int64_t rem = -12345;
  int32_t rc = HRazuCheckValidityAt(t.head, &rem, kNow + offset);
  return {rc, rem};
}

TEST(InvMkTime, CountsUtcSecondsWithGregorianLeapYears) {
  const struct tm next_jan = Tm(2027, 0, 1);
  const uint32_t jan = HRazuInvMkTime(const_cast<struct tm*>(&next_jan));
  const struct { struct tm t; uint32_t want; } rows[] = {
      {Tm(1970, 0, 1), 0u}, {Tm(2000, 2, 1), 951868800u}, {Tm(2100, 2, 1), 4107542400u},
      {Tm(2026, 11, 6, 19, 30), static_cast<uint32_t>(kNow)},
      {Tm(1969, 0, 1, 1), 3600u},  // years up to 1970 add nothing
      // Month 13 follows all twelve months; each month after it counts -1 day.
      {Tm(2026, 12, 1), jan}, {Tm(2026, 14, 1), jan - 2 * 86400u},
      {Tm(2200, 0, 1), static_cast<uint32_t>(7258118400LL)},  // beyond 2106 wraps modulo 2^32
  };
  for (auto r : rows) EXPECT_EQ(HRazuInvMkTime(&r.t), r.want) << r.t.tm_year << "-" << r.t.tm_mon;
}

TEST(DaysOfMonth, FollowsTheGregorianRule) {
  const int rows[][3] = {{1, 2000, 29}, {1, 1900, 28}, {1, 2024, 29}, {0, 2023, 31},
                         {10, 2023, 30}, {12, 2024, -1}, {-1, 2024, -1}};
  for (const auto& r : rows) EXPECT_EQ(HRazuDaysOfMonth(r[0], r[1]), r[2]) << r[0] << "/" << r[1];
}

TEST(Validity, LifetimeFromHoursMinutesAndTheCreationMinute) {
  constexpr int32_t kNone = INT32_MIN;
  const struct {
    const char* created;  // null: no creation time
    int32_t hours, minutes;
    time_t offset;
    int32_t rc;
    int64_t rem;  // when valid
  } rows[] = {
      {"202612061930", 1, 30, 0, 0, 5400}, {"202612061930", kNone, 2, 0, 0, 120},
      {"202612061930", kNone, 90, 0, 0, 1800}, {"202612061930", kNone, -90, 0, kRcExpired, 0},
      {"202612061930", 596523, kNone, 0, 0, 2147482800}, {"202612061930", 596524, 59, 0, 0, 2147482800},
      {"202612061930", 0, 0, 0, 0, 0},
      // The last minute counts whole; the seconds of now are dropped.
      {"202612061928", kNone, 2, 0, 0, 0}, {"202612061928", kNone, 2, 59, 0, 0},
      {"202612061928", kNone, 2, 60, kRcExpired, 0}, {"202612061930", 0, kNone, 60, kRcExpired, 0},
      // Over an hour, a day and a year boundary.
      {"202612061859", kNone, 31, 0, 0, 0}, {"202612052000", 24, kNone, 0, 0, 1800},
      {"202512061930", 8760, kNone, 0, 0, 0}, {"202512061929", 8760, kNone, 0, kRcExpired, 0},
      // A creation time ahead of the clock leaves more than the lifetime.
      {"202612061940", kNone, 2, 0, 0, 720},
      // Month 13 of 2026 reads as January 2027: 26 days ahead, plus the hour.
      {"202613011930", 1, kNone, 0, 0, 26 * 86400 + 3600},
      // Unconvertible fields count as 0: year 0 adds nothing, so this is 1970.
      {"xxxx12061930", 1, kNone, 0, kRcExpired, 0},
      // Missing or malformed units.
      {nullptr, 1, kNone, 0, kRcInvalidTicket, 0}, {"202612061930", kNone, kNone, 0, kRcInvalidTicket, 0},
      {"20261206193", 1, kNone, 0, kRcInvalidTicket, 0},
  };
  for (const auto& r : rows) {
    Ticket t;
    if (r.created) t.Created(r.created);
    if (r.hours != kNone) t.Hours(r.hours);
    if (r.minutes != kNone) t.Minutes(r.minutes);
    const auto [rc, rem] = Check(t, r.offset);
    EXPECT_EQ(rc, r.rc) << (r.created ? r.created : "-") << " h" << r.hours << " m" << r.minutes << " +" << r.offset;
    EXPECT_TRUE(rc != 0 || rem == r.rem) << rem << " " << (r.created ? r.created : "-") << " h" << r.hours;
  }
  int64_t rem = -7;
  EXPECT_EQ(HRazuCheckValidityAt(nullptr, &rem, kNow), kRcInvalidTicket);
  EXPECT_EQ(rem, -7);
  EXPECT_EQ(Check(Ticket().With(cIUnitTCrea, "202612061930").Hours(1)).first, kRcInvalidTicket);  // not converted
  EXPECT_EQ(Check(Ticket().Created("202612061930").With(cIUnitLanguage, "E", 1)).first, kRcInvalidTicket);
}

TEST(Validity, TracesTheTimesItCompares) {
  const std::string trace = qortest::Traced("2", [] {
    Check(Ticket().Created("202612061929").Minutes(2));
    Check(Ticket().Created("2026120619").Minutes(2));
  });
  for (const char* line : {"Got date 202612061929 from ticket.\n", "Cur time = 202612061930.\n",
                           "Computing validity in hours.\n", "Computing validity in minutes.\n",
                           "CurTime_t = 1796585400, CreTime_t = 1796585340 \n",
                           "validity: 120, difference:     60.000.\n",
                           "invalid format: ticket creation date (len=10)"}) {
    EXPECT_CONTAINS(trace, line);
  }
}

TEST(Validity, DoesNotDependOnTheProcessTimeZone) {
  Ticket t;
  t.Created("202612061900").Hours(1).Minutes(15);
  auto in_utc = Check(t);
  struct tm tm_utc = Tm(2026, 11, 6, 19, 0);
  uint32_t secs_utc = HRazuInvMkTime(&tm_utc);
  for (const char* zone : {"Asia/Kolkata", "America/St_Johns", "Pacific/Kiritimati"}) {
    SCOPED_TRACE(zone);
    qortest::ScopedEnv tz("TZ", zone);
    tzset();
    EXPECT_EQ(Check(t), in_utc);
    EXPECT_EQ(HRazuInvMkTime(&tm_utc), secs_utc);
    int64_t rem = 0;
    Ticket old;
    old.Created("200001010000").Hours(1);
    EXPECT_EQ(HRazuCheckValidityWithRemTime(old.head, &rem), kRcExpired);  // the real clock
  }
  tzset();
  EXPECT_EQ(in_utc, std::make_pair(0, int64_t{2700}));
}

}  // namespace

TEST(Validity, CreationTimeFieldsReadAsScanfReadsThem) {
  // The C library's own conversion is the oracle, over digits, signs, blanks,
  // letters and zero bytes in every position.
  const unsigned char alphabet[] = {'0', '1', '9', '+', '-', ' ', '\t', 'x', 0, 0xA0};
  auto scanf_field = [](const unsigned char* at, int width) {
    char text[5] = {};
    memcpy(text, at, static_cast<size_t>(width));
    int value = 0;
    if (sscanf(text, width == 4 ? "%4d" : "%2d", &value) != 1) value = 0;
    return value;
  };
  srand(19);
  for (int round = 0; round < 20000; ++round) {
    unsigned char field[kCreationTimeChars];
    for (unsigned char& c : field) c = alphabet[rand() % sizeof alphabet];
    if (round % 3 == 0) memcpy(field, "202401311259", 4 + 2 * (rand() % 5));
    struct tm tm;
    ParseTicketTime(field, &tm);
    const std::string text(reinterpret_cast<const char*>(field), sizeof field);
    ASSERT_EQ(tm.tm_year, scanf_field(field, 4) - 1900) << text;
    ASSERT_EQ(tm.tm_mon, scanf_field(field + 4, 2) - 1) << text;
    ASSERT_EQ(tm.tm_mday, scanf_field(field + 6, 2)) << text;
    ASSERT_EQ(tm.tm_hour, scanf_field(field + 8, 2)) << text;
    ASSERT_EQ(tm.tm_min, scanf_field(field + 10, 2)) << text;
  }
}
