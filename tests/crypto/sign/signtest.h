// Helpers for the signing tests: key stores made by the openssl tool from
// the signature test data, a ContentInfo built here (not by the library),
// and one SsfSignEx call with its records collected.
#pragma once

#include <string>
#include <vector>

#include "crypto/sig/sigtest.h"

namespace qortest {

constexpr char kPin[] = "s3cret";

// A PKCS#12 file of <base>.key/<base>.pem (and the CA) made by `openssl pkcs12 -export`.
inline std::string MakeP12(const TempDir& dir, const std::string& base, const std::string& pin = kPin) {
  const std::string out = dir.file(base + ".p12");
  const bool ok = ExportP12(SigData(base + ".key"), SigData(base + ".pem"), pin, out,
                            "-certfile " + SigData("ca.pem") + " -name " + base);
  return ok ? out : std::string();
}

// A memory key store holding the bytes of a file.
struct MemImage : MemStore {
  explicit MemImage(const std::string& file) {
    if (!file.empty()) Load(ReadBytes(file));
  }
};

// DER ContentInfo of type data around `content` (as a wrapping step would make it).
inline Bytes DataContentInfo(const Bytes& content) {
  auto tlv = [](unsigned char tag, const Bytes& body) {
    Bytes out{tag};
    const size_t n = body.size();
    if (n < 0x80) {
      out.push_back(static_cast<unsigned char>(n));
    } else if (n < 0x100) {
      out.insert(out.end(), {0x81, static_cast<unsigned char>(n)});
    } else {
      out.insert(out.end(), {0x82, static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)});
    }
    out.insert(out.end(), body.begin(), body.end());
    return out;
  };
  Bytes body{0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x01};
  const Bytes explicit0 = tlv(0xA0, tlv(0x04, content));
  body.insert(body.end(), explicit0.begin(), explicit0.end());
  return tlv(0x30, body);
}

struct SignerSpec {
  std::string id = "<implicit>";
  std::string pse;
  std::string pin = kPin;
};

struct SignArgs {
  std::string format = "PKCS7";
  std::string digest = "SHA256";
  unsigned char inc_certs = 1;
  unsigned char detached = 1;
  Bytes input;
  std::vector<SignerSpec> signers;
  std::string chain;
  bool extras = false;
};

struct Signed {
  int32_t rc = -1;
  std::vector<uint32_t> results;
  Bytes out, chain, name, key_id;
};

inline Signed RunSign(const SignArgs& a) {
  SigRcpSsfInformationList list = nullptr;
  for (const SignerSpec& s : a.signers) {
    SigRcpSsfInformation* r = nullptr;
    SsfNEWSigRcpSsfInfo(s.id.data(), static_cast<int32_t>(s.id.size()), nullptr, 0, s.pse.data(),
                        static_cast<int32_t>(s.pse.size()), reinterpret_cast<const unsigned char*>(s.pin.data()),
                        static_cast<int32_t>(s.pin.size()), 0, &r);
    SsfINSSigRcpSsfInfo(r, &list);
  }
  SsfOctetstring out = nullptr, chain = nullptr, name = nullptr, kid = nullptr;
  SsfOctetlen outL = 0, chainL = 0, nameL = 0, kidL = 0;
  Signed s;
  s.rc = SsfSignEx(a.format.data(), static_cast<int32_t>(a.format.size()), a.digest.data(),
                   static_cast<int32_t>(a.digest.size()), a.inc_certs, a.detached,
                   a.input.empty() ? nullptr : a.input.data(), static_cast<int32_t>(a.input.size()), list,
                   a.chain.data(), static_cast<int32_t>(a.chain.size()), a.extras ? &chain : nullptr,
                   a.extras ? &chainL : nullptr, a.extras ? &name : nullptr, a.extras ? &nameL : nullptr,
                   a.extras ? &kid : nullptr, a.extras ? &kidL : nullptr, &out, &outL);
  for (auto* n = list; n != nullptr; n = n->ptrNextSigRcp) s.results.push_back(n->ptrSigRcp->uResult);
  if (list) SsfDELSigRcpSsfInfoList(&list);
  auto take = [](SsfOctetstring* p, SsfOctetlen* l, Bytes* b) {
    if (*p) b->assign(*p, *p + *l);
    SsfDELSsfOctetstring(p, l);
  };
  take(&out, &outL, &s.out);
  take(&chain, &chainL, &s.chain);
  take(&name, &nameL, &s.name);
  take(&kid, &kidL, &s.key_id);
  return s;
}

// `openssl cms -verify` of a DER SignedData; `content` is the detached
// content file ("" for attached). Trusts the test CA; `certfile` adds
// signer certificates the message does not carry.
inline bool OpensslVerifies(const TempDir& dir, const Bytes& sig, const std::string& content,
                            const std::string& certfile = "", const std::string& out = "/dev/null") {
  const std::string p7 = dir.file("sig.p7");
  WriteBytes(p7, sig);
  std::string cmd = "openssl cms -verify -inform DER -binary -in " + p7 + " -CAfile " + SigData("ca.pem") +
                    " -purpose any -out " + out;
  if (!content.empty()) cmd += " -content " + content;
  if (!certfile.empty()) cmd += " -certfile " + certfile;
  return Sh(cmd);
}

}  // namespace qortest
