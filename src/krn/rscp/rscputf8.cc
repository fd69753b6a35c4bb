// UTF-8 helpers: whole converters to and from "4110" with the settings the
// ticket engine uses for its UTF-8 fields.
#include <string.h>

#include "krn/rscp/rscp.h"
#include "krn/rscp/rscpint.h"

namespace {

constexpr char kUtf8[] = "4110";

RSCP_RC ConvertOnce(const char* from, const char* to, unsigned char** ppOut, unsigned char* outEnd,
                    const unsigned char** ppIn, const unsigned char* inEnd) {
  rscpCObj_t conv{};
  RSCP_RC rc = rscpCInit(&conv, from, to, miss_substitute, broken_like_miss, fill_never);
  if (rc == RSCP_OK) rc = rscpCSetSubstQOR(&conv, kRscpSubstHash);
  if (rc == RSCP_OK) rc = rscpCSetSubstU4(&conv, 0);
  if (rc == RSCP_OK) rc = rscpCSetFilter(&conv, false);
  if (rc == RSCP_OK) rc = rscpCSetCtrlCodeCv(&conv, CtrlCodeCv_try);
  if (rc == RSCP_OK) rc = rscpCSetQOROwnChCv(&conv, QOROwnChCv_try);
  if (rc == RSCP_OK) rc = rscpCActivate(&conv);
  if (rc == RSCP_OK) rc = rscpCConvert(&conv, ppOut, outEnd, ppIn, inEnd);
  rscpCFinish(&conv);
  return rc;
}

}  // namespace

RSCP_RC UcnToUtf8nCP(const char* cp, unsigned char** ppOut, unsigned char* outEnd,
                     const unsigned char** ppIn, const unsigned char* inEnd) {
  return ConvertOnce(cp, kUtf8, ppOut, outEnd, ppIn, inEnd);
}

RSCP_RC Utf8nToUcnCP(const char* cp, unsigned char** ppOut, unsigned char* outEnd,
                     const unsigned char** ppIn, const unsigned char* inEnd) {
  return ConvertOnce(kUtf8, cp, ppOut, outEnd, ppIn, inEnd);
}

RSCP_RC Utf8sToUcs(char* dest, size_t capacity, size_t* pWritten, const unsigned char* src) {
  if (dest == nullptr || pWritten == nullptr || src == nullptr)
    return rscpSetError(RSCPE_PARAM, "null argument");
  *pWritten = 0;
  if (capacity == 0) return RSCP_OK;
  unsigned char* out = reinterpret_cast<unsigned char*>(dest);
  unsigned char* end = out + (capacity - 1);
  const unsigned char* in = src;
  RSCP_RC rc = ConvertOnce(kUtf8, kRscpUserCodepage, &out, end, &in,
                           src + strlen(reinterpret_cast<const char*>(src)));
  *out = 0;
  *pWritten = static_cast<size_t>(out - reinterpret_cast<unsigned char*>(dest));
  return rc == RSCPE_OUTPUT_FULL ? RSCP_OK : rc;
}
