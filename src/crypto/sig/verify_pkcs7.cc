// PKCS#7 / CMS SignedData (RFC 5652 5): OpenSSL decodes the structure; the
// signer certificate search, the trust decision against the key store, the
// signed attribute checks and the result mapping are ours.
#include <openssl/objects.h>

#include <vector>

#include "crypto/base/digest.h"
#include "crypto/cert/certtext.h"
#include "crypto/frame/frame.h"
#include "crypto/sig/sigint.h"

namespace qorcr {
namespace {

constexpr char kWrongDigest[] = "ERROR in pkcs_verify_ContentInfo: Wrong MessageDigest";
constexpr char kNoPrefix[] = "/No-";
constexpr char kKeyIdPrefix[] = "/Keyid=";
constexpr char kSigningTimePrefix[] = "SigningTime= ";
// CMS_signed_get0_data_by_OBJ: the attribute must occur exactly once.
constexpr int kExactlyOne = -3;

// The certificate that matches the SignerInfo's identifier, first match wins.
X509* match_in(CMS_SignerInfo* si, STACK_OF(X509) * certs) {
  for (int i = 0; i < sk_X509_num(certs); ++i) {
    X509* x = sk_X509_value(certs, i);
    if (CMS_SignerInfo_cert_cmp(si, x) == 0) return x;
  }
  return nullptr;
}

X509* match_in_store(const PseContents& pse, CMS_SignerInfo* si) {
  ASN1_OCTET_STRING* keyid = nullptr;
  X509_NAME* issuer = nullptr;
  ASN1_INTEGER* serial = nullptr;
  if (CMS_SignerInfo_get0_signer_id(si, &keyid, &issuer, &serial) != 1) return nullptr;
  if (issuer != nullptr && serial != nullptr) return pse.FindByIssuerSerial(issuer, serial);
  if (keyid != nullptr)
    return pse.FindBySubjectKeyId(ASN1_STRING_get0_data(keyid), static_cast<size_t>(ASN1_STRING_length(keyid)));
  return nullptr;
}

// The substitute identifier of a signer without certificate.
std::string unknown_signer_id(CMS_SignerInfo* si) {
  ASN1_OCTET_STRING* keyid = nullptr;
  X509_NAME* issuer = nullptr;
  ASN1_INTEGER* serial = nullptr;
  if (CMS_SignerInfo_get0_signer_id(si, &keyid, &issuer, &serial) != 1) return std::string();
  if (issuer != nullptr && serial != nullptr) {
    std::string hex;
    SerialHex(serial, ":", &hex);
    return NameOf(issuer) + kNoPrefix + hex;
  }
  if (keyid != nullptr)
    return kKeyIdPrefix + HexPairs(ASN1_STRING_get0_data(keyid), static_cast<size_t>(ASN1_STRING_length(keyid)));
  return std::string();
}

// "SigningTime= <readable> (UTCTime: <value>)" when the attribute is there.
std::string signing_time(CMS_SignerInfo* si) {
  const int idx = CMS_signed_get_attr_by_NID(si, NID_pkcs9_signingTime, -1);
  if (idx < 0) return std::string();
  ASN1_TYPE* t = X509_ATTRIBUTE_get0_type(CMS_signed_get_attr(si, idx), 0);
  if (t == nullptr || (t->type != V_ASN1_UTCTIME && t->type != V_ASN1_GENERALIZEDTIME)) return std::string();
  const ASN1_TIME* when = t->value.utctime;
  std::string readable;
  if (!TimeText(when, &readable)) return std::string();
  const std::string raw(reinterpret_cast<const char*>(ASN1_STRING_get0_data(when)),
                        static_cast<size_t>(ASN1_STRING_length(when)));
  return kSigningTimePrefix + readable + " (UTCTime: " + raw + ")";
}

// The signature algorithms of the library's table (RSA PKCS#1 v1.5, DSA,
// ECDSA), each with the key type it needs; RSA-PSS and others are refused.
bool signature_alg_suits(const X509_ALGOR* sig, EVP_PKEY* key) {
  const ASN1_OBJECT* oid = nullptr;
  X509_ALGOR_get0(&oid, nullptr, nullptr, sig);
  const int nid = OBJ_obj2nid(oid);
  int md_nid = NID_undef, pkey_nid = nid;
  if (nid != NID_rsaEncryption && nid != NID_dsa && nid != NID_X9_62_id_ecPublicKey &&
      OBJ_find_sigid_algs(nid, &md_nid, &pkey_nid) != 1)
    return false;
  const int key_id = EVP_PKEY_get_base_id(key);
  switch (pkey_nid) {
    case NID_rsaEncryption: return key_id == EVP_PKEY_RSA;
    case NID_dsa: return key_id == EVP_PKEY_DSA;
    case NID_X9_62_id_ecPublicKey: return key_id == EVP_PKEY_EC;
    default: return false;
  }
}

// RFC 5652 5.4 and 5.6: with signed attributes, the content type and the
// message digest are checked before the signature over the attributes
// counts; without them the signature is over the content itself.
bool signer_verifies(const VerifyCall& c, CMS_ContentInfo* cms, CMS_SignerInfo* si, X509* cert,
                     Bytes content) {
  EVP_PKEY* pk = nullptr;
  X509* signer = nullptr;
  X509_ALGOR* dig = nullptr;
  X509_ALGOR* sig = nullptr;
  CMS_SignerInfo_get0_algs(si, &pk, &signer, &dig, &sig);
  EVP_PKEY* key = X509_get0_pubkey(cert);
  const SsfDigestNo d = DigestFromAlgorithm(dig);
  if (key == nullptr || DigestMd(d) == nullptr || !signature_alg_suits(sig, key)) {
    ErrorPush(SSF_API_SIGNER_NOT_OK, c.func, "signer's algorithms are not supported");
    return false;
  }
  std::vector<unsigned char> digest;
  if (!DigestCompute(d, content.p, content.n, &digest)) return false;
  if (CMS_signed_get_attr_count(si) >= 0) {
    const ASN1_OBJECT* type = static_cast<const ASN1_OBJECT*>(CMS_signed_get0_data_by_OBJ(
        si, OBJ_nid2obj(NID_pkcs9_contentType), kExactlyOne, V_ASN1_OBJECT));
    if (type == nullptr || OBJ_cmp(type, CMS_get0_eContentType(cms)) != 0) {
      ErrorPush(SSF_API_SIGNER_NOT_OK, c.func, "content-type attribute missing or wrong");
      return false;
    }
    const ASN1_OCTET_STRING* md = static_cast<const ASN1_OCTET_STRING*>(CMS_signed_get0_data_by_OBJ(
        si, OBJ_nid2obj(NID_pkcs9_messageDigest), kExactlyOne, V_ASN1_OCTET_STRING));
    if (md == nullptr || static_cast<size_t>(ASN1_STRING_length(md)) != digest.size() ||
        CRYPTO_memcmp(ASN1_STRING_get0_data(md), digest.data(), digest.size()) != 0) {
      ErrorPush(SSF_API_SIGNER_NOT_OK, c.func, kWrongDigest);
      return false;
    }
    CMS_SignerInfo_set1_signer_cert(si, cert);
    const bool ok = CMS_SignerInfo_verify(si) == 1;
    if (!ok) ErrorPushOpenSsl(SSF_API_SIGNER_NOT_OK, c.func, "signature over the signed attributes is wrong");
    return ok;
  }
  const ASN1_OCTET_STRING* value = CMS_SignerInfo_get0_signature(si);
  SslPtr<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(key, nullptr));
  const bool ok = value != nullptr && ctx && EVP_PKEY_verify_init(ctx.get()) == 1 &&
                  EVP_PKEY_CTX_set_signature_md(ctx.get(), DigestMd(d)) == 1 &&
                  EVP_PKEY_verify(ctx.get(), ASN1_STRING_get0_data(value),
                                  static_cast<size_t>(ASN1_STRING_length(value)), digest.data(),
                                  digest.size()) == 1;
  if (!ok) ErrorPushOpenSsl(SSF_API_SIGNER_NOT_OK, c.func, "signature over the content is wrong");
  return ok;
}

// Steps 11-13: the SignedData and the content it signs.
int32_t open_signed_data(VerifyCall* c, SslPtr<CMS_ContentInfo>* cms, SslPtr<CMS_ContentInfo>* input,
                         Bytes* content) {
  if (DecodeContentInfo(c->signature, cms) != SSF_API_OK) {
    c->reason = "signature is not a ContentInfo";
    ErrorPushOpenSsl(SSF_API_DECODE_FAILED, c->func, c->reason);
    return SSF_API_DECODE_FAILED;
  }
  if (OBJ_obj2nid(CMS_get0_type(cms->get())) != NID_pkcs7_signed) {
    c->reason = "not SignedData";
    return SSF_API_INVALID_FORMAT;
  }
  Bytes supplied;
  bool have_supplied = false;
  if (!c->input.empty()) {
    if (DecodeContentInfo(c->input, input) != SSF_API_OK) {
      c->reason = "input data is not a ContentInfo";
      ErrorPushOpenSsl(SSF_API_DECODE_FAILED, c->func, c->reason);
      return SSF_API_DECODE_FAILED;
    }
    have_supplied = OBJ_cmp(CMS_get0_type(input->get()), CMS_get0_eContentType(cms->get())) == 0 &&
                    DataContent(input->get(), &supplied);
  }
  ASN1_OCTET_STRING** carried = CMS_get0_content(cms->get());
  if (carried != nullptr && *carried != nullptr) {
    content->p = ASN1_STRING_get0_data(*carried);
    content->n = static_cast<size_t>(ASN1_STRING_length(*carried));
    // Carried and supplied content must be the same octets.
    if (*input && (!have_supplied || supplied.n != content->n ||
                   (content->n && memcmp(supplied.p, content->p, content->n) != 0))) {
      c->reason = "supplied content differs from the carried content";
      return SSF_API_NODATA;
    }
    return SSF_API_OK;
  }
  if (!have_supplied) {
    c->reason = c->input.empty() ? "detached signature without content" : "content type differs";
    return SSF_API_NODATA;
  }
  *content = supplied;
  return SSF_API_OK;
}

}  // namespace

int32_t VerifyPkcs7(VerifyCall* c) {
  SslPtr<CMS_ContentInfo> cms, input;
  Bytes content;
  int32_t rc = open_signed_data(c, &cms, &input, &content);
  if (rc != SSF_API_OK) return rc;
  X509Stack caller;
  if (!c->pse) {
    rc = ParseChain(c->chain, c->certs, &caller);
    if (rc != SSF_API_OK) {
      c->reason = "certificates cannot be read";
      ErrorPushOpenSsl(rc, c->func, c->reason);
      return rc;
    }
  }
  X509Stack carried(CMS_get1_certs(cms.get()));
  STACK_OF(CMS_SignerInfo)* infos = CMS_get0_SignerInfos(cms.get());
  bool failed = false;
  for (int i = 0; i < sk_CMS_SignerInfo_num(infos); ++i) {
    CMS_SignerInfo* si = sk_CMS_SignerInfo_value(infos, i);
    uint32_t result = SSF_API_UNKNOWN_SIGNER;
    X509* cert = nullptr;
    if (!c->pse) {
      cert = match_in(si, caller.get());
    } else {
      if (c->inc_certs) cert = match_in(si, carried.get());
      if (cert == nullptr) {
        Trace(kTrcDetail, c->func, "%-15s: Signer certificate not in message, search it...", c->func);
        cert = match_in_store(*c->pse, si);
      }
    }
    std::string id;
    if (cert != nullptr) {
      Trace(kTrcDetail, c->func, "%-15s: Signer certificate found", c->func);
      result = SSF_API_OK;
      id = NameOf(X509_get_subject_name(cert));
      if (c->pse) {
        const int32_t check = CertCheck(*c, cert, carried.get());
        if (check != SSF_API_OK) result = static_cast<uint32_t>(check), failed = true;
      }
    } else {
      Trace(kTrcDetail, c->func, "%-15s: Signer certificate not found", c->func);
      id = unknown_signer_id(si);
    }
    SigRcpSsfInformation* rec = nullptr;
    rc = AppendSigner(*c, id, signing_time(si), cert, result, &rec);
    if (rc != SSF_API_OK) return rc;
    if (cert == nullptr) {
      rec->uResult = SSF_API_SIGNER_NOT_OK;
      failed = true;
    } else if (!signer_verifies(*c, cms.get(), si, cert, content)) {
      if (rec->uResult == SSF_API_OK) rec->uResult = SSF_API_SIGNER_NOT_OK;
      failed = true;
    }
    OpenSslErrorsDrop();
  }
  if (sk_CMS_SignerInfo_num(infos) <= 0) failed = true;
  rc = failed ? SSF_API_SIGNER_ERRORS : SSF_API_OK;
  if (failed && *c->reason == '\0') c->reason = "signer errors";
  if (c->out != nullptr && c->outL != nullptr && !DupOut(content.p, content.n, c->out, c->outL))
    return SSF_API_UNKNOWN_SECTK_ERROR;
  return rc;
}

}  // namespace qorcr
