// The raw formats: an RSASSA-PKCS1-v1_5 signature value, or a DSA
// signature value as DER or as r followed by s, over the digest of the input.
#include <openssl/dsa.h>
#include <openssl/rsa.h>

#include "crypto/base/digest.h"
#include "crypto/frame/frame.h"
#include "crypto/sign/signint.h"

namespace qorcr {
namespace {

bool dsa_digest(SsfDigestNo d) {
  return d == SSF_DIGEST_SHA1 || d == SSF_DIGEST_SHA224 || d == SSF_DIGEST_SHA256;
}

// MD5 up to RIPEMD128 by number: everything but the refused MD2 and MD4.
bool rsa_digest(SsfDigestNo d) {
  // A digest of the range that the crypto kernel lacks fails when hashing
  // (13), as in verification, not here.
  return d >= SSF_DIGEST_MD5 && d <= SSF_DIGEST_RIPEMD128;
}

int32_t refuse(SignCall* c, Signer* s, int32_t rc, const char* reason) {
  c->reason = reason;
  ErrorPush(rc, c->func, reason);
  s->rec->uResult = static_cast<uint32_t>(rc);
  s->ready = false;
  return rc;
}

// r || s, each as long as the group order.
bool dsa_flat(EVP_PKEY* key, const std::vector<unsigned char>& der, std::vector<unsigned char>* out) {
  const unsigned char* p = der.data();
  SslPtr<DSA_SIG> sig(d2i_DSA_SIG(nullptr, &p, static_cast<long>(der.size())));
  BIGNUM* q = nullptr;
  if (!sig || EVP_PKEY_get_bn_param(key, "q", &q) != 1) return false;
  SslPtr<BIGNUM> owned_q(q);
  const int n = BN_num_bytes(q);
  const BIGNUM *r = nullptr, *s = nullptr;
  DSA_SIG_get0(sig.get(), &r, &s);
  out->assign(static_cast<size_t>(2 * n), 0);
  return BN_bn2binpad(r, out->data(), n) == n && BN_bn2binpad(s, out->data() + n, n) == n;
}

bool sign_digest(EVP_PKEY* key, const EVP_MD* md, bool rsa, const std::vector<unsigned char>& digest,
                 std::vector<unsigned char>* out) {
  SslPtr<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(key, nullptr));
  size_t len = 0;
  if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_signature_md(ctx.get(), md) != 1)
    return false;
  if (rsa && EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1) return false;
  if (EVP_PKEY_sign(ctx.get(), nullptr, &len, digest.data(), digest.size()) != 1) return false;
  out->resize(len);
  if (EVP_PKEY_sign(ctx.get(), out->data(), &len, digest.data(), digest.size()) != 1) return false;
  out->resize(len);
  return true;
}

}  // namespace

int32_t SignRaw(SignCall* c, Signer* s) {
  // A raw signature has one signer: only the list's first record signs.
  if (PrepareSigner(*c, c->signers->ptrSigRcp, s) == SSF_API_NOMEMORY) return SSF_API_NOMEMORY;
  if (!s->ready) return c->reason = "signer error", SSF_API_SIGNER_ERRORS;
  // The key type must be the format's and the digest one it can sign.
  const bool rsa = c->format.number == SSF_FORMAT_PKCS1_V15;
  const int type = EVP_PKEY_get_base_id(s->key);
  if (rsa && type != EVP_PKEY_RSA) return refuse(c, s, SSF_API_ALG_MISMATCH, "Key type is not RSA");
  if (!rsa && type != EVP_PKEY_DSA) return refuse(c, s, SSF_API_ALG_MISMATCH, "Key type is not DSA");
  if (rsa ? !rsa_digest(c->digest) : !dsa_digest(c->digest))
    return refuse(c, s, SSF_API_INVALID_MDALG, "digest not usable with this format");
  // The digest is computed here and the key signs the digest itself.
  const EVP_MD* md = DigestMd(c->digest);
  std::vector<unsigned char> digest, sig, flat;
  bool ok = DigestCompute(c->digest, c->input.p, c->input.n, &digest) &&
            sign_digest(s->key, md, rsa, digest, &sig);
  if (ok && c->format.flat) {
    ok = dsa_flat(s->key, sig, &flat);
    sig.swap(flat);
  }
  if (!ok) {
    c->reason = "signing operation failed";
    ErrorPushOpenSsl(SSF_API_UNKNOWN_SECTK_ERROR, c->func, c->reason);
    s->rec->uResult = SSF_API_UNKNOWN_SECTK_ERROR;
    return SSF_API_UNKNOWN_SECTK_ERROR;
  }
  if (!DupOut(sig.data(), sig.size(), c->out, c->outL)) return SSF_API_NOMEMORY;
  s->rec->uResult = SSF_API_OK;
  return SSF_API_OK;
}

}  // namespace qorcr
