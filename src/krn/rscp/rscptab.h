// The code page table: what each identifier of the layer means.
#pragma once

#include <stddef.h>

struct rscpCodepageRow {
  char id[5];                // four digits and a terminator
  const char* charset;       // the layer's character set name
  const char* iconv_name;    // the C library's name for it
  unsigned char unit;        // bytes per code unit (2 for UTF-16), skipped on broken input
};

constexpr size_t kRscpCodepageCount = 55;
extern const rscpCodepageRow kRscpCodepages[kRscpCodepageCount];

// The row of a four-character identifier, or null.
const rscpCodepageRow* rscpFindCodepage(const char* cp);
