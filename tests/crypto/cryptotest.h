// Helpers for the crypto library tests: shell tools as oracles, byte files,
// certificate attributes.
#pragma once

#include <stdlib.h>

#include <string>
#include <vector>

#include "crypto/ssf/ssfapi.h"
#include "testutil.h"

namespace qortest {

using Bytes = std::vector<unsigned char>;


inline Bytes ReadBytes(const std::string& path) {
  std::string s = ReadFile(path);
  return Bytes(s.begin(), s.end());
}

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A self-signed certificate with its key, made by the openssl tool in `dir`:
// <base>.key (PKCS#8 PEM), <base>.pem and <base>.der.
inline bool MakeSelfSigned(const TempDir& dir, const std::string& base, const std::string& cn,
                           const std::string& extra = "") {
  const std::string k = dir.file(base + ".key"), p = dir.file(base + ".pem"), d = dir.file(base + ".der");
  return Sh("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 -subj '/CN=" +
            cn + "' -keyout " + k + " -out " + p + " " + extra) &&
         Sh("openssl x509 -in " + p + " -outform DER -out " + d);
}

// One attribute through SsfParseCertificate; {rc, text}.
inline std::pair<int32_t, std::string> Attribute(SsfCertHandle cert, const std::string& name) {
  SsfOctetstring text = nullptr;
  SsfOctetlen len = 0;
  int32_t rc = SsfParseCertificate(cert, name.data(), static_cast<SsfCharlen>(name.size()), &text, &len);
  std::string s = text ? std::string(reinterpret_cast<char*>(text), static_cast<size_t>(len)) : "";
  SsfDELSsfOctetstring(&text, &len);
  return {rc, s};
}

inline SsfCertHandle Decode(const Bytes& b, int32_t* rc = nullptr) {
  SsfCertHandle h = nullptr;
  int32_t r = qorzelb_decode_cert(b.data(), static_cast<int32_t>(b.size()), &h);
  if (rc) *rc = r;
  return h;
}

}  // namespace qortest
