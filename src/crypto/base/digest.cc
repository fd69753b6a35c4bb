// Digest numbers, OpenSSL digests and algorithm identifiers.
#include "crypto/base/digest.h"

#include <openssl/err.h>
#include <openssl/obj_mac.h>
#include <openssl/objects.h>

namespace qorcr {
namespace {

struct DigestRow {
  SsfDigestNo no;
  int nid;
  const EVP_MD* (*md)();
};

const EVP_MD* no_md() { return nullptr; }

const DigestRow kDigestRows[] = {
    {SSF_DIGEST_MD2, NID_md2, &no_md},
    {SSF_DIGEST_MD4, NID_md4, &no_md},
    {SSF_DIGEST_MD5, NID_md5, &EVP_md5},
    {SSF_DIGEST_SHA1, NID_sha1, &EVP_sha1},
    {SSF_DIGEST_RIPEMD160, NID_ripemd160, &EVP_ripemd160},
    {SSF_DIGEST_SHA224, NID_sha224, &EVP_sha224},
    {SSF_DIGEST_SHA256, NID_sha256, &EVP_sha256},
    {SSF_DIGEST_SHA384, NID_sha384, &EVP_sha384},
    {SSF_DIGEST_SHA512, NID_sha512, &EVP_sha512},
    // 1.3.36.3.2.2 has no OpenSSL implementation.
    {SSF_DIGEST_RIPEMD128, NID_undef, &no_md},
};

const DigestRow* row(SsfDigestNo d) {
  for (const DigestRow& r : kDigestRows)
    if (r.no == d) return &r;
  return nullptr;
}

// Each digest's implementation fetched once for the process: the legacy
// handles make every context setup look the implementation up by name.
// One the providers do not offer stays the legacy handle.
struct Fetched {
  const EVP_MD* md[sizeof kDigestRows / sizeof kDigestRows[0]];
  Fetched() {
    for (size_t i = 0; i < sizeof kDigestRows / sizeof kDigestRows[0]; ++i) {
      const EVP_MD* legacy = kDigestRows[i].md();
      EVP_MD* f = legacy == nullptr ? nullptr : EVP_MD_fetch(nullptr, EVP_MD_get0_name(legacy), nullptr);
      md[i] = f != nullptr ? f : legacy;
    }
    ERR_clear_error();
  }
};

}  // namespace

int32_t DigestLookup(const char* name, SsfCharlen len, SsfDigestNo* out) {
  SsfDigestNo d = SSF_DIGEST_UNKNOWN;
  if (!SsfLookupDigest(name, len, &d)) return SSF_API_INVALID_MDALG;
  if (d == SSF_DIGEST_MD2 || d == SSF_DIGEST_MD4) return SSF_API_INSECURE_MDALG;
  *out = d;
  return SSF_API_OK;
}

const EVP_MD* DigestMd(SsfDigestNo d) {
  static const Fetched fetched;
  const DigestRow* r = row(d);
  return r ? fetched.md[r - kDigestRows] : nullptr;
}

int DigestNid(SsfDigestNo d) {
  const DigestRow* r = row(d);
  return r ? r->nid : NID_undef;
}

SsfDigestNo DigestFromNid(int nid) {
  if (nid == NID_undef) return SSF_DIGEST_UNKNOWN;
  for (const DigestRow& r : kDigestRows)
    if (r.nid == nid) return r.no;
  return SSF_DIGEST_UNKNOWN;
}

SsfDigestNo DigestFromAlgorithm(const X509_ALGOR* alg) {
  if (alg == nullptr) return SSF_DIGEST_UNKNOWN;
  const ASN1_OBJECT* oid = nullptr;
  X509_ALGOR_get0(&oid, nullptr, nullptr, alg);
  return DigestFromNid(OBJ_obj2nid(oid));
}

bool DigestAlgorithmId(SsfDigestNo d, SslPtr<X509_ALGOR>* out) {
  const EVP_MD* md = DigestMd(d);
  if (md == nullptr) return false;
  SslPtr<X509_ALGOR> alg(X509_ALGOR_new());
  if (!alg) return false;
  X509_ALGOR_set_md(alg.get(), md);
  *out = std::move(alg);
  return true;
}

bool DigestAlgorithmIdDer(SsfDigestNo d, std::vector<unsigned char>* der) {
  SslPtr<X509_ALGOR> alg;
  if (!DigestAlgorithmId(d, &alg)) return false;
  return I2dBytes([&](unsigned char** p) { return i2d_X509_ALGOR(alg.get(), p); }, der);
}

int SignatureNid(int pkey_id, SsfDigestNo d) {
  const int md_nid = DigestNid(d);
  int sig_nid = NID_undef;
  if (md_nid == NID_undef || OBJ_find_sigid_by_algs(&sig_nid, md_nid, pkey_id) != 1)
    return NID_undef;
  return sig_nid;
}

bool DigestCompute(SsfDigestNo d, const unsigned char* data, size_t len,
                   std::vector<unsigned char>* out) {
  const EVP_MD* md = DigestMd(d);
  if (md == nullptr) return false;
  unsigned char buf[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (EVP_Digest(data, len, buf, &n, md, nullptr) != 1) {
    ERR_clear_error();
    return false;
  }
  out->assign(buf, buf + n);
  return true;
}

}  // namespace qorcr
