// Ticket validity: a ticket carries its creation time (UTC, to the minute)
// and a lifetime in hours and/or minutes. All arithmetic is in UTC seconds
// and never consults the process time zone.
#pragma once

#include <stdint.h>
#include <time.h>

#include "sec/tavrisso/engine/content_list.h"

// The creation time field: "YYYYMMDDhhmm".
constexpr int kCreationTimeChars = 12;
// Hours above this are capped at kMaxValiditySecs (and minutes ignored).
constexpr int32_t kMaxValidityHours = 596523;
constexpr int32_t kMaxValiditySecs = kMaxValidityHours * 3600;

// Days in `month` (0..11) of the Gregorian `year`; -1 for another month.
int32_t HRazuDaysOfMonth(int32_t month, int32_t year);

// Broken-down UTC time (tm_year, tm_mon, tm_mday, tm_hour, tm_min, tm_sec;
// nothing range-checked) to seconds since 1970-01-01 00:00 UTC, modulo 2^32.
uint32_t HRazuInvMkTime(const struct tm* pSTime);

// Reads a 12-character creation time ("%4d" then four "%2d" fields; a field
// that does not convert counts as 0) into a broken-down UTC time.
void ParseTicketTime(const unsigned char field[kCreationTimeChars], struct tm* out);

// 0 with *iRemTimeSecs = remaining seconds; 4 expired; 5 no list, no
// creation time, no validity, or a creation time that is not 12 characters.
int32_t HRazuCheckValidityWithRemTime(ContentList lstContents, int64_t* iRemTimeSecs);
// The same against a given current time (seconds since 1970 UTC).
int32_t HRazuCheckValidityAt(ContentList lstContents, int64_t* iRemTimeSecs, time_t now);
