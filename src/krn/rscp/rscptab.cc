// The 55 code pages the layer can name, with the C library's name for each.
#include <string.h>

#include "krn/rscp/rscptab.h"

// 1800 and 1810 are "iso-8859-8-i", which iconv knows only as ISO-8859-8
// (same bytes; the -i marks logical order). 6100, 6200 and 6300 are the
// layer's private sets with no C library counterpart: we rely only on their
// 7-bit part being ASCII, so every byte above it counts as broken input and
// every other character as unmappable, and both become "#" instead of a guess.
const rscpCodepageRow kRscpCodepages[kRscpCodepageCount] = {
    {"0120", "ibm500", "IBM500", 1},
    {"1100", "iso-8859-1", "ISO-8859-1", 1},
    {"1101", "US-ASCII", "US-ASCII", 1},
    {"1103", "ibm850", "IBM850", 1},
    {"1127", "macintosh", "MACINTOSH", 1},
    {"1140", "iso-8859-1", "ISO-8859-1", 1},
    {"1160", "windows-1252", "WINDOWS-1252", 1},
    {"1164", "iso-8859-15", "ISO-8859-15", 1},
    {"1180", "iso-8859-1", "ISO-8859-1", 1},
    {"1401", "iso-8859-2", "ISO-8859-2", 1},
    {"1403", "ibm852", "IBM852", 1},
    {"1404", "windows-1250", "WINDOWS-1250", 1},
    {"1500", "iso-8859-5", "ISO-8859-5", 1},
    {"1503", "ibm866", "IBM866", 1},
    {"1504", "windows-1251", "WINDOWS-1251", 1},
    {"1509", "koi8-u", "KOI8-U", 1},
    {"1510", "koi8-r", "KOI8-R", 1},
    {"1610", "iso-8859-9", "ISO-8859-9", 1},
    {"1614", "windows-1254", "WINDOWS-1254", 1},
    {"1700", "iso-8859-7", "ISO-8859-7", 1},
    {"1704", "windows-1253", "WINDOWS-1253", 1},
    {"1800", "iso-8859-8-i", "ISO-8859-8", 1},
    {"1804", "windows-1255", "WINDOWS-1255", 1},
    {"1810", "iso-8859-8-i", "ISO-8859-8", 1},
    {"1900", "iso-8859-4", "ISO-8859-4", 1},
    {"1904", "windows-1257", "WINDOWS-1257", 1},
    {"4102", "utf-16be", "UTF-16BE", 2},
    {"4103", "utf-16le", "UTF-16LE", 2},
    {"4110", "utf-8", "UTF-8", 1},
    {"4310", "utf-8", "UTF-8", 1},
    {"6100", "x-qor-6100", "US-ASCII", 1},
    {"6200", "x-qor-6200", "US-ASCII", 1},
    {"6300", "x-qor-6300", "US-ASCII", 1},
    {"8000", "shift_jis", "SHIFT_JIS", 1},
    {"8004", "shift_jis", "SHIFT_JIS", 1},
    {"8100", "euc-jp", "EUC-JP", 1},
    {"8200", "iso-2022-jp", "ISO-2022-JP", 1},
    {"8300", "big5", "BIG5", 1},
    {"8304", "big5", "BIG5", 1},
    {"8340", "Big5-HKSCS", "BIG5-HKSCS", 1},
    {"8341", "Big5-HKSCS", "BIG5-HKSCS", 1},
    {"8344", "Big5-HKSCS", "BIG5-HKSCS", 1},
    {"8345", "Big5-HKSCS", "BIG5-HKSCS", 1},
    {"8400", "GBK", "GBK", 1},
    {"8402", "GB18030", "GB18030", 1},
    {"8404", "GBK", "GBK", 1},
    {"8450", "gb2312", "GB2312", 1},
    {"8500", "EUC-KR", "EUC-KR", 1},
    {"8504", "EUC-KR", "EUC-KR", 1},
    {"8599", "ISO-2022-KR", "ISO-2022-KR", 1},
    {"8600", "tis-620", "TIS-620", 1},
    {"8604", "windows-874", "WINDOWS-874", 1},
    {"8700", "iso-8859-6", "ISO-8859-6", 1},
    {"8704", "windows-1256", "WINDOWS-1256", 1},
    {"8805", "windows-1258", "WINDOWS-1258", 1},
};

const rscpCodepageRow* rscpFindCodepage(const char* cp) {
  if (cp == nullptr) return nullptr;
  for (const rscpCodepageRow& row : kRscpCodepages) {
    if (memcmp(row.id, cp, 4) == 0) return &row;
  }
  return nullptr;
}
