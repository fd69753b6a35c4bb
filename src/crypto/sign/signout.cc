// Optional outputs of a signature: the signer's certificate chain from its
// key store in a chain format, its subject name and its key identifier.
#include <openssl/cms.h>

#include "base/bytes/reader.h"
#include "crypto/frame/frame.h"
#include "crypto/sign/signint.h"
#include "crypto/ssf/records.h"
#include "crypto/ssf/ssfapi.h"

namespace qorcr {
namespace {

using Der = std::vector<unsigned char>;

constexpr size_t kMaxChain = 16;

// The signer certificate and its issuers as far as the store holds them.
std::vector<X509*> chain_of(const Signer& s) {
  std::vector<X509*> chain{s.cert};
  while (chain.size() < kMaxChain) {
    X509* cur = chain.back();
    if (X509_check_issued(cur, cur) == X509_V_OK) break;  // self-issued: the anchor
    X509* issuer = nullptr;
    for (const auto& x : s.pse->certs())
      if (X509_check_issued(x.get(), cur) == X509_V_OK) issuer = x.get();
    if (issuer == nullptr) break;
    bool seen = false;
    for (X509* c : chain) seen = seen || c == issuer;
    if (seen) break;
    chain.push_back(issuer);
  }
  OpenSslErrorsDrop();
  return chain;
}

bool append_der(X509* x, Der* out) {
  unsigned char* p = nullptr;
  const int n = i2d_X509(x, &p);
  SslBuf<unsigned char> owned(p);
  if (n <= 0) return false;
  out->insert(out->end(), p, p + n);
  return true;
}

// DER SEQUENCE header and contents.
Der sequence(const Der& contents) {
  Der out{kDerSequence};
  const size_t n = contents.size();
  if (n < 0x80) {
    out.push_back(static_cast<unsigned char>(n));
  } else {
    Der len;
    for (size_t v = n; v != 0; v >>= 8) len.insert(len.begin(), static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>(kDerLongForm | len.size()));
    out.insert(out.end(), len.begin(), len.end());
  }
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}

bool certs_only(const std::vector<X509*>& chain, Der* out) {
  X509Stack certs(sk_X509_new_null());
  if (!certs) return false;
  for (X509* x : chain) {
    if (!sk_X509_push(certs.get(), x)) return false;
    X509_up_ref(x);
  }
  SslPtr<CMS_ContentInfo> cms(CMS_sign(nullptr, nullptr, certs.get(), nullptr, CMS_PARTIAL | CMS_DETACHED));
  unsigned char* p = nullptr;
  const int n = cms ? i2d_CMS_ContentInfo(cms.get(), &p) : 0;
  SslBuf<unsigned char> owned(p);
  if (n <= 0) return false;
  out->assign(p, p + n);
  return true;
}

std::string base64(const BIGNUM* bn) {
  Der bin(static_cast<size_t>(BN_num_bytes(bn)));
  BN_bn2bin(bn, bin.data());
  std::string out(4 * ((bin.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]), bin.data(), static_cast<int>(bin.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

// XML-signature style key value; RSA keys only.
bool key_value(EVP_PKEY* key, Der* out) {
  BIGNUM *n = nullptr, *e = nullptr;
  if (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA || EVP_PKEY_get_bn_param(key, "n", &n) != 1) return false;
  SslPtr<BIGNUM> owned_n(n);
  if (EVP_PKEY_get_bn_param(key, "e", &e) != 1) return false;
  SslPtr<BIGNUM> owned_e(e);
  const std::string xml = "<RSAKeyValue><Modulus>" + base64(n) + "</Modulus><Exponent>" + base64(e) +
                          "</Exponent></RSAKeyValue>";
  out->assign(xml.begin(), xml.end());
  return true;
}

bool chain_output(SsfChainFormatNo f, const Signer& s, Der* out) {
  const std::vector<X509*> chain = chain_of(s);
  Der body;
  switch (f) {
    case SSF_CHAIN_X509V3:
      for (X509* x : chain)
        if (!append_der(x, out)) return false;
      return true;
    case SSF_CHAIN_X509PKIPATHV1:
      for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        if (!append_der(*it, &body)) return false;
      *out = sequence(body);
      return true;
    case SSF_CHAIN_PKCS7:
      return certs_only(chain, out);
    case SSF_CHAIN_KEYVALUE:
      return key_value(s.key, out);
    case SSF_CHAIN_RAWPUBKEY: {
      unsigned char* p = nullptr;
      const int n = i2d_PUBKEY(X509_get0_pubkey(s.cert), &p);
      SslBuf<unsigned char> owned(p);
      if (n <= 0) return false;
      out->assign(p, p + n);
      return true;
    }
    case SSF_CHAIN_UNKNOWN:
    case SSF_CHAIN_NONE:
      break;
  }
  return false;
}

bool key_id(X509* cert, Der* out) {
  if (const ASN1_OCTET_STRING* skid = X509_get0_subject_key_id(cert)) {
    const unsigned char* p = ASN1_STRING_get0_data(skid);
    out->assign(p, p + ASN1_STRING_length(skid));
    return true;
  }
  // RFC 5280 method 1: SHA-1 of the subject public key bits.
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (X509_pubkey_digest(cert, EVP_sha1(), md, &n) != 1) return false;
  out->assign(md, md + n);
  return true;
}

bool put(const Der& d, SsfOctetstring* p, SsfOctetlen* l) { return DupOut(d.data(), d.size(), p, l); }

}  // namespace

int32_t SignerOutputs(const SignCall& c, const Signer& s, const SignExtras& x) {
  bool ok = true;
  if (ok && x.chain && x.chainL && c.chain != SSF_CHAIN_NONE) {
    Der d;
    ok = chain_output(c.chain, s, &d) && put(d, x.chain, x.chainL);
  }
  if (ok && x.name && x.nameL) {
    const std::string name = NameOf(X509_get_subject_name(s.cert));
    ok = !name.empty() && put(Der(name.begin(), name.end()), x.name, x.nameL);
  }
  if (ok && x.key_id && x.key_idL) {
    Der d;
    ok = key_id(s.cert, &d) && put(d, x.key_id, x.key_idL);
  }
  if (ok) return SSF_API_OK;
  ErrorPushOpenSsl(SSF_API_UNKNOWN_SECTK_ERROR, c.func, "optional signer output cannot be built");
  OctetsFree(x.chain, x.chainL);
  OctetsFree(x.name, x.nameL);
  OctetsFree(x.key_id, x.key_idL);
  return SSF_API_UNKNOWN_SECTK_ERROR;
}

}  // namespace qorcr
