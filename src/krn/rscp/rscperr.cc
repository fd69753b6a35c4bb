// The layer's error record: the last error of each thread, and the set of
// error classes that are recorded at all.
#include <stdarg.h>
#include <stdio.h>

#include <atomic>

#include "krn/rscp/rscp.h"
#include "krn/rscp/rscpint.h"

namespace {
std::atomic<int32_t> err_mask{-1};
thread_local rscpErr_t last_error{RSCP_OK, ""};

const char* RcName(RSCP_RC rc) {
  switch (rc) {
    case RSCP_OK: return "ok";
    case RSCPE_PARAM: return "bad parameter";
    case RSCPE_CODEPAGE: return "unknown code page";
    case RSCPE_STATE: return "converter not ready";
    case RSCPE_SYSTEM: return "no system converter";
    case RSCPE_MISSING: return "character not mappable";
    case RSCPE_BROKEN: return "broken input";
    case RSCPE_OUTPUT_FULL: return "output buffer full";
  }
  return "unknown";
}
}  // namespace

RSCP_RC rscpi_init(int32_t mask) {
  err_mask.store(mask);
  return RSCP_OK;
}

RSCP_RC rscpSetError(RSCP_RC rc, const char* fmt, ...) {
  // Classes are numbered from 1; bit rc-1 of the mask enables class rc.
  if (rc <= 0 || rc > 31 || (err_mask.load() & (1 << (rc - 1))) == 0) return rc;
  last_error.rc = rc;
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(last_error.text, sizeof last_error.text, fmt, ap);
  va_end(ap);
  return rc;
}

const rscpErr_t* rscple_last_error() { return &last_error; }

void rscpep1_err_print1(DPTRC_FILE_HDL f, const rscpErr_t* err) {
  if (err == nullptr) return;
  DPTRC_INFO(f, 1, "Code page conversion error %d (%s): %s\n", static_cast<int>(err->rc),
             RcName(err->rc), err->text);
}
