// The library's own use of SSF strings and signer records: the same
// operations as the exported Ssf... calls, without their entry frame, so a
// service that builds its results keeps the calling thread's errors.
#pragma once

#include <stdint.h>

#include "crypto/ssf/ssftypes.h"

namespace qorcr {

int32_t OctetsFree(SsfOctetstring* ostr, SsfOctetlen* ostrL);
int32_t SigRcpNew(const char* strSigRcpId, SsfCharlen strSigRcpIdL, const char* strSigRcpReserved,
                  SsfCharlen strSigRcpReservedL, const char* strSigRcpProfile,
                  SsfCharlen strSigRcpProfileL, const unsigned char* strSigRcpPassword,
                  SsfOctetlen strSigRcpPasswordL, uint32_t uResult, SigRcpSsfInformation** ppSigRcp);
int32_t SigRcpInsert(SigRcpSsfInformation* pSigRcp, SigRcpSsfInformationList* pList);
int32_t SigRcpFree(SigRcpSsfInformation** ppSigRcp);
int32_t SigRcpListFree(SigRcpSsfInformationList* pList);

}  // namespace qorcr
