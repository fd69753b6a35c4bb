// Hash and keyed-MAC objects over OpenSSL's EVP digests and EVP_MAC "HMAC".
#include <openssl/core_names.h>
#include <openssl/crypto.h>

#include <string.h>

#include <new>
#include <vector>

#include "crypto/base/digest.h"
#include "crypto/hash/hashapi.h"
#include "crypto/frame/frame.h"
#include "crypto/pse/pse.h"
#include "crypto/sig/sigint.h"

struct crypt_hash_s {
  qorcr::SslPtr<EVP_MD_CTX> md;
};

struct crypt_keyedmac_s {
  qorcr::SslPtr<EVP_MAC_CTX> mac;
};

namespace {

using qorcr::SslPtr;

constexpr char kHexDigits[] = "0123456789abcdef";

const EVP_MD* md_of(int32_t id) {
  const auto d = static_cast<SsfDigestNo>(id);
  return (d == SSF_DIGEST_MD2 || d == SSF_DIGEST_MD4) ? nullptr : qorcr::DigestMd(d);
}

// The HMAC implementation, fetched once per process.
EVP_MAC* hmac_impl() {
  static EVP_MAC* mac = EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr);
  return mac;
}

// The keyed context last made on this thread, ready to be copied: setting
// up HMAC (digest lookup, key pads) costs more than the MAC of a short
// token, and a verifier uses one key over and over. The key is compared in
// full and wiped when replaced.
struct KeyedTemplate {
  int32_t id = 0;
  std::vector<unsigned char> key;
  SslPtr<EVP_MAC_CTX> ctx;
  bool matches(int32_t want_id, const unsigned char* k, size_t n) const {
    return ctx && id == want_id && key.size() == n && crypt_mac_equal(key.data(), k, n);
  }
  void forget() {
    if (!key.empty()) OPENSSL_cleanse(key.data(), key.size());
    key.clear();
    ctx.reset();
  }
  ~KeyedTemplate() { forget(); }
};
thread_local KeyedTemplate t_template;
constexpr size_t kMaxTemplateKey = 8192;

// Writes `n` raw bytes in the requested form; `*len` is the capacity on entry.
int32_t put_value(const unsigned char* v, size_t n, int32_t form, unsigned char* out, size_t* len) {
  const size_t need = form == CRYPT_VALUE_HEX ? 2 * n : n;
  if (form != CRYPT_VALUE_RAW && form != CRYPT_VALUE_HEX) return CRYPT_ERR_ARGS;
  if (*len < need) {
    *len = need;
    return CRYPT_ERR_BUFFER;
  }
  for (size_t i = 0; i < n; ++i) {
    if (form == CRYPT_VALUE_RAW) {
      out[i] = v[i];
    } else {
      out[2 * i] = static_cast<unsigned char>(kHexDigits[v[i] >> 4]);
      out[2 * i + 1] = static_cast<unsigned char>(kHexDigits[v[i] & 0xF]);
    }
  }
  *len = need;
  return CRYPT_OK;
}

// OpenSSL keeps digest and MAC state private (and a MAC's key inside it), so
// there is nothing to move between processes; the import and export calls
// exist for the services' fixed layout.
template <typename Ctx>
int32_t no_import(Ctx** ctx) {
  if (ctx) *ctx = nullptr;
  return CRYPT_ERR_UNSUPPORTED;
}

int32_t no_export(size_t* blob_len) {
  if (blob_len) *blob_len = 0;
  return CRYPT_ERR_UNSUPPORTED;
}

// Releases a context made by its create call.
template <typename Ctx>
int32_t release(Ctx** ctx) {
  if (ctx == nullptr) return CRYPT_ERR_ARGS;
  delete *ctx;
  *ctx = nullptr;
  return CRYPT_OK;
}

}  // namespace

extern "C" {

int32_t crypt_hashAlgorithm_Name2Id(const char* name, int32_t* id) {
  if (name == nullptr || id == nullptr) return CRYPT_ERR_ARGS;
  SsfDigestNo d = SSF_DIGEST_UNKNOWN;
  if (qorcr::DigestLookup(name, static_cast<SsfCharlen>(strnlen(name, 64)), &d) != SSF_API_OK ||
      md_of(d) == nullptr)
    return CRYPT_ERR_ALGORITHM;
  *id = d;
  return CRYPT_OK;
}

int32_t crypt_hashAlgorithm_Id2Name(int32_t id, const char** name) {
  if (name == nullptr) return CRYPT_ERR_ARGS;
  if (md_of(id) == nullptr) return CRYPT_ERR_ALGORITHM;
  *name = SsfDigestName(static_cast<SsfDigestNo>(id));
  return CRYPT_OK;
}

int32_t crypt_hash_create(crypt_hash_t** ctx, int32_t id) {
  if (ctx == nullptr) return CRYPT_ERR_ARGS;
  *ctx = nullptr;
  const EVP_MD* md = md_of(id);
  if (md == nullptr) return CRYPT_ERR_ALGORITHM;
  auto* h = new (std::nothrow) crypt_hash_s;
  if (h == nullptr) return CRYPT_ERR_NOMEMORY;
  h->md.reset(EVP_MD_CTX_new());
  if (!h->md || EVP_DigestInit_ex(h->md.get(), md, nullptr) != 1) {
    delete h;
    qorcr::OpenSslErrorsDrop();
    return CRYPT_ERR_LIBRARY;
  }
  *ctx = h;
  return CRYPT_OK;
}

int32_t crypt_hash_import(crypt_hash_t** ctx, const unsigned char*, size_t) { return no_import(ctx); }

int32_t crypt_hash_exportToBlob(crypt_hash_t*, unsigned char*, size_t* blob_len) {
  return no_export(blob_len);
}

int32_t crypt_hash_more(crypt_hash_t* ctx, const void* data, size_t len) {
  if (ctx == nullptr || (data == nullptr && len != 0)) return CRYPT_ERR_ARGS;
  return EVP_DigestUpdate(ctx->md.get(), data, len) == 1 ? CRYPT_OK : CRYPT_ERR_LIBRARY;
}

int32_t crypt_hash_getValue(crypt_hash_t* ctx, int32_t form, unsigned char* out, size_t* len) {
  if (ctx == nullptr || out == nullptr || len == nullptr) return CRYPT_ERR_ARGS;
  unsigned char v[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  // A copy, so the value can be asked for again and input may follow.
  SslPtr<EVP_MD_CTX> copy(EVP_MD_CTX_new());
  if (!copy || EVP_MD_CTX_copy_ex(copy.get(), ctx->md.get()) != 1 ||
      EVP_DigestFinal_ex(copy.get(), v, &n) != 1) {
    qorcr::OpenSslErrorsDrop();
    return CRYPT_ERR_LIBRARY;
  }
  return put_value(v, n, form, out, len);
}

int32_t crypt_hash_release(crypt_hash_t** ctx) { return release(ctx); }

int32_t crypt_keyedmac_create(HMac_CTX** ctx, int32_t id, const unsigned char* key, size_t keylen,
                              const void* reserved1, const void* reserved2) {
  if (ctx == nullptr) return CRYPT_ERR_ARGS;
  *ctx = nullptr;
  if ((key == nullptr && keylen != 0) || reserved1 != nullptr || reserved2 != nullptr)
    return CRYPT_ERR_ARGS;
  const EVP_MD* md = md_of(id);
  if (md == nullptr || hmac_impl() == nullptr) return CRYPT_ERR_ALGORITHM;
  auto* m = new (std::nothrow) crypt_keyedmac_s;
  if (m == nullptr) return CRYPT_ERR_NOMEMORY;
  if (t_template.matches(id, key, keylen)) {
    m->mac.reset(EVP_MAC_CTX_dup(t_template.ctx.get()));
    if (m->mac) {
      *ctx = m;
      return CRYPT_OK;
    }
  }
  m->mac.reset(EVP_MAC_CTX_new(hmac_impl()));
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>(EVP_MD_get0_name(md)), 0),
      OSSL_PARAM_construct_end()};
  // An empty secret is a valid HMAC key (RFC 2104 section 3); OpenSSL wants a non-null pointer.
  static const unsigned char kEmpty[1] = {0};
  if (!m->mac || EVP_MAC_init(m->mac.get(), key ? key : kEmpty, keylen, params) != 1) {
    delete m;
    qorcr::OpenSslErrorsDrop();
    return CRYPT_ERR_LIBRARY;
  }
  if (keylen <= kMaxTemplateKey) {
    t_template.forget();
    t_template.ctx.reset(EVP_MAC_CTX_dup(m->mac.get()));
    if (t_template.ctx) {
      t_template.id = id;
      t_template.key.assign(key ? key : kEmpty, (key ? key : kEmpty) + keylen);
    }
  }
  *ctx = m;
  return CRYPT_OK;
}

int32_t crypt_keyedmac_import(HMac_CTX** ctx, const unsigned char*, size_t) { return no_import(ctx); }

int32_t crypt_keyedmac_exportToBlob(HMac_CTX*, unsigned char*, size_t* blob_len) {
  return no_export(blob_len);
}

int32_t crypt_keyedmac_more(HMac_CTX* ctx, const void* data, size_t len) {
  if (ctx == nullptr || (data == nullptr && len != 0)) return CRYPT_ERR_ARGS;
  return EVP_MAC_update(ctx->mac.get(), static_cast<const unsigned char*>(data), len) == 1
             ? CRYPT_OK
             : CRYPT_ERR_LIBRARY;
}

int32_t crypt_keyedmac_getValue(HMac_CTX* ctx, int32_t form, unsigned char* out, size_t* len) {
  if (ctx == nullptr || out == nullptr || len == nullptr) return CRYPT_ERR_ARGS;
  size_t n = 0;
  // Raw into a buffer that holds any MAC: no copy through the stack to wipe.
  if (form == CRYPT_VALUE_RAW && *len >= EVP_MAX_MD_SIZE) {
    if (EVP_MAC_final(ctx->mac.get(), out, &n, *len) != 1) {
      qorcr::OpenSslErrorsDrop();
      return CRYPT_ERR_LIBRARY;
    }
    *len = n;
    return CRYPT_OK;
  }
  unsigned char v[EVP_MAX_MD_SIZE];
  if (EVP_MAC_final(ctx->mac.get(), v, &n, sizeof v) != 1) {
    qorcr::OpenSslErrorsDrop();
    return CRYPT_ERR_LIBRARY;
  }
  const int32_t rc = put_value(v, n, form, out, len);
  OPENSSL_cleanse(v, sizeof v);
  return rc;
}

int32_t crypt_keyedmac_reset(HMac_CTX* ctx) {
  if (ctx == nullptr) return CRYPT_ERR_ARGS;
  // Init without a key restarts with the key already set.
  if (EVP_MAC_init(ctx->mac.get(), nullptr, 0, nullptr) != 1) {
    qorcr::OpenSslErrorsDrop();
    return CRYPT_ERR_LIBRARY;
  }
  return CRYPT_OK;
}

int32_t crypt_keyedmac_release(HMac_CTX** ctx) { return release(ctx); }

// In 16-byte slices: the crypto library compares a 16-byte run in a few
// word operations but any other length a byte at a time, which made the
// compares a twentieth of an HS256 token's cost. The slicing depends on the
// length only, so the time still tells nothing of the bytes.
bool crypt_mac_equal(const unsigned char* a, const unsigned char* b, size_t len) {
  constexpr size_t kSlice = 16;
  int diff = 0;
  size_t i = 0;
  for (; len - i >= kSlice; i += kSlice) diff |= CRYPTO_memcmp(a + i, b + i, kSlice);
  if (i < len) diff |= CRYPTO_memcmp(a + i, b + i, len - i);
  return diff == 0;
}

void crypt_cleanse(void* p, size_t n) {
  if (p != nullptr && n != 0) OPENSSL_cleanse(p, n);
}

bool crypt_key_is_public(const unsigned char* key, size_t len) {
  if (key == nullptr || len == 0) return false;
  qorcr::SslPtr<X509> cert;
  if (len <= INT32_MAX && qorcr::CertDecode(key, static_cast<int32_t>(len), &cert) == SSF_API_OK)
    return true;
  qorcr::SslPtr<EVP_PKEY> pub;
  const bool is_pub = qorcr::ParsePublicKey(qorcr::Bytes{key, len}, &pub) == SSF_API_OK;
  qorcr::OpenSslErrorsDrop();
  return is_pub;
}

}  // extern "C"
