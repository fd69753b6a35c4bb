// Certificate import: one X.509 certificate as DER, Base64 text or PEM, and
// the reference-counted certificate handle.
#include <stdlib.h>
#include <string.h>

#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include "base/bytes/reader.h"
#include "crypto/cert/certtext.h"
#include "crypto/frame/frame.h"
#include "crypto/pse/pseint.h"

namespace qorcr {
namespace {

constexpr size_t kMinCertInput = 10;
constexpr uint8_t kDerLongFormMask = 0xF0;
constexpr uint8_t kDerTwoLengthBytes = 0x82;
constexpr size_t kDerTwoByteHeader = 4;
constexpr char kPemBeginMark[] = "-----BEGIN";
constexpr char kPemEndMark[] = "-----END";
constexpr char kBase64DerStart[] = "MI";

bool is_space(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool starts_with(const ByteReader& r, const char* s) {
  const size_t n = strlen(s);
  return r.remaining() >= n && memcmp(r.data(), s, n) == 0;
}

// Moves `r` to the first occurrence of `mark`; false (r untouched) when none.
bool seek(ByteReader* r, const char* mark) {
  ByteReader probe = *r;
  while (!probe.empty()) {
    if (starts_with(probe, mark)) return *r = probe, true;
    probe.skip(1);
  }
  return false;
}

// A DER blob that declares a two-byte length is cut to that length, so
// bytes after the certificate are ignored.
size_t der_length(const uint8_t* data, size_t len) {
  ByteReader r(data, len);
  uint8_t tag = 0, lenbyte = 0;
  uint16_t declared = 0;
  if (!r.get_u8(&tag) || tag != kDerSequence || !r.get_u8(&lenbyte) ||
      lenbyte != kDerTwoLengthBytes || !r.get_u16be(&declared))
    return len;
  const size_t total = size_t{declared} + kDerTwoByteHeader;
  return len > total ? total : len;
}

bool known_key_type(const X509* x) {
  ASN1_OBJECT* alg = nullptr;
  if (X509_PUBKEY_get0_param(&alg, nullptr, nullptr, nullptr, X509_get_X509_PUBKEY(x)) != 1) return false;
  switch (OBJ_obj2nid(alg)) {
    case NID_rsaEncryption:
    case NID_rsassaPss:
    case NID_dsa:
    case NID_X9_62_id_ecPublicKey:
    case NID_ED25519:
    case NID_ED448:
      return true;
    default:
      return false;
  }
}

SslPtr<X509> parse_der(const uint8_t* data, size_t len) {
  len = der_length(data, len);
  SslPtr<X509> x = CertFromDer(data, len);
  // The crypto library keeps a certificate whose public key it failed to
  // decode (out of memory, say); for the key types it knows, such a
  // certificate could never verify, so it does not count as decoded.
  if (x && X509_get0_pubkey(x.get()) == nullptr && known_key_type(x.get())) x.reset();
  return x;
}

// The Base64 part of a text: all of it for bare Base64 starting with "MI",
// the lines between the PEM boundaries otherwise (all of it without them).
ByteReader base64_part(ByteReader text) {
  if (starts_with(text, kBase64DerStart)) return text;
  ByteReader begin = text;
  if (!seek(&begin, kPemBeginMark)) return text;
  uint8_t c = 0;
  while (begin.get_u8(&c) && c != '\n') {
  }
  ByteReader end = begin;
  if (!seek(&end, kPemEndMark)) return begin;
  ByteReader body;
  begin.get_sub(begin.remaining() - end.remaining(), &body);
  return body;
}

bool base64_decode(const ByteReader& in, std::vector<unsigned char>* out) {
  SslPtr<EVP_ENCODE_CTX> ctx(EVP_ENCODE_CTX_new());
  if (!ctx || in.remaining() > kMaxImageSize) return false;
  out->resize(in.remaining() / 4 * 3 + 3);
  EVP_DecodeInit(ctx.get());
  int n = 0, tail = 0;
  if (EVP_DecodeUpdate(ctx.get(), out->data(), &n, in.data(), static_cast<int>(in.remaining())) < 0 ||
      EVP_DecodeFinal(ctx.get(), out->data() + n, &tail) < 0)
    return false;
  out->resize(static_cast<size_t>(n + tail));
  return !out->empty();
}

int32_t decode_cert(const unsigned char* data, int32_t len, SslPtr<X509>* out) {
  if (data == nullptr || len < 0 || static_cast<size_t>(len) < kMinCertInput) return SSF_API_NODATA;
  ByteReader r(data, static_cast<size_t>(len));
  uint8_t b0 = 0, b1 = 0;
  ByteReader head = r;
  if (head.get_u8(&b0) && head.get_u8(&b1) && b0 == kDerSequence &&
      (b1 & kDerLongFormMask) == kDerLongForm) {
    *out = parse_der(r.data(), r.remaining());
    if (*out) return SSF_API_OK;
    OpenSslErrorsDrop();
  }
  uint8_t c = 0;
  while (r.peek_u8(&c) && is_space(c)) r.skip(1);
  if (r.empty()) return SSF_API_NODATA;
  std::vector<unsigned char> der;
  if (!base64_decode(base64_part(r), &der)) {
    OpenSslErrorsDrop();
    return SSF_API_ERROR_DECODING_BASE64;
  }
  *out = parse_der(der.data(), der.size());
  if (*out) return SSF_API_OK;
  OpenSslErrorsDrop();
  return SSF_API_ERROR_DECODING_X509;
}

int32_t decode_to_handle(const char* func, const unsigned char* data, int32_t len,
                         SsfCertHandle* pCert) {
  if (pCert == nullptr) return SSF_API_INVALID_FUNCARGS;
  *pCert = nullptr;
  SslPtr<X509> x;
  int32_t rc = decode_cert(data, len, &x);
  if (rc != SSF_API_OK) {
    ErrorPush(rc, func, rc == SSF_API_NODATA ? "no certificate data"
                        : rc == SSF_API_ERROR_DECODING_BASE64 ? "text is not valid Base64"
                                                              : "bytes are not an X.509 certificate");
    return rc;
  }
  *pCert = CertHandleNew(std::move(x));
  return *pCert ? SSF_API_OK : SSF_API_NOMEMORY;
}

}  // namespace

bool Base64Decode(const unsigned char* text, size_t len, std::vector<unsigned char>* out) {
  return base64_decode(ByteReader(text, len), out);
}

int32_t CertDecode(const unsigned char* data, int32_t len, SslPtr<X509>* out) {
  return decode_cert(data, len, out);
}

X509* CertX509(SsfCertHandle cert) { return cert ? cert->x509.get() : nullptr; }

SsfCertHandle CertHandleNew(SslPtr<X509> x) {
  auto* h = new (std::nothrow) ssf_cert_s;
  if (h != nullptr) h->x509 = std::move(x);
  return h;
}

}  // namespace qorcr

using namespace qorcr;

extern "C" {

int32_t qorzelb_decode_cert(const unsigned char* pData, int32_t lData, SsfCertHandle* pCert) {
  SsfEntry entry("qorzelb_decode_cert", false);
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY,
                      { return decode_to_handle("qorzelb_decode_cert", pData, lData, pCert); })
}

int32_t SsfCertfromASN1(const unsigned char* pData, int32_t lData, SsfCertHandle* pCert) {
  SsfEntry entry("SsfCertfromASN1");
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY,
                      { return decode_to_handle("SsfCertfromASN1", pData, lData, pCert); })
}

int32_t SsfCerttoASN1(SsfCertHandle cert, SsfOctetstring* pDer, SsfOctetlen* pDerL) {
  SsfEntry entry("SsfCerttoASN1");
  if (!entry.ok()) return -1;
  if (pDer) *pDer = nullptr;
  if (pDerL) *pDerL = 0;
  if (cert == nullptr || cert->x509 == nullptr) return SSF_API_ENCODE_FAILED;
  if (pDer == nullptr || pDerL == nullptr) return SSF_API_INVALID_FUNCARGS;
  int len = i2d_X509(cert->x509.get(), nullptr);
  if (len <= 0) {
    ErrorPushOpenSsl(SSF_API_DECODE_FAILED, "SsfCerttoASN1", "certificate cannot be encoded");
    return SSF_API_DECODE_FAILED;
  }
  auto* buf = static_cast<unsigned char*>(malloc(static_cast<size_t>(len) + 1));
  if (buf == nullptr) return SSF_API_NOMEMORY;
  unsigned char* p = buf;
  if (i2d_X509(cert->x509.get(), &p) != len) {
    free(buf);
    ErrorPushOpenSsl(SSF_API_UNKNOWN_SECTK_ERROR, "SsfCerttoASN1", "certificate cannot be encoded");
    return SSF_API_UNKNOWN_SECTK_ERROR;
  }
  buf[len] = 0;
  *pDer = buf;
  *pDerL = len;
  return SSF_API_OK;
}

int32_t SsfFreeCertificate(SsfCertHandle* pCert) {
  SsfEntry entry("SsfFreeCertificate");
  if (!entry.ok()) return -1;
  if (pCert == nullptr || *pCert == nullptr) return SSF_API_OK;
  if ((*pCert)->refs.fetch_sub(1) == 1) std::unique_ptr<ssf_cert_s> owned(*pCert);
  *pCert = nullptr;
  return SSF_API_OK;
}

}  // extern "C"
