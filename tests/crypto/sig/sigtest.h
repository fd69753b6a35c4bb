// Helpers for the verification tests: the data made by
// tests/tools/make_signatures.py, memory key stores and one call of
// SsfVerifyEx with its records collected.
#pragma once

#include <openssl/err.h>

#include <string>
#include <vector>

#include "crypto/cryptotest.h"

namespace qortest {

// A result code as the signer records hold it.
inline uint32_t U(int32_t rc) { return static_cast<uint32_t>(rc); }

inline std::string SigData(const std::string& name) { return QOR_TEST_DATA_DIR "/sig/" + name; }
inline Bytes SigBytes(const std::string& name) { return ReadBytes(SigData(name)); }

// A memory key store trusting the certificates of the given PEM files.
class MemStore {
 public:
  explicit MemStore(const std::vector<std::string>& pems) {
    std::string image;
    for (const std::string& p : pems) image += ReadFile(SigData(p));
    Load(ToBytes(image));
  }
  ~MemStore() {
    if (!name_.empty()) qor_delete_memory_PSE(name_.c_str());
  }
  MemStore(const MemStore&) = delete;
  MemStore& operator=(const MemStore&) = delete;
  bool ok() const { return ok_; }
  const std::string& name() const { return name_; }

 protected:
  MemStore() = default;
  void Load(const Bytes& image) {
    char* name = nullptr;
    if (qor_create_memory_PSE(&name) != 0) return;
    name_ = name;
    ok_ = qor_load_memory_PSE(name, image.data(), static_cast<int32_t>(image.size())) == 0;
  }

 private:
  std::string name_;
  bool ok_ = false;
};

struct Signer {
  uint32_t result;
  std::string id, profile;
  Bytes cert;
};

struct Verified {
  int32_t rc = -1;
  std::vector<Signer> signers;
  Bytes content;
  bool openssl_queue_empty = false;
  // The thread's error information right after the call (the record and
  // string calls that release the outputs start a fresh one).
  int32_t error_code = 0;
  std::string error_text;
};

struct VerifyArgs {
  std::string format = "PKCS7";
  std::string digest;
  unsigned char inc_certs = 1;
  Bytes signature, input;
  std::string pab;
  std::string pin;
  std::string chain;
  Bytes certs;
  std::string signer_name;
  Bytes key_id;
};

inline Verified RunVerify(const VerifyArgs& a) {
  auto cstr = [](const std::string& s) { return s.empty() ? nullptr : s.data(); };
  auto len = [](const auto& s) { return static_cast<int32_t>(s.size()); };
  auto data = [](const Bytes& b) { return b.empty() ? nullptr : b.data(); };
  SigRcpSsfInformationList list = nullptr;
  SsfOctetstring out = nullptr;
  SsfOctetlen outL = 0;
  Verified v;
  v.rc = SsfVerifyEx(cstr(a.format), len(a.format), cstr(a.digest), len(a.digest), a.inc_certs,
                     data(a.signature), len(a.signature), data(a.input), len(a.input), cstr(a.pab),
                     len(a.pab), cstr(a.pin), len(a.pin), cstr(a.signer_name), len(a.signer_name),
                     data(a.key_id), len(a.key_id), cstr(a.chain), len(a.chain), data(a.certs),
                     len(a.certs), &list, &out, &outL);
  v.openssl_queue_empty = ERR_peek_error() == 0;
  SsfOctetstring text = nullptr;
  SsfOctetlen textL = 0;
  SsfSecTKLastErrorInfo(v.rc, &v.error_code, &text, &textL, nullptr, nullptr);
  if (text) v.error_text.assign(reinterpret_cast<char*>(text), static_cast<size_t>(textL));
  SsfDELSsfOctetstring(&text, &textL);
  for (auto* n = list; n != nullptr; n = n->ptrNextSigRcp) {
    const SigRcpSsfInformation* r = n->ptrSigRcp;
    Signer s{r->uResult, std::string(r->strSigRcpId, r->strSigRcpIdL), "", {}};
    if (r->strSigRcpProfile) s.profile.assign(r->strSigRcpProfile, r->strSigRcpProfileL);
    if (r->strSigRcpPassword)
      s.cert.assign(r->strSigRcpPassword, r->strSigRcpPassword + r->strSigRcpPasswordL);
    v.signers.push_back(s);
  }
  if (list) SsfDELSigRcpSsfInfoList(&list);
  if (out) v.content.assign(out, out + outL);
  SsfDELSsfOctetstring(&out, &outL);
  return v;
}

}  // namespace qortest
