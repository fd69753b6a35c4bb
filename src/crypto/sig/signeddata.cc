// ContentInfo and SignedData read with the bounded reader.
#include "crypto/sig/signeddata.h"

#include <string.h>

#include "base/bytes/reader.h"

namespace qorcr {
namespace {

constexpr uint8_t kContext0 = 0xA0;      // [0] constructed
constexpr uint8_t kContext1 = 0xA1;      // [1] constructed
constexpr uint8_t kContext0Prim = 0x80;  // [0] primitive
constexpr size_t kMaxSigners = 64;
constexpr size_t kMaxCerts = 64;

// 1.2.840.113549.1.7.1, .7.2, .9.3, .9.4, .9.5
const uint8_t kOidData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
const uint8_t kOidSignedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const uint8_t kOidContentType[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};
const uint8_t kOidMessageDigest[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};
const uint8_t kOidSigningTime[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x05};

Bytes view(const ByteReader& r) {
  Bytes b;
  b.p = r.data();
  b.n = r.remaining();
  return b;
}

template <size_t N>
bool is_oid(Bytes b, const uint8_t (&oid)[N]) {
  return b.n == N && memcmp(b.p, oid, N) == 0;
}

// issuerAndSerialNumber or [0] subjectKeyIdentifier.
bool read_sid(ByteReader* r, SignerInfoView* si) {
  ByteReader body, issuer, serial, whole;
  if (r->get_der(kContext0Prim, &body)) {
    si->key_id = view(body);
    return !body.empty();
  }
  if (!r->get_der(kDerSequence, &body) || !body.get_der(kDerSequence, &issuer, &whole)) return false;
  si->issuer = view(whole);
  if (!body.get_der(kDerInteger, &serial, &whole) || !body.empty()) return false;
  si->serial = view(whole);
  return true;
}

bool read_signer(ByteReader r, SignerInfoView* si) {
  ByteReader version, alg, attrs, sig, whole;
  if (!r.get_der(kDerInteger, &version) || !read_sid(&r, si) || !r.get_der(kDerSequence, &alg, &whole))
    return false;
  si->digest_alg = view(whole);
  if (r.get_der(kContext0, &attrs, &whole)) si->signed_attrs = view(whole);
  if (!r.get_der(kDerSequence, &alg, &whole)) return false;
  si->sig_alg = view(whole);
  if (!r.get_der(kDerOctetString, &sig)) return false;
  si->signature = view(sig);
  ByteReader unsigned_attrs;
  r.get_der(kContext1, &unsigned_attrs);
  return r.empty();
}

}  // namespace

bool SameBytes(Bytes a, Bytes b) { return a.n == b.n && (a.n == 0 || memcmp(a.p, b.p, a.n) == 0); }

bool ReadContentInfo(Bytes der, ContentInfoView* out) {
  ByteReader r(der.p, der.n), seq, oid, content;
  if (!r.get_der(kDerSequence, &seq) || !r.rest_is_zero() || !seq.get_der(kDerOid, &oid)) return false;
  out->type = view(oid);
  out->content = Bytes{};
  if (!seq.empty() && (!seq.get_der(kContext0, &content) || !seq.empty())) return false;
  out->content = view(content);
  return true;
}

bool ReadDataContent(const ContentInfoView& ci, Bytes* out) {
  if (!is_oid(ci.type, kOidData)) return false;
  ByteReader r(ci.content.p, ci.content.n), octets;
  if (!r.get_der(kDerOctetString, &octets) || !r.empty()) return false;
  *out = view(octets);
  return true;
}

bool IsDataType(const ContentInfoView& ci) { return is_oid(ci.type, kOidData); }

bool IsSignedData(const ContentInfoView& ci) { return is_oid(ci.type, kOidSignedData); }

bool ReadSignedData(const ContentInfoView& ci, SignedDataView* out) {
  ByteReader r(ci.content.p, ci.content.n), sd, version, algs, encap, oid, econtent, octets, set;
  if (!r.get_der(kDerSequence, &sd) || !r.empty() || !sd.get_der(kDerInteger, &version) ||
      !sd.get_der(kDerSet, &algs) || !sd.get_der(kDerSequence, &encap) || !encap.get_der(kDerOid, &oid))
    return false;
  out->content_type = view(oid);
  if (!encap.empty()) {
    if (!encap.get_der(kContext0, &econtent) || !encap.empty() ||
        !econtent.get_der(kDerOctetString, &octets) || !econtent.empty())
      return false;
    out->has_content = true;
    out->content = view(octets);
  }
  if (sd.get_der(kContext0, &set)) {
    while (!set.empty()) {
      uint8_t tag = 0;
      ByteReader body, whole;
      if (out->certs.size() >= kMaxCerts || !set.get_der_any(&tag, &body, &whole)) return false;
      // Other certificate choices (attribute certificates and such) are skipped.
      if (tag == kDerSequence) out->certs.push_back(view(whole));
    }
  }
  sd.get_der(kContext1, &set);  // CRLs are not used
  if (!sd.get_der(kDerSet, &set) || !sd.empty()) return false;
  while (!set.empty()) {
    ByteReader body;
    SignerInfoView si;
    if (out->signers.size() >= kMaxSigners || !set.get_der(kDerSequence, &body) ||
        !read_signer(body, &si))
      return false;
    out->signers.push_back(si);
  }
  return true;
}

bool ReadCertIssuerSerial(Bytes cert, Bytes* issuer, Bytes* serial) {
  ByteReader r(cert.p, cert.n), c, tbs, skip, whole;
  if (!r.get_der(kDerSequence, &c) || !c.get_der(kDerSequence, &tbs)) return false;
  tbs.get_der(kContext0, &skip);  // version
  if (!tbs.get_der(kDerInteger, &skip, &whole)) return false;
  *serial = view(whole);
  if (!tbs.get_der(kDerSequence, &skip) || !tbs.get_der(kDerSequence, &skip, &whole)) return false;
  *issuer = view(whole);
  return true;
}

bool ReadSignedAttrs(Bytes signed_attrs, SignedAttrsView* out) {
  ByteReader r(signed_attrs.p, signed_attrs.n), set;
  if (!r.get_der(kContext0, &set) || !r.empty()) return false;
  while (!set.empty()) {
    ByteReader attr, oid, values, value, whole;
    uint8_t tag = 0;
    if (!set.get_der(kDerSequence, &attr) || !attr.get_der(kDerOid, &oid) ||
        !attr.get_der(kDerSet, &values) || !attr.empty())
      return false;
    const Bytes type = view(oid);
    Bytes* slot = is_oid(type, kOidContentType)     ? &out->content_type
                  : is_oid(type, kOidMessageDigest) ? &out->message_digest
                  : is_oid(type, kOidSigningTime)   ? &out->signing_time
                                                    : nullptr;
    if (slot == nullptr) continue;
    // Exactly one value, and the attribute only once.
    if (!slot->empty() || !values.get_der_any(&tag, &value, &whole) || !values.empty())
      return false;
    if (slot == &out->content_type && tag == kDerOid)
      *slot = view(value);
    else if (slot == &out->message_digest && tag == kDerOctetString)
      *slot = view(value);
    else if (slot == &out->signing_time && (tag == kDerUtcTime || tag == kDerGeneralizedTime))
      *slot = view(whole);
    else
      return false;
    if (slot->empty()) return false;
  }
  return true;
}

}  // namespace qorcr
