// A per-thread verification context ready for the key last used.
#include "crypto/base/verify_ready.h"

#include <openssl/rsa.h>

namespace qorcr {
namespace {

// A context set up for one key and digest. It holds a reference to its
// key, so a key at the same address is the same key and the pointer
// comparison is sound.
template <typename Ctx>
struct Ready {
  SslPtr<EVP_PKEY> key;
  const EVP_MD* md = nullptr;
  SslPtr<Ctx> ctx;

  Ctx* kept(EVP_PKEY* k, const EVP_MD* m) const { return ctx && key.get() == k && md == m ? ctx.get() : nullptr; }
  // Keeps `c`, set up for `k` and `m`; null when the key cannot be referenced.
  Ctx* keep(EVP_PKEY* k, const EVP_MD* m, SslPtr<Ctx> c) {
    if (!c || EVP_PKEY_up_ref(k) != 1) return nullptr;
    key.reset(k);
    md = m;
    ctx = std::move(c);
    return ctx.get();
  }
};

thread_local Ready<EVP_MD_CTX> t_ready;
// The same for signatures over a digest computed beforehand: a key
// context set up for verification, padding and digest, which is reused as
// it is (a verification leaves it set up).
thread_local Ready<EVP_PKEY_CTX> t_ready_pkey;

EVP_MD_CTX* ready_for(EVP_PKEY* key, const EVP_MD* md) {
  if (EVP_MD_CTX* kept = t_ready.kept(key, md)) return kept;
  t_ready = Ready<EVP_MD_CTX>{};
  SslPtr<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, md, nullptr, key) != 1) return nullptr;
  return t_ready.keep(key, md, std::move(ctx));
}

EVP_PKEY_CTX* pkey_ready_for(EVP_PKEY* key, const EVP_MD* md) {
  if (EVP_PKEY_CTX* kept = t_ready_pkey.kept(key, md)) return kept;
  t_ready_pkey = Ready<EVP_PKEY_CTX>{};
  SslPtr<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(key, nullptr));
  if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1 ||
      (EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA &&
       EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1) ||
      EVP_PKEY_CTX_set_signature_md(ctx.get(), md) != 1)
    return nullptr;
  return t_ready_pkey.keep(key, md, std::move(ctx));
}

}  // namespace

bool PkeyVerifyReady(EVP_PKEY* key, const EVP_MD* md, const unsigned char* sig, size_t sig_len,
                     const unsigned char* dgst, size_t dgst_len) {
  EVP_PKEY_CTX* ready = key == nullptr || md == nullptr ? nullptr : pkey_ready_for(key, md);
  const bool ok = ready != nullptr && EVP_PKEY_verify(ready, sig, sig_len, dgst, dgst_len) == 1;
  // As above: after any failure the next check sets up afresh.
  if (!ok) t_ready_pkey = Ready<EVP_PKEY_CTX>{};
  return ok;
}

bool DigestVerifyReady(EVP_PKEY* key, const EVP_MD* md, const unsigned char* sig, size_t sig_len,
                       const unsigned char* data, size_t len) {
  // Made on first use and again after a failed allocation.
  thread_local SslPtr<EVP_MD_CTX> work;
  if (!work) work.reset(EVP_MD_CTX_new());
  EVP_MD_CTX* ready = key == nullptr ? nullptr : ready_for(key, md);
  const bool ok = ready != nullptr && work && EVP_MD_CTX_copy_ex(work.get(), ready) == 1 &&
                  EVP_DigestVerify(work.get(), sig, sig_len, data, len) == 1;
  // A setup that ran out of memory half way may look ready and never
  // verify: after any failure the next check sets up afresh.
  if (!ok) {
    t_ready = Ready<EVP_MD_CTX>{};
    work.reset();
  }
  return ok;
}

}  // namespace qorcr
