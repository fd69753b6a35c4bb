// Code page conversion of ticket contents: the character fields of a
// verified content list into the caller's code page, and caller text into
// UTF-8 fields for tickets we create.
#pragma once

#include <stdint.h>

#include "sec/tavrisso/engine/content_list.h"

// Results of _ConvertCodepages.
constexpr int32_t kConvSetupFailed = -1;
constexpr int32_t kConvActivateFailed = -2;
constexpr int32_t kConvNoMemory = -3;
constexpr int32_t kConvFailed = -4;

// Converts every data type 1 node in place (code pages are four characters,
// "4110" = UTF-8). 0, or the first failing node's result; nodes before it
// stay converted.
int32_t HRazuConvertCList(const char* SourceCodepage, const char* TargetCodepage,
                          ContentList lstContents);

// Converts one node in place; afterwards iContentLBytes = iContentLChars =
// the converted length. 9 when the converted form does not fit the 256-byte
// field or the conversion fails.
int32_t HRazuConvertContent(const char* SourceCodepage, const char* TargetCodepage,
                            PCookieContent pContent);

// Converts [From, FromEnd) from FromCP into [to, toEnd) in toCP; any number
// of threads may convert at once. *piNumConvertedChars gets the bytes written. 0, -1 converter
// set-up, -2 activation, -3 no memory, -4 conversion failed (including a
// result that does not fit before toEnd).
int32_t _ConvertCodepages(unsigned char* to, unsigned char* toEnd, const unsigned char* From,
                          const unsigned char* FromEnd, const char* toCP, const char* FromCP,
                          int16_t* piNumConvertedChars);

// A new unlinked node `info_unit` holding usCharDataL characters of
// pchCharData (code page pCodepage, null = the layer's user code page)
// converted to UTF-8. 0, or -1 on any failure (also for more than 256
// bytes of UTF-8).
int32_t HRazuGetUTFEncodedContent(PCookieContent* ppContent, const char* pchCharData,
                                  uint16_t usCharDataL, InfoUnitID info_unit,
                                  const char* pCodepage);
