// Reaches SsfVerifyEx (PKCS7 detached and with content, PKCS1-V1.5 and
// DSA-FLAT against caller certificates, public keys and key values), the
// SignedData decoding, the signer search, the trust check, the signed
// attribute checks and the result records, and SsfDecode. The first byte picks the call; the rest is the signature.
// Invariant: every call returns a defined code and leaves OpenSSL's error
// queue empty.
#include <openssl/err.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "crypto/ssf/ssfapi.h"

namespace {

constexpr char kNoCheck[] = "<no_certificate_check>";
const char* const kChains[] = {"X509v3", "RAWPUBKEY", "KEYVALUE"};

struct Setup {
  char* store = nullptr;
  SsfOctetstring input = nullptr;
  SsfOctetlen inputL = 0;
  Setup() {
    qor_create_memory_PSE(&store);
    static const unsigned char kContent[] = "fuzzed ticket content";
    SsfEncode("PKCS7", 5, kContent, sizeof kContent - 1, &input, &inputL);
  }
};

void check(int32_t rc) {
  if (rc < -1 || rc > 1000 || ERR_peek_error() != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const unsigned char* sig = data + 1;
  const int32_t sigL = static_cast<int32_t>(size - 1);
  SigRcpSsfInformationList list = nullptr;
  SsfOctetstring out = nullptr;
  SsfOctetlen outL = 0;
  const bool with_input = (mode & 1) == 0;
  const unsigned char inc_certs = (mode & 2) ? 1 : 0;
  int32_t rc;
  switch ((mode >> 2) % 4) {
    case 0:
      rc = SsfVerifyEx("PKCS7", 5, "SHA256", 6, inc_certs, sig, sigL,
                       with_input ? setup.input : nullptr, with_input ? setup.inputL : 0,
                       setup.store, static_cast<int32_t>(strlen(setup.store)), nullptr, 0, nullptr,
                       0, nullptr, 0, nullptr, 0, nullptr, 0, &list, &out, &outL);
      break;
    case 1:
      // The signature bytes also serve as the caller's certificates.
      rc = SsfVerifyEx("PKCS7", 5, nullptr, 0, 0, sig, sigL, setup.input, setup.inputL, kNoCheck,
                       sizeof kNoCheck - 1, nullptr, 0, nullptr, 0, nullptr, 0, "PKCS7", 5, sig,
                       sigL, &list, &out, &outL);
      break;
    case 2:
      rc = SsfVerifyEx(with_input ? "PKCS1-V1.5" : "DSA-FLAT", with_input ? 10 : 8, "SHA1", 4, 0,
                       sig, sigL, sig, sigL, kNoCheck, sizeof kNoCheck - 1, nullptr, 0, nullptr, 0,
                       nullptr, 0, kChains[(mode >> 4) % 3], static_cast<int32_t>(strlen(kChains[(mode >> 4) % 3])), sig, sigL,
                       &list, nullptr, nullptr);
      break;
    default:
      rc = SsfDecode("PKCS7", 5, sig, sigL, &out, &outL);
      break;
  }
  check(rc);
  if (list) SsfDELSigRcpSsfInfoList(&list);
  SsfDELSsfOctetstring(&out, &outL);
  return 0;
}
