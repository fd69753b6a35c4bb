// SsfParseCertificate: one named attribute of a decoded certificate as text.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <openssl/evp.h>
#include <openssl/objects.h>

#include "crypto/cert/certtext.h"
#include "crypto/frame/frame.h"
#include "crypto/pse/pse.h"
#include "crypto/ssf/ssfapi.h"

namespace qorcr {
namespace {

enum class Attr {
  kSubject, kIssuer, kSerial, kSerialNo, kSerialInt, kSummary, kAll, kFingerprint,
  kPkFingerprint, kValidity, kValidFrom, kValidTo, kValidFromBin, kValidToBin, kValidFromDec,
  kValidToDec, kSubjectKeyId, kSubjectKeyIdXml, kKeyLength, kKeyStrength, kKeyType,
  kSigAvailable, kSigAlgId, kAlgId, kSigAlg, kKeyUsage, kBasicConstraints, kVersion,
};

struct AttrName {
  const char* name;
  Attr attr;
};

const AttrName kAttrs[] = {
    {"SUBJECT", Attr::kSubject},
    {"ISSUER", Attr::kIssuer},
    {"SERIAL", Attr::kSerial},
    {"SERIALNO", Attr::kSerialNo},
    {"SERIALINT", Attr::kSerialInt},
    {"SUMMARY", Attr::kSummary},
    {"ALL", Attr::kAll},
    {"FINGERPRINT", Attr::kFingerprint},
    {"PKFINGERPRINT", Attr::kPkFingerprint},
    {"VALIDITY", Attr::kValidity},
    {"VALIDFROM", Attr::kValidFrom},
    {"VALIDTO", Attr::kValidTo},
    {"VALIDFROM_TIME_T_BIN", Attr::kValidFromBin},
    {"VALIDTO_TIME_T_BIN", Attr::kValidToBin},
    {"VALIDFROM_TIME_T_DEC", Attr::kValidFromDec},
    {"VALIDTO_TIME_T_DEC", Attr::kValidToDec},
    {"SUBJECTKEYID", Attr::kSubjectKeyId},
    {"SUBJECTKEYIDXML", Attr::kSubjectKeyIdXml},
    {"KEYLENGTH", Attr::kKeyLength},
    {"KEYSTRENGTH", Attr::kKeyStrength},
    {"KEYTYPE", Attr::kKeyType},
    {"SIGAVAILABLE", Attr::kSigAvailable},
    {"SIGALGID", Attr::kSigAlgId},
    {"ALGID", Attr::kAlgId},
    {"SIGALG", Attr::kSigAlg},
    {"KEYUSAGE", Attr::kKeyUsage},
    {"BASICCONSTRAINTS", Attr::kBasicConstraints},
    {"VERSION", Attr::kVersion},
};

constexpr size_t kOidTextSize = 128;
constexpr uint32_t kNoKeyUsage = UINT32_MAX;

struct UsageName {
  uint32_t bit;
  const char* name;
};

// RFC 5280 section 4.2.1.3 names, in bit order.
const UsageName kUsages[] = {
    {KU_DIGITAL_SIGNATURE, "digitalSignature"}, {KU_NON_REPUDIATION, "nonRepudiation"},
    {KU_KEY_ENCIPHERMENT, "keyEncipherment"},   {KU_DATA_ENCIPHERMENT, "dataEncipherment"},
    {KU_KEY_AGREEMENT, "keyAgreement"},         {KU_KEY_CERT_SIGN, "keyCertSign"},
    {KU_CRL_SIGN, "cRLSign"},                   {KU_ENCIPHER_ONLY, "encipherOnly"},
    {KU_DECIPHER_ONLY, "decipherOnly"},
};

// How an attribute turned out: text, or the SSF code of the failure.
struct Text {
  int32_t rc = SSF_API_OK;
  std::string s;
};

Text fail(int32_t rc) { return Text{rc, {}}; }
Text ok(std::string s) { return Text{SSF_API_OK, std::move(s)}; }

bool find_attr(const char* name, SsfCharlen len, Attr* out) {
  if (name == nullptr || len <= 0) return false;
  for (const auto& a : kAttrs)
    if (strlen(a.name) == static_cast<size_t>(len) && memcmp(a.name, name, static_cast<size_t>(len)) == 0)
      return *out = a.attr, true;
  return false;
}

Text name_of(const X509_NAME* n) {
  std::string s;
  return NameText(n, &s) ? ok(s) : fail(SSF_API_UNKNOWN_SECTK_ERROR);
}

Text serial(X509* x, const char* sep) {
  std::string s;
  return SerialHex(X509_get0_serialNumber(x), sep, &s) ? ok(s) : fail(SSF_API_UNKNOWN_SECTK_ERROR);
}

Text serial_int(X509* x) {
  SslPtr<BIGNUM> bn(ASN1_INTEGER_to_BN(X509_get0_serialNumber(x), nullptr));
  if (!bn) return fail(SSF_API_UNKNOWN_SECTK_ERROR);
  SslBuf<char> dec(BN_bn2dec(bn.get()));
  return dec ? ok(dec.get()) : fail(SSF_API_NOMEMORY);
}

Text digest_hex(const unsigned char* der, int len) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (len <= 0 || EVP_Digest(der, static_cast<size_t>(len), md, &n, EVP_sha256(), nullptr) != 1)
    return fail(SSF_API_UNKNOWN_SECTK_ERROR);
  return ok(HexPairs(md, n));
}

Text fingerprint(X509* x) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (X509_digest(x, EVP_sha256(), md, &n) != 1) return fail(SSF_API_UNKNOWN_SECTK_ERROR);
  return ok(HexPairs(md, n));
}

Text pk_fingerprint(X509* x) {
  unsigned char* der = nullptr;
  int len = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(x), &der);
  SslBuf<unsigned char> owned(der);
  return digest_hex(der, len);
}

Text time_text(const ASN1_TIME* t) {
  std::string s;
  return TimeText(t, &s) ? ok(s) : fail(SSF_API_UNKNOWN_SECTK_ERROR);
}

Text time_dec(const ASN1_TIME* t) {
  time_t v;
  return TimeValue(t, &v) ? ok(std::to_string(static_cast<long long>(v)))
                          : fail(SSF_API_UNKNOWN_SECTK_ERROR);
}

Text time_bin(const ASN1_TIME* t) {
  time_t v;
  if (!TimeValue(t, &v)) return fail(SSF_API_UNKNOWN_SECTK_ERROR);
  return ok(std::string(reinterpret_cast<const char*>(&v), sizeof v));
}

std::string raw_time(const ASN1_TIME* t) {
  return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(t)),
                     static_cast<size_t>(ASN1_STRING_length(t)));
}

Text validity(X509* x) {
  Text from = time_text(X509_get0_notBefore(x)), to = time_text(X509_get0_notAfter(x));
  if (from.rc || to.rc) return fail(SSF_API_UNKNOWN_SECTK_ERROR);
  return ok("Validity  -  NotBefore:   " + from.s + " (" + raw_time(X509_get0_notBefore(x)) +
            ")\n              NotAfter:   " + to.s + " (" + raw_time(X509_get0_notAfter(x)) +
            ")\n");
}

Text subject_key_id(X509* x, bool xml) {
  const ASN1_OCTET_STRING* id = X509_get0_subject_key_id(x);
  if (id == nullptr) return fail(SSF_API_UNKNOWN_SECTK_ERROR);
  const unsigned char* p = ASN1_STRING_get0_data(id);
  const int n = ASN1_STRING_length(id);
  if (!xml) return ok(HexPairs(p, static_cast<size_t>(n)));
  // XML signature's X509SKI: the identifier in Base64.
  std::string b64(static_cast<size_t>((n + 2) / 3 * 4 + 1), '\0');
  int m = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&b64[0]), p, n);
  b64.resize(static_cast<size_t>(m));
  return ok(b64);
}

const char* key_type_name(const EVP_PKEY* k) {
  switch (EVP_PKEY_get_base_id(k)) {
    case EVP_PKEY_RSA: return "RSA";
    case EVP_PKEY_RSA_PSS: return "RSA-PSS";
    case EVP_PKEY_DSA: return "DSA";
    case EVP_PKEY_EC: return "EC";
    case EVP_PKEY_ED25519: return "ED25519";
    case EVP_PKEY_ED448: return "ED448";
    default: return "unknown";
  }
}

// The provider computes a key's sizes, which fails only when memory runs
// out; a size of 0 is never shown.
Text key_text(X509* x, Attr a) {
  EVP_PKEY* k = X509_get0_pubkey(x);
  if (k == nullptr) return fail(SSF_API_UNKNOWN_SECTK_ERROR);
  const int bits = a == Attr::kKeyStrength ? EVP_PKEY_get_security_bits(k) : EVP_PKEY_get_bits(k);
  if (a != Attr::kKeyType && bits <= 0) return fail(SSF_API_NOMEMORY);
  switch (a) {
    case Attr::kKeyLength:
    case Attr::kKeyStrength: return ok(std::to_string(bits));
    case Attr::kKeyType: return ok(key_type_name(k));
    default: return ok(std::string(key_type_name(k)) + " " + std::to_string(bits) + " bits");
  }
}

Text sig_alg(X509* x) {
  const X509_ALGOR* alg = nullptr;
  X509_get0_signature(nullptr, &alg, x);
  const ASN1_OBJECT* obj = nullptr;
  if (alg == nullptr) return fail(SSF_API_UNKNOWN_SECTK_ERROR);
  X509_ALGOR_get0(&obj, nullptr, nullptr, alg);
  const int nid = OBJ_obj2nid(obj);
  char oid[kOidTextSize];
  if (nid == NID_undef || OBJ_obj2txt(oid, sizeof oid, obj, 1) <= 0) return ok("bad oid");
  return ok(std::string(OBJ_nid2ln(nid)) + " (OID " + oid + ")");
}

Text key_usage(X509* x) {
  const uint32_t ku = X509_get_key_usage(x);
  if (ku == kNoKeyUsage) return fail(SSF_API_UNKNOWN_SECTK_ERROR);
  std::string s;
  for (const auto& u : kUsages) {
    if (!(ku & u.bit)) continue;
    if (!s.empty()) s += ", ";
    s += u.name;
  }
  return ok(s);
}

bool sig_available(X509* x) {
  const uint32_t ku = X509_get_key_usage(x);
  return ku == kNoKeyUsage || (ku & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION)) != 0;
}

Text basic_constraints(X509* x) {
  int crit = 0;
  SslPtr<BASIC_CONSTRAINTS> bc(static_cast<BASIC_CONSTRAINTS*>(
      X509_get_ext_d2i(x, NID_basic_constraints, &crit, nullptr)));
  if (!bc) {
    // -1: absent; anything else: present and unreadable.
    return crit == -1 ? ok("NOCA") : fail(SSF_API_UNKNOWN_SECTK_ERROR);
  }
  if (!bc->ca) return ok("NOCA");
  long path = bc->pathlen ? ASN1_INTEGER_get(bc->pathlen) : -1;
  return ok("CA," + std::to_string(path));
}

Text attribute(X509* x, Attr a);

// One line per part; parts the certificate lacks are left out.
Text all(X509* x) {
  struct Line {
    const char* label;
    Attr attr;
  };
  static const Line kLines[] = {
      {"Version", Attr::kVersion},           {"Subject", Attr::kSubject},
      {"Issuer", Attr::kIssuer},             {"Serial number", Attr::kSerialNo},
      {"Signature algorithm", Attr::kSigAlg}, {"Key", Attr::kSummary},
      {"Key strength", Attr::kKeyStrength},  {"Fingerprint", Attr::kFingerprint},
      {"Public key fingerprint", Attr::kPkFingerprint},
      {"Subject key id", Attr::kSubjectKeyId}, {"Key usage", Attr::kKeyUsage},
      {"Basic constraints", Attr::kBasicConstraints}, {"Signatures", Attr::kSigAvailable},
  };
  std::string s;
  for (const auto& l : kLines) {
    Text t = l.attr == Attr::kSummary ? key_text(x, Attr::kSummary) : attribute(x, l.attr);
    if (t.rc == SSF_API_NOMEMORY) return t;
    if (t.rc == SSF_API_OK) s += std::string(l.label) + ": " + t.s + "\n";
    if (l.attr == Attr::kSerialNo) {
      Text v = validity(x);
      if (v.rc == SSF_API_OK) s += v.s;
    }
  }
  return ok(s);
}

Text summary(X509* x) {
  Text sub = name_of(X509_get_subject_name(x)), iss = name_of(X509_get_issuer_name(x)),
       ser = serial(x, ""), fp = fingerprint(x), key = key_text(x, Attr::kSummary);
  // Every part exists in a decoded certificate: a failed one is a failure, not an empty field.
  for (const Text* t : {&sub, &iss, &ser, &fp, &key})
    if (t->rc != SSF_API_OK) return *t;
  return ok("subject=\"" + sub.s + "\";issuer=\"" + iss.s + "\";serialNumber=\"" + ser.s +
            "\";fingerprint=\"" + fp.s + "\";keyInfo=\"" + key.s + "\"");
}

Text attribute(X509* x, Attr a) {
  switch (a) {
    case Attr::kSubject: return name_of(X509_get_subject_name(x));
    case Attr::kIssuer: return name_of(X509_get_issuer_name(x));
    case Attr::kSerial: return serial(x, "");
    case Attr::kSerialNo: return serial(x, ":");
    case Attr::kSerialInt: return serial_int(x);
    case Attr::kSummary: return summary(x);
    case Attr::kAll: return all(x);
    case Attr::kFingerprint: return fingerprint(x);
    case Attr::kPkFingerprint: return pk_fingerprint(x);
    case Attr::kValidity: return validity(x);
    case Attr::kValidFrom: return time_text(X509_get0_notBefore(x));
    case Attr::kValidTo: return time_text(X509_get0_notAfter(x));
    case Attr::kValidFromBin: return time_bin(X509_get0_notBefore(x));
    case Attr::kValidToBin: return time_bin(X509_get0_notAfter(x));
    case Attr::kValidFromDec: return time_dec(X509_get0_notBefore(x));
    case Attr::kValidToDec: return time_dec(X509_get0_notAfter(x));
    case Attr::kSubjectKeyId: return subject_key_id(x, false);
    case Attr::kSubjectKeyIdXml: return subject_key_id(x, true);
    case Attr::kKeyLength:
    case Attr::kKeyStrength:
    case Attr::kKeyType: return key_text(x, a);
    case Attr::kSigAvailable: return ok(sig_available(x) ? "TRUE" : "FALSE");
    case Attr::kSigAlgId:
    case Attr::kAlgId:
    case Attr::kSigAlg: return sig_alg(x);
    case Attr::kKeyUsage: return key_usage(x);
    case Attr::kBasicConstraints: return basic_constraints(x);
    case Attr::kVersion: return ok(std::to_string(X509_get_version(x) + 1));
  }
  return fail(SSF_API_NODATA);
}

}  // namespace
}  // namespace qorcr

using namespace qorcr;

extern "C" int32_t SsfParseCertificate(SsfCertHandle cert, const char* strAttr, SsfCharlen strAttrL,
                                       SsfOctetstring* pText, SsfOctetlen* pTextL) {
  SsfEntry entry("SsfParseCertificate");
  if (!entry.ok()) return -1;
  if (pText) *pText = nullptr;
  if (pTextL) *pTextL = 0;
  X509* x = CertX509(cert);
  Attr a;
  if (x == nullptr || !find_attr(strAttr, strAttrL, &a)) return SSF_API_NODATA;
  if (pText == nullptr || pTextL == nullptr) return SSF_API_INVALID_FUNCARGS;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    Text t = attribute(x, a);
    OpenSslErrorsDrop();
    if (t.rc != SSF_API_OK) {
      ErrorPush(t.rc, "SsfParseCertificate", "certificate part cannot be read");
      return t.rc;
    }
    auto* buf = static_cast<unsigned char*>(malloc(t.s.size() + 1));
    if (buf == nullptr) return SSF_API_NOMEMORY;
    memcpy(buf, t.s.data(), t.s.size());
    buf[t.s.size()] = 0;
    *pText = buf;
    *pTextL = static_cast<SsfOctetlen>(t.s.size());
    return SSF_API_OK;
  })
}
