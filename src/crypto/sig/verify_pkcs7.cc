// PKCS#7 / CMS SignedData (RFC 5652).
#include "crypto/sig/sigint.h"

namespace qorcr {

int32_t VerifyPkcs7(VerifyCall* c) {
  c->reason = "format not available for verification";
  return SSF_API_INVALID_FORMAT;
}

}  // namespace qorcr
