// Remaining lifetime of a ticket.
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "sec/tavrisso/trace.h"
#include "sec/tavrisso/engine/lifetime.h"

namespace {

constexpr char TRC_MODULE[] = "sec/tavrisso/validity";
constexpr int64_t kSecsPerDay = 86400;
constexpr int kMonthsPerYear = 12;
constexpr int kEpochYear = 1970;

bool IsLeapYear(int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

// Leap years in 1..year (proleptic Gregorian).
int64_t LeapYearsThrough(int64_t year) { return year / 4 - year / 100 + year / 400; }

// Reads `width` characters at `at` as a "%4d" or "%2d" scanf conversion
// would (white space first, a sign, digits; a zero byte ends the text);
// 0 when it does not convert. Without scanf: the creation time is read on
// every evaluation.
int ReadField(const unsigned char* at, int width) {
  int i = 0;
  while (i < width && at[i] != 0 && isspace(at[i])) ++i;
  bool negative = false;
  if (i < width && (at[i] == '+' || at[i] == '-')) negative = at[i++] == '-';
  int value = 0, digits = 0;
  for (; i < width && at[i] >= '0' && at[i] <= '9'; ++i, ++digits) value = value * 10 + (at[i] - '0');
  if (digits == 0) return 0;
  return negative ? -value : value;
}

// The first four value bytes as a big-endian signed integer (nodes are zero-filled).
int32_t ReadInt32(const __CookieContent* node) {
  const unsigned char* b = node->ByteContent;
  return static_cast<int32_t>((uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) |
                              (uint32_t{b[2]} << 8) | b[3]);
}

}  // namespace

int32_t HRazuDaysOfMonth(int32_t month, int32_t year) {
  switch (month) {
    case 0: case 2: case 4: case 6: case 7: case 9: case 11: return 31;
    case 3: case 5: case 8: case 10: return 30;
    case 1: return IsLeapYear(year) ? 29 : 28;
    default: return -1;
  }
}

uint32_t HRazuInvMkTime(const struct tm* pSTime) {
  int64_t year = 1900 + int64_t{pSTime->tm_year};
  int64_t days = 0;
  // Whole years from 1970 up to the year before; years up to 1970 add nothing.
  if (pSTime->tm_year > 70)
    days += 365 * (year - kEpochYear) + LeapYearsThrough(year - 1) - LeapYearsThrough(kEpochYear - 1);
  // Whole months before tm_mon; a month past December counts -1 day, as its length is -1.
  int64_t months = pSTime->tm_mon;
  for (int m = 0; m < months && m < kMonthsPerYear; m++)
    days += HRazuDaysOfMonth(m, static_cast<int32_t>(year));
  if (months > kMonthsPerYear) days -= months - kMonthsPerYear;
  int64_t secs = (days + pSTime->tm_mday - 1) * kSecsPerDay + int64_t{pSTime->tm_hour} * 3600 +
                 int64_t{pSTime->tm_min} * 60 + pSTime->tm_sec;
  return static_cast<uint32_t>(secs);
}

void ParseTicketTime(const unsigned char field[kCreationTimeChars], struct tm* out) {
  memset(out, 0, sizeof *out);
  out->tm_year = ReadField(field, 4) - 1900;
  out->tm_mon = ReadField(field + 4, 2) - 1;
  out->tm_mday = ReadField(field + 6, 2);
  out->tm_hour = ReadField(field + 8, 2);
  out->tm_min = ReadField(field + 10, 2);
}

int32_t HRazuCheckValidityAt(ContentList lstContents, int64_t* iRemTimeSecs, time_t now_t,
                             uint32_t* pCreation) {
  if (lstContents == nullptr) return kRcInvalidTicket;
  const __CookieContent* hours = HRazuGetContentByID(lstContents, cIUnitTVal);
  const __CookieContent* created = HRazuGetContentByID(lstContents, cIUnitTCrea);
  const __CookieContent* minutes = HRazuGetContentByID(lstContents, cIUnitTValMin);
  if (created == nullptr || (hours == nullptr && minutes == nullptr)) return kRcInvalidTicket;
  if (created->iContentLChars != kCreationTimeChars) {
    TAVRI_ERR("invalid format: ticket creation date (len=%u)",
              static_cast<unsigned>(static_cast<uint16_t>(created->iContentLChars)));
    return kRcInvalidTicket;
  }

  unsigned char field[kCreationTimeChars] = {};
  if (created->iContentLBytes > 0 && created->iContentLBytes <= kCreationTimeChars)
    memcpy(field, created->ByteContent, static_cast<size_t>(created->iContentLBytes));
  TAVRI_TRC(2, "Got date %12.12s from ticket.\n", reinterpret_cast<const char*>(field));
  struct tm cre_tm;
  ParseTicketTime(field, &cre_tm);
  uint32_t creation = HRazuInvMkTime(&cre_tm);
  if (pCreation != nullptr) *pCreation = creation;

  // Now, to the minute; gmtime_r keeps the breakdown off shared buffers.
  struct tm now_tm;
  gmtime_r(&now_t, &now_tm);
  now_tm.tm_sec = 0;
  uint32_t now = HRazuInvMkTime(&now_tm);
  TAVRI_TRC(2, "Cur time = %04d%02d%02d%02d%02d.\n", now_tm.tm_year + 1900, now_tm.tm_mon + 1,
            now_tm.tm_mday, now_tm.tm_hour, now_tm.tm_min);
  TAVRI_TRC(2, "Computing validity in hours.\n");

  // Signed 32-bit seconds; the products are formed wider and wrapped back.
  int64_t validity = 0;
  bool capped = false;
  if (hours != nullptr) {
    int32_t h = ReadInt32(hours);
    if (h > kMaxValidityHours) {
      validity = kMaxValiditySecs;
      capped = true;
    } else {
      validity = static_cast<int32_t>(static_cast<uint32_t>(int64_t{h} * 3600));
    }
  }
  if (!capped) {
    TAVRI_TRC(2, "Computing validity in minutes.\n");
    // Only the minutes beyond whole hours count; % keeps the sign of m.
    if (minutes != nullptr) validity += (ReadInt32(minutes) % 60) * 60;
  }
  int32_t validity32 = static_cast<int32_t>(static_cast<uint32_t>(validity));

  TAVRI_TRC(2, "CurTime_t = %ld, CreTime_t = %ld \n", static_cast<long>(now),
            static_cast<long>(creation));
  double difference = static_cast<double>(now) - static_cast<double>(creation);
  TAVRI_TRC(2, "validity: %d, difference: %10.3f.\n", validity32, difference);
  if (difference > validity32) return kRcExpired;
  *iRemTimeSecs = static_cast<int64_t>(validity32 - difference);
  return 0;
}

int32_t HRazuCheckValidityWithRemTime(ContentList lstContents, int64_t* iRemTimeSecs,
                                      uint32_t* pCreation) {
  return HRazuCheckValidityAt(lstContents, iRemTimeSecs, time(nullptr), pCreation);
}
