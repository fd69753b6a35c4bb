// Caller certificates and keys, signer names, the certificate check against
// a key store and the signer result records of the verification.
#include <stdlib.h>
#include <string.h>

#include <openssl/pem.h>

#include <algorithm>
#include <vector>

#include "base/bytes/reader.h"
#include "crypto/cert/certcheck.h"
#include "crypto/cert/certtext.h"
#include "crypto/frame/frame.h"
#include "crypto/sig/sigint.h"
#include "crypto/ssf/records.h"
#include "crypto/ssf/ssfapi.h"

namespace qorcr {
namespace {

constexpr size_t kMaxChainCerts = 32;
constexpr size_t kMaxNameText = 4096;
constexpr char kUnknownSigner[] = "<unknown>";
constexpr char kPemPublicKey[] = "PUBLIC KEY";
constexpr char kPemRsaPublicKey[] = "RSA PUBLIC KEY";

// Concatenated DER certificates; zero bytes after the last are padding.
int32_t der_certs(ByteReader r, X509Stack* out) {
  while (!r.empty() && !r.rest_is_zero()) {
    if (sk_X509_num(out->get()) >= static_cast<int>(kMaxChainCerts))
      return SSF_API_CHAINPARSE_ERROR;
    size_t used = 0;
    SslPtr<X509> x = CertFromDer(r.data(), r.remaining(), &used);
    if (!x) return SSF_API_ERROR_DECODING_X509;
    r.skip(used);
    if (!sk_X509_push(out->get(), x.get())) return SSF_API_NOMEMORY;
    x.release();
  }
  return sk_X509_num(out->get()) > 0 ? SSF_API_OK : SSF_API_ERROR_DECODING_X509;
}

// An RSA SubjectPublicKeyInfo read directly: the generic decoder costs
// several times the RSA verify itself. Null for any other key.
EVP_PKEY* rsa_spki(const unsigned char* der, size_t len) {
  static const uint8_t kRsaEncryption[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
  ByteReader r(der, len), spki, alg, oid, bits;
  uint8_t unused_bits = 0;
  if (!r.get_der(kDerSequence, &spki) || !r.empty() || !spki.get_der(kDerSequence, &alg) ||
      !alg.get_der(kDerOid, &oid) || oid.remaining() != sizeof kRsaEncryption ||
      memcmp(oid.data(), kRsaEncryption, sizeof kRsaEncryption) != 0 ||
      !spki.get_der(kDerBitString, &bits) || !spki.empty() || !bits.get_u8(&unused_bits) ||
      unused_bits != 0)
    return nullptr;
  const unsigned char* p = bits.data();
  EVP_PKEY* k = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(bits.remaining()));
  if (k != nullptr && p != bits.data() + bits.remaining()) {
    EVP_PKEY_free(k);
    return nullptr;
  }
  return k;
}

// A DER public key: SubjectPublicKeyInfo of any type, or PKCS#1 RSAPublicKey.
EVP_PKEY* der_public_key(const unsigned char* der, long len) {
  EVP_PKEY* k = rsa_spki(der, static_cast<size_t>(len));
  const unsigned char* p = der;
  if (k == nullptr) k = d2i_PUBKEY(nullptr, &p, len);
  if (k == nullptr) {
    OpenSslErrorsDrop();
    p = der;
    k = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, len);
  }
  return k;
}

int32_t pkcs7_bag(ByteReader r, X509Stack* out) {
  const unsigned char* p = r.data();
  SslPtr<CMS_ContentInfo> cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(r.remaining())));
  if (!cms) return SSF_API_ERROR_DECODING_PKCS7;
  X509Stack certs(CMS_get1_certs(cms.get()));
  if (!certs || sk_X509_num(certs.get()) == 0) return SSF_API_ERROR_DECODING_PKCS7;
  *out = std::move(certs);
  return SSF_API_OK;
}

std::string hex_value(const std::string& s, size_t* i, bool* ok) {
  auto nib = [](char ch) -> int {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
  };
  if (*i + 1 < s.size() && nib(s[*i]) >= 0 && nib(s[*i + 1]) >= 0) {
    char c = static_cast<char>(nib(s[*i]) << 4 | nib(s[*i + 1]));
    *i += 2;
    return std::string(1, c);
  }
  if (*i < s.size() && strchr(",+\"\\<>;= #", s[*i]) != nullptr) return std::string(1, s[(*i)++]);
  *ok = false;
  return std::string();
}

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// One "type=value" of an RDN into `name`.
bool add_ava(const std::string& ava, int set, X509_NAME* name) {
  size_t eq = ava.find('=');
  if (eq == std::string::npos) return false;
  std::string type = trim(ava.substr(0, eq));
  std::string value = ava.substr(eq + 1);
  if (type.empty()) return false;
  const int nid = OBJ_txt2nid(type.c_str());
  if (nid == NID_undef) return false;
  return X509_NAME_add_entry_by_NID(name, nid, MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(value.data()),
                                    static_cast<int>(value.size()), -1, set) == 1;
}

}  // namespace

int32_t ParseChain(SsfChainFormatNo chain, Bytes data, X509Stack* out) {
  if (data.empty()) return SSF_API_NODATA;
  ByteReader r(data.p, data.n);
  X509Stack certs(sk_X509_new_null());
  if (!certs) return SSF_API_NOMEMORY;
  int32_t rc = SSF_API_INVALID_FORMAT;
  uint8_t first = 0;
  r.peek_u8(&first);
  switch (chain) {
    case SSF_CHAIN_X509V3:
      if (first == kDerSequence) {
        // Certificates one after the other, or wrapped in one SEQUENCE OF.
        rc = der_certs(r, &certs);
        ByteReader seq, outer = r;
        if (rc != SSF_API_OK && sk_X509_num(certs.get()) == 0 &&
            outer.get_der(kDerSequence, &seq) && outer.rest_is_zero()) {
          OpenSslErrorsDrop();
          rc = der_certs(seq, &certs);
        }
      } else {
        SslPtr<X509> x;
        rc = CertDecode(data.p, static_cast<int32_t>(std::min<size_t>(data.n, INT32_MAX)), &x);
        if (rc == SSF_API_OK && !sk_X509_push(certs.get(), x.get())) rc = SSF_API_NOMEMORY;
        if (rc == SSF_API_OK) x.release();
      }
      break;
    case SSF_CHAIN_X509PKIPATHV1: {
      ByteReader seq;
      rc = r.get_der(kDerSequence, &seq) && r.rest_is_zero() ? der_certs(seq, &certs)
                                                             : SSF_API_CHAINPARSE_ERROR;
      if (rc == SSF_API_OK) {
        const int n = sk_X509_num(certs.get());
        for (int i = 0; i < n / 2; ++i) {
          X509* a = sk_X509_value(certs.get(), i);
          sk_X509_set(certs.get(), i, sk_X509_value(certs.get(), n - 1 - i));
          sk_X509_set(certs.get(), n - 1 - i, a);
        }
      }
      break;
    }
    case SSF_CHAIN_PKCS7:
      rc = pkcs7_bag(r, &certs);
      break;
    case SSF_CHAIN_UNKNOWN:
    case SSF_CHAIN_NONE:
    case SSF_CHAIN_KEYVALUE:
    case SSF_CHAIN_RAWPUBKEY:
      rc = SSF_API_INVALID_FORMAT;
      break;
  }
  if (rc != SSF_API_OK) return rc;
  *out = std::move(certs);
  return SSF_API_OK;
}

int32_t ParsePublicKey(Bytes data, SslPtr<EVP_PKEY>* out) {
  if (data.empty()) return SSF_API_NODATA;
  const long len = static_cast<long>(std::min<size_t>(data.n, INT32_MAX));
  if (data.p[0] == kDerSequence) {
    SslPtr<EVP_PKEY> k(der_public_key(data.p, len));
    if (!k) return SSF_API_ERROR_DECODING_INPUT;
    *out = std::move(k);
    return SSF_API_OK;
  }
  SslPtr<BIO> bio(BIO_new_mem_buf(data.p, static_cast<int>(len)));
  char* name = nullptr;
  char* header = nullptr;
  unsigned char* der = nullptr;
  long der_len = 0;
  if (!bio || PEM_read_bio(bio.get(), &name, &header, &der, &der_len) != 1)
    return SSF_API_ERROR_DECODING_PEM;
  SslBuf<char> owned_name(name), owned_header(header);
  SslBuf<unsigned char> owned_der(der);
  const unsigned char* q = der;
  SslPtr<EVP_PKEY> k;
  if (strcmp(name, kPemPublicKey) == 0)
    k.reset(der_public_key(der, der_len));
  else if (strcmp(name, kPemRsaPublicKey) == 0)
    k.reset(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &q, der_len));
  if (!k) return SSF_API_ERROR_DECODING_INPUT;
  *out = std::move(k);
  return SSF_API_OK;
}

int32_t ParseName(const std::string& text, SslPtr<X509_NAME>* out) {
  if (text.size() > kMaxNameText) return SSF_API_BAD_NAME;
  // RFC 4514 lists the most specific RDN first; X.509 stores it last.
  std::vector<std::vector<std::string>> rdns(1);
  std::string cur;
  bool ok = true;
  for (size_t i = 0; i < text.size() && ok;) {
    const char ch = text[i];
    if (ch == '\\') {
      ++i;
      cur += hex_value(text, &i, &ok);
      continue;
    }
    ++i;
    if (ch == ',' || ch == ';' || ch == '+') {
      rdns.back().push_back(cur);
      cur.clear();
      if (ch != '+') rdns.emplace_back();
      continue;
    }
    cur += ch;
  }
  rdns.back().push_back(cur);
  if (!ok) return SSF_API_BAD_NAME;
  SslPtr<X509_NAME> name(X509_NAME_new());
  if (!name) return SSF_API_NOMEMORY;
  for (auto it = rdns.rbegin(); it != rdns.rend(); ++it) {
    // 0 opens a new RDN, -1 joins the previous one (multi-valued RDN).
    int set = 0;
    for (const std::string& ava : *it) {
      if (!add_ava(ava, set, name.get())) {
        OpenSslErrorsDrop();
        return SSF_API_BAD_NAME;
      }
      set = -1;
    }
  }
  *out = std::move(name);
  return SSF_API_OK;
}

int32_t CertValidAt(X509* cert, time_t now, const char** what) {
  // A time that is not strict DER is no validity period at all.
  if (!TimeIsStrictDer(X509_get0_notBefore(cert)) ||
      X509_cmp_time(X509_get0_notBefore(cert), &now) > 0)
    return *what = "not yet valid", SSF_API_CERT_EXPIRED;
  if (!TimeIsStrictDer(X509_get0_notAfter(cert)) ||
      X509_cmp_time(X509_get0_notAfter(cert), &now) < 0)
    return *what = "expired", SSF_API_CERT_EXPIRED;
  OpenSslErrorsDrop();
  return SSF_API_OK;
}

int32_t CertCheck(const VerifyCall& c, X509* cert, STACK_OF(X509) * intermediates) {
  const TrustVerdict v = c.pse->CheckTrust(cert, intermediates, c.now);
  switch (v.kind) {
    case TrustVerdict::Kind::kTrusted:
      Trace(kTrcDetail, c.func, "%-15s: Signer certificate check successful", c.func);
      return SSF_API_OK;
    case TrustVerdict::Kind::kUntrusted:
      Trace(kTrcDetail, c.func, "%-15s: Signer certificate check failed", c.func);
      ErrorPush(SSF_API_UNKNOWN_SIGNER, c.func, v.what);
      return SSF_API_UNKNOWN_SIGNER;
    case TrustVerdict::Kind::kOutOfPeriod: {
      std::string from, to;
      TimeText(X509_get0_notBefore(v.cert), &from);
      TimeText(X509_get0_notAfter(v.cert), &to);
      const std::string period = "Validity: " + from + " - " + to;
      Trace(kTrcDetail, c.func, "%-15s: Signer Certificate %s\n%s", c.func, v.what, period.c_str());
      ErrorPush(SSF_API_CERT_EXPIRED, c.func, v.what);
      return SSF_API_CERT_EXPIRED;
    }
    case TrustVerdict::Kind::kError:
      break;
  }
  return SSF_API_UNKNOWN_SECTK_ERROR;
}

std::string NameOf(const X509_NAME* name) {
  std::string s;
  if (!NameText(name, &s)) OpenSslErrorsDrop();
  return s;
}

std::string SubjectOf(X509* cert) {
  // A ticket issuer signs ticket after ticket with one certificate. The
  // kept reference makes a certificate at the same address the same one.
  struct Last {
    SslPtr<X509> cert;
    std::string text;
  };
  thread_local Last last;
  if (last.cert.get() == cert) return last.text;
  last.cert.reset();
  // A name that could not be written (out of memory) is not kept.
  std::string text = NameOf(X509_get_subject_name(cert));
  if (!text.empty()) {
    last.text = text;
    last.cert = X509Ref(cert);
  }
  return text;
}

int32_t AppendSigner(const VerifyCall& c, const std::string& id, const std::string& profile,
                     X509* cert, uint32_t result, SigRcpSsfInformation** rec, Bytes known) {
  *rec = nullptr;
  unsigned char* encoded = nullptr;
  const bool use_known = cert != nullptr && !known.empty() && known.n <= INT32_MAX;
  int der_len = use_known ? static_cast<int>(known.n) : cert ? i2d_X509(cert, &encoded) : 0;
  SslBuf<unsigned char> owned(encoded);
  const unsigned char* der = use_known ? known.p : encoded;
  if (der_len < 0) {
    OpenSslErrorsDrop();
    der_len = 0;
  }
  SigRcpSsfInformation* r = nullptr;
  const std::string& name = id.empty() ? std::string(kUnknownSigner) : id;
  int32_t rc = SigRcpNew(name.data(), static_cast<SsfCharlen>(name.size()), nullptr, 0,
                                   profile.data(), static_cast<SsfCharlen>(profile.size()), der,
                                   der_len, result, &r);
  if (rc == SSF_API_OK) {
    rc = SigRcpInsert(r, c.results);
    if (rc != SSF_API_OK) SigRcpFree(&r);
  }
  if (rc == SSF_AUX_NOMEMORY) return SSF_API_NORESULTLISTMEMORY;
  if (rc != SSF_API_OK) return SSF_API_UNKNOWN_SECTK_ERROR;
  *rec = r;
  return SSF_API_OK;
}

bool DupOut(const unsigned char* p, size_t n, SsfOctetstring* out, SsfOctetlen* outL) {
  if (n > static_cast<size_t>(INT32_MAX) - 1) return false;
  auto* buf = static_cast<unsigned char*>(malloc(n + 1));
  if (buf == nullptr) return false;
  if (n) memcpy(buf, p, n);
  buf[n] = 0;
  *out = buf;
  *outL = static_cast<SsfOctetlen>(n);
  return true;
}

}  // namespace qorcr
