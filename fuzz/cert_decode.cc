// Reaches qorzelb_decode_cert (DER, Base64, PEM detection and decoding) and,
// on whatever decodes, SsfParseCertificate with every attribute name plus
// SsfCerttoASN1.
// Invariant: a decoded certificate re-encodes and decodes again to the same DER.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "crypto/ssf/ssfapi.h"

namespace {
const char* const kAttributes[] = {
    "SUBJECT", "ISSUER", "SERIAL", "SERIALNO", "SERIALINT", "SUMMARY", "ALL", "FINGERPRINT",
    "PKFINGERPRINT", "VALIDITY", "VALIDFROM", "VALIDTO", "VALIDFROM_TIME_T_BIN", "VALIDTO_TIME_T_BIN",
    "VALIDFROM_TIME_T_DEC", "VALIDTO_TIME_T_DEC", "SUBJECTKEYID", "SUBJECTKEYIDXML", "KEYLENGTH",
    "KEYSTRENGTH", "KEYTYPE", "SIGAVAILABLE", "SIGALGID", "ALGID", "SIGALG", "KEYUSAGE",
    "BASICCONSTRAINTS", "VERSION"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  SsfCertHandle cert = nullptr;
  if (qorzelb_decode_cert(data, static_cast<int32_t>(size), &cert) != 0) return 0;
  for (const char* attr : kAttributes) {
    SsfOctetstring text = nullptr;
    SsfOctetlen textL = 0;
    SsfParseCertificate(cert, attr, static_cast<SsfCharlen>(strlen(attr)), &text, &textL);
    SsfDELSsfOctetstring(&text, &textL);
  }
  SsfOctetstring der = nullptr;
  SsfOctetlen derL = 0;
  if (SsfCerttoASN1(cert, &der, &derL) == 0) {
    SsfCertHandle again = nullptr;
    if (SsfCertfromASN1(der, static_cast<int32_t>(derL), &again) != 0) __builtin_trap();
    SsfOctetstring der2 = nullptr;
    SsfOctetlen der2L = 0;
    if (SsfCerttoASN1(again, &der2, &der2L) != 0 || der2L != derL ||
        memcmp(der, der2, static_cast<size_t>(derL)) != 0)
      __builtin_trap();
    SsfDELSsfOctetstring(&der2, &der2L);
    SsfFreeCertificate(&again);
  }
  SsfDELSsfOctetstring(&der, &derL);
  SsfFreeCertificate(&cert);
  return 0;
}
