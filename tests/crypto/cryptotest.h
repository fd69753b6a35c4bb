// Helpers for the crypto library tests: shell tools as oracles, byte files,
// certificate attributes.
#pragma once

#include <openssl/evp.h>
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

// Base64 by OpenSSL's encoder; `url`: the URL alphabet without padding.
inline std::string Base64(const std::string& s, bool url = false) {
  std::string out(4 * (s.size() / 3 + 1) + 1, '\0');  // and the terminator it writes
  out.resize(static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                                                 reinterpret_cast<const unsigned char*>(s.data()), static_cast<int>(s.size()))));
  if (url) {
    for (char& c : out) c = c == '+' ? '-' : c == '/' ? '_' : c;
    while (!out.empty() && out.back() == '=') out.pop_back();
  }
  return out;
}
// Either form back to bytes.
inline std::string FromBase64(std::string text) {
  for (char& c : text) c = c == '-' ? '+' : c == '_' ? '/' : c;
  text.append((4 - text.size() % 4) % 4, '=');
  std::string out(text.size() / 4 * 3, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&out[0]), reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(text.size()));
  out.resize(n < 0 ? 0 : static_cast<size_t>(n) - (text.size() - text.find_last_not_of('=') - 1));
  return out;
}

// A self-signed certificate with its key, made by the openssl tool in `dir`:
// <base>.key (PKCS#8 PEM), <base>.pem and <base>.der.
inline bool MakeSelfSigned(const TempDir& dir, const std::string& base, const std::string& cn,
                           const std::string& extra = "") {
  const std::string k = dir.file(base + ".key"), p = dir.file(base + ".pem"), d = dir.file(base + ".der");
  return Sh("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 -subj '/CN=" +
            cn + "' -keyout " + k + " -out " + p + " " + extra) &&
         Sh("openssl x509 -in " + p + " -outform DER -out " + d);
}

// `openssl pkcs12 -export` of a key (none: certificates only) and a
// certificate file into `out` under `pin`; `extra` adds options.
inline bool ExportP12(const std::string& key, const std::string& cert, const std::string& pin,
                      const std::string& out, const std::string& extra = "") {
  return Sh("openssl pkcs12 -export " + (key.empty() ? std::string("-nokeys") : "-inkey " + key) + " -in " + cert +
            " -passout 'pass:" + pin + "' -out " + out + " " + extra);
}
// The same for <base>.key and <base>.pem in `dir`, into <base>.p12.
inline bool ExportP12(const TempDir& dir, const std::string& base, const std::string& pin) {
  return ExportP12(dir.file(base + ".key"), dir.file(base + ".pem"), pin, dir.file(base + ".p12"));
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
