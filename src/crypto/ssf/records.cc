// Library-allocated strings and the signer/recipient records and lists.
#include <stdlib.h>
#include <string.h>

#include "crypto/frame/frame.h"
#include "crypto/ssf/records.h"
#include "crypto/ssf/ssfapi.h"

namespace {

constexpr unsigned char kPasswordWipe = 0x20;

// A copy of `len` bytes with one zero byte after them; null for an empty input.
bool dup_field(const void* src, int32_t len, unsigned char** out) {
  *out = nullptr;
  if (src == nullptr || len <= 0) return true;
  auto* p = static_cast<unsigned char*>(malloc(static_cast<size_t>(len) + 1));
  if (p == nullptr) return false;
  memcpy(p, src, static_cast<size_t>(len));
  p[len] = 0;
  *out = p;
  return true;
}

void free_record(SigRcpSsfInformation* r) {
  free(r->strSigRcpId);
  free(r->strSigRcpReserved);
  free(r->strSigRcpProfile);
  if (r->strSigRcpPassword != nullptr && r->strSigRcpPasswordL > 0)
    memset(r->strSigRcpPassword, kPasswordWipe, static_cast<size_t>(r->strSigRcpPasswordL));
  free(r->strSigRcpPassword);
  free(r);
}

}  // namespace

namespace qorcr {

int32_t OctetsFree(SsfOctetstring* ostr, SsfOctetlen* ostrL) {
  if (ostr != nullptr) {
    free(*ostr);
    *ostr = nullptr;
  }
  if (ostrL != nullptr) *ostrL = 0;
  return 0;
}

int32_t SigRcpNew(const char* strSigRcpId, SsfCharlen strSigRcpIdL,
                            const char* strSigRcpReserved, SsfCharlen strSigRcpReservedL,
                            const char* strSigRcpProfile, SsfCharlen strSigRcpProfileL,
                            const unsigned char* strSigRcpPassword,
                            SsfOctetlen strSigRcpPasswordL, uint32_t uResult,
                            SigRcpSsfInformation** ppSigRcp) {
  if (ppSigRcp == nullptr) return SSF_AUX_NOSIGRCPINFO;
  *ppSigRcp = nullptr;
  if (strSigRcpId == nullptr || strSigRcpIdL <= 0 || strSigRcpReservedL < 0 ||
      strSigRcpProfileL < 0 || strSigRcpPasswordL < 0)
    return SSF_AUX_NOSIGRCPID;
  auto* r = static_cast<SigRcpSsfInformation*>(calloc(1, sizeof(SigRcpSsfInformation)));
  if (r == nullptr) return SSF_AUX_NOMEMORY;
  unsigned char* f = nullptr;
  bool ok = dup_field(strSigRcpId, strSigRcpIdL, &f);
  r->strSigRcpId = reinterpret_cast<char*>(f);
  ok = ok && dup_field(strSigRcpReserved, strSigRcpReservedL, &f);
  if (ok) r->strSigRcpReserved = reinterpret_cast<char*>(f);
  ok = ok && dup_field(strSigRcpProfile, strSigRcpProfileL, &f);
  if (ok) r->strSigRcpProfile = reinterpret_cast<char*>(f);
  ok = ok && dup_field(strSigRcpPassword, strSigRcpPasswordL, &f);
  if (ok) r->strSigRcpPassword = f;
  if (!ok) {
    free_record(r);
    return SSF_AUX_NOMEMORY;
  }
  r->strSigRcpIdL = strSigRcpIdL;
  r->strSigRcpReservedL = r->strSigRcpReserved ? strSigRcpReservedL : 0;
  r->strSigRcpProfileL = r->strSigRcpProfile ? strSigRcpProfileL : 0;
  r->strSigRcpPasswordL = r->strSigRcpPassword ? strSigRcpPasswordL : 0;
  r->uResult = uResult;
  *ppSigRcp = r;
  return 0;
}

int32_t SigRcpInsert(SigRcpSsfInformation* pSigRcp, SigRcpSsfInformationList* pList) {
  if (pSigRcp == nullptr) return SSF_AUX_NOSIGRCPINFO;
  if (pList == nullptr) return SSF_AUX_NOSIGRCPINFOLIST;
  auto* node =
      static_cast<SigRcpSsfInformationListStruct*>(calloc(1, sizeof(SigRcpSsfInformationListStruct)));
  if (node == nullptr) return SSF_AUX_NOMEMORY;
  node->ptrSigRcp = pSigRcp;
  SigRcpSsfInformationList* tail = pList;
  while (*tail != nullptr) tail = &(*tail)->ptrNextSigRcp;
  *tail = node;
  return 0;
}

int32_t SigRcpFree(SigRcpSsfInformation** ppSigRcp) {
  if (ppSigRcp == nullptr || *ppSigRcp == nullptr) return SSF_AUX_NOSIGRCPINFO;
  free_record(*ppSigRcp);
  *ppSigRcp = nullptr;
  return 0;
}

int32_t SigRcpListFree(SigRcpSsfInformationList* pList) {
  if (pList == nullptr || *pList == nullptr) return SSF_AUX_NOSIGRCPINFOLIST;
  SigRcpSsfInformationListStruct* node = *pList;
  while (node != nullptr) {
    SigRcpSsfInformationListStruct* next = node->ptrNextSigRcp;
    if (node->ptrSigRcp != nullptr) free_record(node->ptrSigRcp);
    free(node);
    node = next;
  }
  *pList = nullptr;
  return 0;
}

}  // namespace qorcr

extern "C" {

int32_t SsfVersion(SsfOctetstring* pVersion, SsfOctetlen* pVersionL) {
  qorcr::SsfEntry entry("SsfVersion");
  if (!entry.ok()) return -1;
  if (pVersion == nullptr || pVersionL == nullptr) return SSF_API_INVALID_FUNCARGS;
  const qorcr_version_info* v = nullptr;
  qorcr_get_version(&v);
  int32_t len = static_cast<int32_t>(strlen(v->printable_version));
  if (!dup_field(v->printable_version, len, pVersion)) return SSF_API_NOMEMORY;
  *pVersionL = len;
  return 0;
}

// The exported record and string calls go through the entry frame: lazy
// initialisation and a fresh error stack, like every Ssf... call. The
// library's own code uses the functions above, which keep the stack.
int32_t SsfDELSsfOctetstring(SsfOctetstring* ostr, SsfOctetlen* ostrL) {
  qorcr::SsfEntry entry("SsfDELSsfOctetstring");
  return entry.ok() ? qorcr::OctetsFree(ostr, ostrL) : -1;
}

int32_t SsfNEWSigRcpSsfInfo(const char* strSigRcpId, SsfCharlen strSigRcpIdL,
                            const char* strSigRcpReserved, SsfCharlen strSigRcpReservedL,
                            const char* strSigRcpProfile, SsfCharlen strSigRcpProfileL,
                            const unsigned char* strSigRcpPassword,
                            SsfOctetlen strSigRcpPasswordL, uint32_t uResult,
                            SigRcpSsfInformation** ppSigRcp) {
  qorcr::SsfEntry entry("SsfNEWSigRcpSsfInfo");
  if (!entry.ok()) return -1;
  return qorcr::SigRcpNew(strSigRcpId, strSigRcpIdL, strSigRcpReserved, strSigRcpReservedL,
                          strSigRcpProfile, strSigRcpProfileL, strSigRcpPassword, strSigRcpPasswordL,
                          uResult, ppSigRcp);
}

int32_t SsfINSSigRcpSsfInfo(SigRcpSsfInformation* pSigRcp, SigRcpSsfInformationList* pList) {
  qorcr::SsfEntry entry("SsfINSSigRcpSsfInfo");
  return entry.ok() ? qorcr::SigRcpInsert(pSigRcp, pList) : -1;
}

int32_t SsfDELSigRcpSsfInfo(SigRcpSsfInformation** ppSigRcp) {
  qorcr::SsfEntry entry("SsfDELSigRcpSsfInfo");
  return entry.ok() ? qorcr::SigRcpFree(ppSigRcp) : -1;
}

int32_t SsfDELSigRcpSsfInfoList(SigRcpSsfInformationList* pList) {
  qorcr::SsfEntry entry("SsfDELSigRcpSsfInfoList");
  return entry.ok() ? qorcr::SigRcpListFree(pList) : -1;
}

}  // extern "C"
