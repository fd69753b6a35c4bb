// PKCS#7 / CMS SignedData (RFC 5652 5): the structure is read with the
// bounded reader; the signer certificate search, the trust decision against
// the key store, the signed attribute checks and the result mapping are
// ours. A carried certificate that the key store holds byte for byte is
// taken from the store and never decoded again.
#include <openssl/objects.h>

#include <vector>

#include "base/bytes/reader.h"
#include "crypto/base/digest.h"
#include "crypto/base/verify_ready.h"
#include "crypto/cert/certtext.h"
#include "crypto/frame/frame.h"
#include "crypto/sig/signeddata.h"

namespace qorcr {
namespace {

constexpr char kWrongDigest[] = "ERROR in pkcs_verify_ContentInfo: Wrong MessageDigest";
constexpr char kNoPrefix[] = "/No-";
constexpr char kKeyIdPrefix[] = "/Keyid=";
constexpr char kSigningTimePrefix[] = "SigningTime= ";

// A SignerInfo's identifier, decoded once.
struct Sid {
  Bytes issuer_der, serial_der, key_id;
  SslPtr<X509_NAME> issuer;
  SslPtr<ASN1_INTEGER> serial;
};

bool decode_sid(const SignerInfoView& v, Sid* sid) {
  sid->issuer_der = v.issuer;
  sid->serial_der = v.serial;
  sid->key_id = v.key_id;
  if (!v.key_id.empty()) return true;
  const unsigned char* p = v.issuer.p;
  sid->issuer.reset(d2i_X509_NAME(nullptr, &p, static_cast<long>(v.issuer.n)));
  p = v.serial.p;
  sid->serial.reset(d2i_ASN1_INTEGER(nullptr, &p, static_cast<long>(v.serial.n)));
  return sid->issuer && sid->serial;
}

bool sid_matches(const Sid& sid, X509* x) {
  if (!sid.key_id.empty()) {
    const ASN1_OCTET_STRING* skid = X509_get0_subject_key_id(x);
    return skid != nullptr &&
           SameBytes(sid.key_id, Bytes{ASN1_STRING_get0_data(skid),
                                       static_cast<size_t>(ASN1_STRING_length(skid))});
  }
  return X509_NAME_cmp(X509_get_issuer_name(x), sid.issuer.get()) == 0 &&
         ASN1_INTEGER_cmp(X509_get0_serialNumber(x), sid.serial.get()) == 0;
}

// The message's certificates, decoded only when needed (and then once for
// all calls, through the caller key cache); one that equals a key store
// certificate byte for byte is that certificate.
class Carried {
 public:
  Carried(const std::vector<Bytes>& raw, const PseContents* pse)
      : raw_(raw), pse_(pse), x_(raw.size()) {}

  size_t size() const { return raw_.size(); }
  Bytes raw(size_t i) const { return raw_[i]; }

  // The certificate, and whether it is one of the store's own.
  X509* get(size_t i, bool* from_store) {
    *from_store = false;
    if (X509* s = store_twin(raw_[i])) return *from_store = true, s;
    if (!x_[i] && CallerKeysGet(SSF_CHAIN_X509V3, raw_[i], &x_[i]) != SSF_API_OK) {
      OpenSslErrorsDrop();
      return nullptr;
    }
    return sk_X509_value(x_[i]->certs.get(), 0);
  }

  // Every decodable certificate as chain-building helpers.
  X509Stack all() {
    X509Stack s(sk_X509_new_null());
    for (size_t i = 0; s && i < raw_.size(); ++i) {
      bool from_store = false;
      X509* x = get(i, &from_store);
      if (x != nullptr && sk_X509_push(s.get(), x)) X509_up_ref(x);
    }
    return s;
  }

 private:
  X509* store_twin(Bytes der) { return pse_ == nullptr ? nullptr : pse_->FindByDer(der.p, der.n); }

  const std::vector<Bytes>& raw_;
  const PseContents* pse_;
  std::vector<CallerKeysRef> x_;  // decoded through the shared cache
};

// The usual case: the SignerInfo's issuer and serial number are a carried
// certificate's own bytes. `*matched` tells whether one matched; its
// certificate (null when it cannot be decoded) is returned, and the
// carried bytes in `*der`.
X509* find_by_bytes(Bytes issuer_der, Bytes serial_der, Carried* carried, bool* from_store,
                    bool* matched, Bytes* der) {
  *matched = false;
  for (size_t i = 0; i < carried->size(); ++i) {
    Bytes issuer, serial;
    if (ReadCertIssuerSerial(carried->raw(i), &issuer, &serial) && SameBytes(issuer, issuer_der) &&
        SameBytes(serial, serial_der)) {
      *matched = true;
      *der = carried->raw(i);
      return carried->get(i, from_store);
    }
  }
  *from_store = false;
  return nullptr;
}

X509* find_in_message(const Sid& sid, Carried* carried, bool* from_store, Bytes* der) {
  // The usual case: issuer and serial number are the certificate's own bytes.
  if (sid.key_id.empty()) {
    bool matched = false;
    X509* x = find_by_bytes(sid.issuer_der, sid.serial_der, carried, from_store, &matched, der);
    if (matched) return x;
  }
  for (size_t i = 0; i < carried->size(); ++i) {
    X509* x = carried->get(i, from_store);
    if (x != nullptr && sid_matches(sid, x)) {
      *der = carried->raw(i);
      return x;
    }
  }
  *from_store = false;
  return nullptr;
}

X509* find_in_stack(const Sid& sid, STACK_OF(X509) * certs) {
  for (int i = 0; i < sk_X509_num(certs); ++i)
    if (sid_matches(sid, sk_X509_value(certs, i))) return sk_X509_value(certs, i);
  return nullptr;
}

X509* find_in_store(const Sid& sid, const PseContents& pse) {
  if (!sid.key_id.empty()) return pse.FindBySubjectKeyId(sid.key_id.p, sid.key_id.n);
  return pse.FindByIssuerSerial(sid.issuer.get(), sid.serial.get());
}

// The substitute identifier of a signer without certificate.
std::string unknown_signer_id(const Sid& sid) {
  if (!sid.key_id.empty()) return kKeyIdPrefix + HexPairs(sid.key_id.p, sid.key_id.n);
  std::string hex;
  if (!SerialHex(sid.serial.get(), ":", &hex)) hex.clear();
  return NameOf(sid.issuer.get()) + kNoPrefix + hex;
}

// "SigningTime= <readable> (UTCTime: <value>)" when the SignerInfo's signed
// attributes (null when it has none that read) carry the attribute.
std::string signing_time(const SignedAttrsView* attrs_or_null) {
  if (attrs_or_null == nullptr || attrs_or_null->signing_time.empty()) return std::string();
  const SignedAttrsView& attrs = *attrs_or_null;
  const unsigned char* p = attrs.signing_time.p;
  SslPtr<ASN1_TIME> when(d2i_ASN1_TIME(nullptr, &p, static_cast<long>(attrs.signing_time.n)));
  std::string readable;
  if (!when || !TimeText(when.get(), &readable)) {
    OpenSslErrorsDrop();
    return std::string();
  }
  const std::string raw(reinterpret_cast<const char*>(ASN1_STRING_get0_data(when.get())),
                        static_cast<size_t>(ASN1_STRING_length(when.get())));
  return kSigningTimePrefix + readable + " (UTCTime: " + raw + ")";
}

SslPtr<X509_ALGOR> algorithm(Bytes der) {
  const unsigned char* p = der.p;
  return SslPtr<X509_ALGOR>(d2i_X509_ALGOR(nullptr, &p, static_cast<long>(der.n)));
}

// The signature algorithms of the library's table (RSA PKCS#1 v1.5, DSA,
// ECDSA), each with the key type it needs; RSA-PSS and others are refused.
// The key type's NID, NID_undef for an algorithm the table does not hold.
int signature_key_nid(const X509_ALGOR* sig) {
  if (sig == nullptr) return NID_undef;
  const ASN1_OBJECT* oid = nullptr;
  X509_ALGOR_get0(&oid, nullptr, nullptr, sig);
  const int nid = OBJ_obj2nid(oid);
  int md_nid = NID_undef, pkey_nid = nid;
  if (nid != NID_rsaEncryption && nid != NID_dsa && nid != NID_X9_62_id_ecPublicKey &&
      OBJ_find_sigid_algs(nid, &md_nid, &pkey_nid) != 1)
    return NID_undef;
  return pkey_nid;
}

bool signature_alg_suits(int pkey_nid, EVP_PKEY* key) {
  const int key_id = EVP_PKEY_get_base_id(key);
  switch (pkey_nid) {
    case NID_rsaEncryption:
      return key_id == EVP_PKEY_RSA;
    case NID_dsa:
      return key_id == EVP_PKEY_DSA;
    case NID_X9_62_id_ecPublicKey:
      return key_id == EVP_PKEY_EC;
    default:
      return false;
  }
}

// A SignerInfo's digest and the key type its signature algorithm needs,
// decoded once per thread for the identifiers last seen: an issuer signs
// every ticket with the same algorithms.
struct SignerAlgs {
  std::vector<unsigned char> digest_der, sig_der;
  SsfDigestNo digest = SSF_DIGEST_UNKNOWN;
  int sig_key_nid = NID_undef;
  bool valid = false;
};
thread_local SignerAlgs t_signer_algs;

const SignerAlgs& signer_algs(const SignerInfoView& si) {
  SignerAlgs& m = t_signer_algs;
  if (m.valid && SameBytes(Bytes{m.digest_der.data(), m.digest_der.size()}, si.digest_alg) &&
      SameBytes(Bytes{m.sig_der.data(), m.sig_der.size()}, si.sig_alg))
    return m;
  m.valid = false;
  SslPtr<X509_ALGOR> dig = algorithm(si.digest_alg), sig = algorithm(si.sig_alg);
  m.digest = DigestFromAlgorithm(dig.get());
  m.sig_key_nid = signature_key_nid(sig.get());
  m.digest_der.assign(si.digest_alg.p, si.digest_alg.p + si.digest_alg.n);
  m.sig_der.assign(si.sig_alg.p, si.sig_alg.p + si.sig_alg.n);
  m.valid = true;
  return m;
}

bool signature_ok(EVP_PKEY* key, const EVP_MD* md, Bytes sig, const unsigned char* data, size_t n) {
  return DigestVerifyReady(key, md, sig.p, sig.n, data, n);
}

// RFC 5652 5.4 and 5.6: with signed attributes, the content type and the
// message digest are checked before the signature over the attributes
// (DER, with the SET OF tag) counts; without them the signature is over
// the content itself.
bool signer_verifies(const VerifyCall& c, const SignedDataView& sd, const SignerInfoView& si,
                     const SignedAttrsView* attrs_or_null, X509* cert, Bytes content) {
  EVP_PKEY* key = X509_get0_pubkey(cert);
  const SignerAlgs& algs = signer_algs(si);
  const SsfDigestNo d = algs.digest;
  const EVP_MD* md = DigestMd(d);
  if (key == nullptr || md == nullptr || !signature_alg_suits(algs.sig_key_nid, key)) {
    ErrorPush(SSF_API_SIGNER_NOT_OK, c.func, "signer's algorithms are not supported");
    return false;
  }
  if (si.signed_attrs.empty()) {
    if (signature_ok(key, md, si.signature, content.p, content.n)) return true;
    ErrorPushOpenSsl(SSF_API_SIGNER_NOT_OK, c.func, "signature over the content is wrong");
    return false;
  }
  if (attrs_or_null == nullptr || !SameBytes(attrs_or_null->content_type, sd.content_type)) {
    ErrorPush(SSF_API_SIGNER_NOT_OK, c.func, "content-type attribute missing or wrong");
    return false;
  }
  const SignedAttrsView& attrs = *attrs_or_null;
  std::vector<unsigned char> digest;
  if (!DigestCompute(d, content.p, content.n, &digest) || attrs.message_digest.n != digest.size() ||
      CRYPTO_memcmp(attrs.message_digest.p, digest.data(), digest.size()) != 0) {
    ErrorPush(SSF_API_SIGNER_NOT_OK, c.func, kWrongDigest);
    return false;
  }
  std::vector<unsigned char> signed_der(si.signed_attrs.p, si.signed_attrs.p + si.signed_attrs.n);
  signed_der[0] = kDerSet;
  if (signature_ok(key, md, si.signature, signed_der.data(), signed_der.size())) return true;
  ErrorPushOpenSsl(SSF_API_SIGNER_NOT_OK, c.func, "signature over the signed attributes is wrong");
  return false;
}

// The SignedData and the content it signs.
struct Message {
  std::vector<unsigned char> sig_storage, input_storage;
  SignedDataView sd;
  Bytes content;
};

int32_t open_message(VerifyCall* c, Message* m) {
  ContentInfoView ci, in;
  if (!ReadContentInfoAnyForm(c->signature, &m->sig_storage, &ci)) {
    c->reason = "signature is not a ContentInfo";
    ErrorPush(SSF_API_DECODE_FAILED, c->func, c->reason);
    return SSF_API_DECODE_FAILED;
  }
  if (!IsSignedData(ci)) {
    c->reason = "not SignedData";
    return SSF_API_INVALID_FORMAT;
  }
  if (!ReadSignedData(ci, &m->sd)) {
    c->reason = "SignedData cannot be read";
    ErrorPush(SSF_API_DECODE_FAILED, c->func, c->reason);
    return SSF_API_DECODE_FAILED;
  }
  Bytes supplied;
  bool have_supplied = false;
  if (!c->input.empty() && c->input_is_content) {
    // The octets a ContentInfo of type data would carry.
    have_supplied = IsDataType(ContentInfoView{m->sd.content_type, Bytes{}});
    supplied = c->input;
  } else if (!c->input.empty()) {
    if (!ReadContentInfoAnyForm(c->input, &m->input_storage, &in)) {
      c->reason = "input data is not a ContentInfo";
      ErrorPush(SSF_API_DECODE_FAILED, c->func, c->reason);
      return SSF_API_DECODE_FAILED;
    }
    have_supplied = SameBytes(in.type, m->sd.content_type) && ReadDataContent(in, &supplied);
  }
  if (m->sd.has_content) {
    m->content = m->sd.content;
    // Carried and supplied content must be the same octets.
    if (!c->input.empty() && (!have_supplied || !SameBytes(supplied, m->content))) {
      c->reason = "supplied content differs from the carried content";
      return SSF_API_NODATA;
    }
    return SSF_API_OK;
  }
  if (!have_supplied) {
    c->reason = c->input.empty() ? "detached signature without content" : "content type differs";
    return SSF_API_NODATA;
  }
  m->content = supplied;
  return SSF_API_OK;
}

}  // namespace

int32_t VerifyPkcs7(VerifyCall* c) {
  Message m;
  int32_t rc = open_message(c, &m);
  if (rc != SSF_API_OK) return rc;
  CallerKeysRef caller;
  if (!c->pse) {
    rc = CallerKeysGet(c->chain, c->certs, &caller);
    if (rc != SSF_API_OK) {
      c->reason = "certificates cannot be read";
      ErrorPushOpenSsl(rc, c->func, c->reason);
      return rc;
    }
  }
  Carried carried(m.sd.certs, c->pse.get());
  bool failed = m.sd.signers.empty();
  for (const SignerInfoView& si : m.sd.signers) {
    X509* cert = nullptr;
    Bytes der;  // the carried bytes the certificate came in
    bool from_store = false;
    // A certificate found by the identifier's own bytes was decoded from
    // those very bytes, so the identifier needs no decoding of its own.
    bool matched = false;
    if (c->pse && c->inc_certs && si.key_id.empty())
      cert = find_by_bytes(si.issuer, si.serial, &carried, &from_store, &matched, &der);
    Sid sid;
    if (cert == nullptr && !decode_sid(si, &sid)) {
      OpenSslErrorsDrop();
      c->reason = "SignerInfo cannot be read";
      ErrorPush(SSF_API_DECODE_FAILED, c->func, c->reason);
      return SSF_API_DECODE_FAILED;
    }
    uint32_t result = SSF_API_UNKNOWN_SIGNER;
    if (!c->pse) {
      cert = find_in_stack(sid, caller->certs.get());
    } else {
      if (c->inc_certs && cert == nullptr && !matched)
        cert = find_in_message(sid, &carried, &from_store, &der);
      if (cert == nullptr) {
        Trace(kTrcDetail, c->func, "%-15s: Signer certificate not in message, search it...",
              c->func);
        cert = find_in_store(sid, *c->pse);
        der = Bytes{};  // a matched carried certificate that did not decode is not this one
        from_store = cert != nullptr;
      }
    }
    std::string id;
    if (cert != nullptr) {
      Trace(kTrcDetail, c->func, "%-15s: Signer certificate found", c->func);
      result = SSF_API_OK;
      id = SubjectOf(cert);
      if (c->pse) {
        // A store certificate needs no helpers to be trusted.
        X509Stack helpers = from_store ? X509Stack() : carried.all();
        const int32_t check = CertCheck(*c, cert, helpers.get());
        if (check != SSF_API_OK) result = static_cast<uint32_t>(check), failed = true;
      } else if (!caller->CertSound(cert)) {
        ErrorPush(SSF_API_UNKNOWN_SIGNER, c->func, "degenerate public key");
        result = SSF_API_UNKNOWN_SIGNER, failed = true;
      }
    } else {
      Trace(kTrcDetail, c->func, "%-15s: Signer certificate not found", c->func);
      ErrorPush(SSF_API_SIGNER_NOT_OK, c->func, "signer certificate not found");
      id = unknown_signer_id(sid);
    }
    SigRcpSsfInformation* rec = nullptr;
    // Only bytes the store holds as they are encode that very certificate; a
    // carried element may hold a sequence of certificates around it.
    if (cert == nullptr || !from_store) der = Bytes{};
    // The signed attributes are read once for the signing time and the check.
    SignedAttrsView attrs;
    const SignedAttrsView* read_attrs =
        !si.signed_attrs.empty() && ReadSignedAttrs(si.signed_attrs, &attrs) ? &attrs : nullptr;
    rc = AppendSigner(*c, id, signing_time(read_attrs), cert, result, &rec, der);
    if (rc != SSF_API_OK) return rc;
    if (cert == nullptr) {
      rec->uResult = SSF_API_SIGNER_NOT_OK;
      failed = true;
    } else if (rec->uResult != SSF_API_OK) {
      // An untrusted signer's key is never used: a huge exponent would cost
      // a hundred verifications, a degenerate one would prove nothing.
    } else if (!signer_verifies(*c, m.sd, si, read_attrs, cert, m.content)) {
      if (rec->uResult == SSF_API_OK) rec->uResult = SSF_API_SIGNER_NOT_OK;
      failed = true;
    }
    OpenSslErrorsDrop();
  }
  if (failed && *c->reason == '\0') c->reason = "signer errors";
  if (c->out != nullptr && c->outL != nullptr && !DupOut(m.content.p, m.content.n, c->out, c->outL))
    return SSF_API_UNKNOWN_SECTK_ERROR;
  return failed ? SSF_API_SIGNER_ERRORS : SSF_API_OK;
}

}  // namespace qorcr
