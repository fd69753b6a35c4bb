// "PKCS7": the input ContentInfo, one SignerInfo per signer record in list
// order, and the DER SignedData (content type and message digest as signed
// attributes; OpenSSL writes every SET OF in DER order).
#include <openssl/cms.h>
#include <openssl/err.h>

#include "base/bytes/reader.h"
#include "crypto/base/verify_ready.h"
#include "crypto/frame/frame.h"
#include "crypto/sig/signeddata.h"
#include "crypto/sign/signint.h"

namespace qorcr {
namespace {

constexpr uint8_t kDerExplicit0 = 0xA0;
constexpr uint8_t kDerSet = 0x31;
constexpr unsigned kCmsFlags = CMS_BINARY | CMS_NOSMIMECAP | CMS_PARTIAL;

using AsnObject = std::unique_ptr<ASN1_OBJECT, void (*)(ASN1_OBJECT*)>;

// The input as a ContentInfo: its type and the bytes the signature covers
// (the octets of a data content, else the DER of the content).
struct Content {
  AsnObject type{nullptr, ASN1_OBJECT_free};
  Bytes bytes;
};

bool decode_content(Bytes in, Content* out) {
  ByteReader r(in.p, in.n), ci, expl, octets;
  if (!r.get_der(kDerSequence, &ci) || !r.rest_is_zero()) return false;
  const uint8_t* oid_start = ci.data();
  ByteReader oid;
  if (!ci.get_der(kDerOid, &oid)) return false;
  const unsigned char* p = oid_start;
  out->type.reset(d2i_ASN1_OBJECT(nullptr, &p, static_cast<long>(ci.data() - oid_start)));
  if (!out->type) return false;
  if (ci.empty()) return true;  // a ContentInfo without content signs nothing
  if (!ci.get_der(kDerExplicit0, &expl) || !ci.empty()) return false;
  if (OBJ_obj2nid(out->type.get()) != NID_pkcs7_data) {
    out->bytes.p = expl.data();
    out->bytes.n = expl.remaining();
    return true;
  }
  if (!expl.get_der(kDerOctetString, &octets) || !expl.empty()) return false;
  out->bytes.p = octets.data();
  out->bytes.n = octets.remaining();
  return true;
}

void signer_failed(const SignCall& c, Signer* s, const char* text) {
  ErrorPushOpenSsl(SSF_API_SIGNER_NOT_OK, c.func, text);
  s->rec->uResult = SSF_API_SIGNER_NOT_OK;
  s->ready = false;
}

enum class Check { kVerified, kBroken, kUnknown };

// The signer whose certificate a SignerInfo names, or null.
const Signer* named_signer(const SignerInfoView& si, const std::vector<Signer>& signers) {
  for (const Signer& s : signers) {
    if (!s.ready) continue;
    if (!si.key_id.empty()) {
      const ASN1_OCTET_STRING* skid = X509_get0_subject_key_id(s.cert);
      if (skid != nullptr && SameBytes(si.key_id, Bytes{ASN1_STRING_get0_data(skid),
                                                        static_cast<size_t>(ASN1_STRING_length(skid))}))
        return &s;
      continue;
    }
    unsigned char* der = nullptr;
    const int n = i2d_X509(s.cert, &der);
    SslBuf<unsigned char> owned(der);
    Bytes issuer, serial;
    if (n > 0 && ReadCertIssuerSerial(Bytes{der, static_cast<size_t>(n)}, &issuer, &serial) &&
        SameBytes(issuer, si.issuer) && SameBytes(serial, si.serial))
      return &s;
  }
  return nullptr;
}

// The check below for RSA signers, on the encoded bytes as they are: each
// SignerInfo with attributes names a signer of this call, and with
// `signatures` its signature over the attributes is verified with the
// signer's ready public key (RFC 5652 5.4: over the DER of the attributes
// with the SET OF tag). kUnknown hands the decision to the general check.
Check rsa_encoding_verifies(const SignCall& c, const unsigned char* der, int len,
                            const std::vector<Signer>& signers, bool signatures) {
  for (const Signer& s : signers)
    if (s.ready && EVP_PKEY_get_base_id(s.key) != EVP_PKEY_RSA) return Check::kUnknown;
  ContentInfoView ci;
  SignedDataView sd;
  if (!ReadContentInfo(Bytes{der, static_cast<size_t>(len)}, &ci) || !IsSignedData(ci) ||
      !ReadSignedData(ci, &sd))
    return Check::kUnknown;
  std::vector<unsigned char> attrs;
  for (const SignerInfoView& si : sd.signers) {
    if (si.signed_attrs.empty()) continue;
    const Signer* s = named_signer(si, signers);
    if (s == nullptr) return Check::kBroken;
    if (!signatures) continue;
    try {
      attrs.assign(si.signed_attrs.p, si.signed_attrs.p + si.signed_attrs.n);
    } catch (const std::bad_alloc&) {
      return Check::kUnknown;
    }
    attrs[0] = kDerSet;
    if (!DigestVerifyReady(X509_get0_pubkey(s->cert), SignerDigest(c, *s), si.signature.p,
                           si.signature.n, attrs.data(), attrs.size()))
      return Check::kBroken;
  }
  return Check::kVerified;
}

// The crypto library can run out of memory while encoding the signed
// attributes (a SET OF it sorts) and still hand out a signature or an
// encoding with a broken SET; it only raises an error then. So unless it
// stayed `quiet` while signing and encoding, every signature over attributes
// is checked once on the encoded result, against the signer's own
// certificate. RSA signatures of a quiet run need no check: both encodings
// of the attributes were whole, so the signature covers what was written.
bool encoding_verifies(const SignCall& c, const unsigned char* der, int len,
                       const std::vector<Signer>& signers, bool quiet) {
  switch (rsa_encoding_verifies(c, der, len, signers, !quiet)) {
    case Check::kVerified:
      return true;
    case Check::kBroken:
      return false;
    case Check::kUnknown:
      break;
  }
  const unsigned char* p = der;
  SslPtr<CMS_ContentInfo> back(d2i_CMS_ContentInfo(nullptr, &p, len));
  if (!back || p != der + len) return false;
  STACK_OF(CMS_SignerInfo)* infos = CMS_get0_SignerInfos(back.get());
  for (int i = 0; i < sk_CMS_SignerInfo_num(infos); ++i) {
    CMS_SignerInfo* si = sk_CMS_SignerInfo_value(infos, i);
    if (CMS_signed_get_attr_count(si) <= 0) continue;
    X509* cert = nullptr;
    for (const Signer& s : signers)
      if (cert == nullptr && s.ready && CMS_SignerInfo_cert_cmp(si, s.cert) == 0) cert = s.cert;
    if (cert == nullptr) return false;
    CMS_SignerInfo_set1_signer_cert(si, cert);
    if (CMS_SignerInfo_verify(si) != 1) return false;
  }
  return true;
}

// Empties this thread's OpenSSL error queue and makes sure that it records:
// the queue is made on first use, which can fail for want of memory, and
// then nothing raised later would show. Raising without a text allocates
// nothing once the queue exists.
bool watch_openssl_errors() {
  ERR_clear_error();
  ERR_raise(ERR_LIB_CMS, ERR_R_INTERNAL_ERROR);
  const bool recording = ERR_peek_error() != 0;
  ERR_clear_error();
  return recording;
}

// Builds and signs the SignedData; false when the whole structure failed
// (every signer that was to sign is marked then).
bool build(SignCall* c, const Content& content, std::vector<Signer>* signers,
           SslPtr<CMS_ContentInfo>* out) {
  unsigned flags = kCmsFlags | (c->detached ? CMS_DETACHED : 0u);
  SslPtr<CMS_ContentInfo> cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
  const char* failure = nullptr;
  if (!cms) failure = "cmsobj_create_SignedData() failed";
  if (failure == nullptr && OBJ_obj2nid(content.type.get()) != NID_pkcs7_data &&
      CMS_set1_eContentType(cms.get(), content.type.get()) != 1)
    failure = "cmsobj_create_SignedData() failed";
  bool any = false;
  std::vector<X509*> added;  // OpenSSL refuses a certificate twice, signers may share one
  for (Signer& s : *signers) {
    if (failure != nullptr || !s.ready) continue;
    if (CMS_add1_signer(cms.get(), s.cert, s.key, SignerDigest(*c, s), kCmsFlags | CMS_NOCERTS) == nullptr) {
      signer_failed(*c, &s, "cmsobj_sign_ContentInfo() failed");
      continue;
    }
    any = true;
    bool have = false;
    for (X509* x : added) have = have || X509_cmp(x, s.cert) == 0;
    if (c->inc_certs && !have) {
      if (CMS_add1_cert(cms.get(), s.cert) != 1) failure = "cmsobj_create_SignedData() failed";
      added.push_back(s.cert);
    }
  }
  if (failure == nullptr && any) {
    SslPtr<BIO> data(BIO_new_mem_buf(content.bytes.p ? content.bytes.p : reinterpret_cast<const unsigned char*>(""),
                                     static_cast<int>(content.bytes.n)));
    if (!data || CMS_final(cms.get(), data.get(), nullptr, flags) != 1)
      failure = "cmsobj_update_SignedData() failed";
  }
  if (failure != nullptr) {
    for (Signer& s : *signers)
      if (s.ready) signer_failed(*c, &s, failure);
    return false;
  }
  *out = std::move(cms);
  return any;
}

}  // namespace

int32_t SignPkcs7(SignCall* c, std::vector<Signer>* signers) {
  // The content to sign must decode as data.
  Content content;
  if (c->input.n > static_cast<size_t>(INT32_MAX) || !decode_content(c->input, &content)) {
    OpenSslErrorsDrop();
    c->reason = "input is not a ContentInfo";
    ErrorPush(SSF_API_DECODE_FAILED, c->func, c->reason);
    return SSF_API_DECODE_FAILED;
  }
  // Every signer is prepared, also after one failed, so each record tells its reason.
  for (SigRcpSsfInformationListStruct* n = c->signers; n != nullptr; n = n->ptrNextSigRcp) {
    signers->emplace_back();
    if (PrepareSigner(*c, n->ptrSigRcp, &signers->back()) == SSF_API_NOMEMORY) {
      c->reason = "out of memory";
      return SSF_API_NOMEMORY;
    }
  }
  // All signers sign one SignedData.
  const bool watched = watch_openssl_errors();
  SslPtr<CMS_ContentInfo> cms;
  const bool built = build(c, content, signers, &cms);
  bool all = built;
  for (Signer& s : *signers) {
    if (s.ready) s.rec->uResult = SSF_API_OK;
    else all = false;
  }
  if (!all) {
    c->reason = "signer errors";
    return SSF_API_SIGNER_ERRORS;
  }
  unsigned char* der = nullptr;
  const int len = i2d_CMS_ContentInfo(cms.get(), &der);
  SslBuf<unsigned char> owned(der);
  const bool quiet = watched && ERR_peek_error() == 0;
  if (len <= 0 || !encoding_verifies(*c, der, len, *signers, quiet)) {
    ErrorPushOpenSsl(SSF_API_ENCODE_FAILED, c->func, "SignedData cannot be encoded");
    c->reason = "encoding failed";
    return SSF_API_ENCODE_FAILED;
  }
  if (!DupOut(der, static_cast<size_t>(len), c->out, c->outL)) return SSF_API_NOMEMORY;
  return SSF_API_OK;
}

}  // namespace qorcr
