// Reaches TavriEvalJWToken, hence JwtEvalToken, jwtExtract2Json, jwtParse,
// haDecBase64SB and the keyed-MAC front, on arbitrary token text with an
// HMAC key; and, so that the body rules are reached too, on the input split
// into header and body JSON, Base64url-encoded and HMAC-signed here with
// the same key. Invariant: the result is one of 0, 5 and 15, and the
// out-pointers lie inside the payload copy when it was made.
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "qorjwt.h"

namespace {

const unsigned char kKey[] = "fuzzing secret of 32 bytes......";

std::string b64url(const uint8_t* p, size_t n) {
  std::string out(4 * ((n + 2) / 3) + 1, '\0');
  const int len = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]), p, static_cast<int>(n));
  out.resize(static_cast<size_t>(len));
  for (char& c : out) c = c == '+' ? '-' : c == '/' ? '_' : c;
  while (!out.empty() && out.back() == '=') out.pop_back();
  return out;
}

void eval(const std::string& token) {
  std::vector<unsigned char> payload(token.size() + 1);
  JWT_INFO info;
  memset(&info, 0, sizeof info);
  info.struct_size = sizeof info;
  info.pPayloadBuffer = payload.data();
  info.lPayLoadBuffer = payload.size();
  const int32_t rc = TavriEvalJWToken(token.data(), token.size(), kKey, sizeof kKey - 1, "user", &info);
  if (rc != 0 && rc != 5 && rc != 15) abort();
  if (rc == 0 && info.pSubject != nullptr &&
      (info.pSubject < payload.data() || info.pSubject + info.lSubject > payload.data() + info.lPayLoadBuffer))
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = TavriInitialize(nullptr) == 0;
  if (!ready) abort();
  eval(std::string(reinterpret_cast<const char*>(data), size));
  // "<header>\n<body>" as JSON texts, signed with HS256.
  const uint8_t* nl = static_cast<const uint8_t*>(memchr(data, '\n', size));
  if (nl == nullptr) return 0;
  const std::string input = b64url(data, static_cast<size_t>(nl - data)) + "." +
                            b64url(nl + 1, size - static_cast<size_t>(nl - data) - 1);
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int mac_len = 0;
  HMAC(EVP_sha256(), kKey, sizeof kKey - 1, reinterpret_cast<const unsigned char*>(input.data()), input.size(),
       mac, &mac_len);
  eval(input + "." + b64url(mac, mac_len));
  return 0;
}
