// A per-thread verification context ready for the key last used.
#include "crypto/base/verify_ready.h"

namespace qorcr {
namespace {

// The context holds a reference to its key, so a key at the same address
// is the same key and the pointer comparison is sound.
struct Ready {
  SslPtr<EVP_PKEY> key;
  const EVP_MD* md = nullptr;
  SslPtr<EVP_MD_CTX> ctx;
};

EVP_MD_CTX* ready_for(EVP_PKEY* key, const EVP_MD* md) {
  thread_local Ready ready;
  if (ready.ctx && ready.key.get() == key && ready.md == md) return ready.ctx.get();
  ready = Ready{};
  SslPtr<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, md, nullptr, key) != 1 ||
      EVP_PKEY_up_ref(key) != 1)
    return nullptr;
  ready.key.reset(key);
  ready.md = md;
  ready.ctx = std::move(ctx);
  return ready.ctx.get();
}

}  // namespace

bool DigestVerifyReady(EVP_PKEY* key, const EVP_MD* md, const unsigned char* sig, size_t sig_len,
                       const unsigned char* data, size_t len) {
  thread_local SslPtr<EVP_MD_CTX> work(EVP_MD_CTX_new());
  EVP_MD_CTX* ready = key == nullptr ? nullptr : ready_for(key, md);
  return ready != nullptr && work && EVP_MD_CTX_copy_ex(work.get(), ready) == 1 &&
         EVP_DigestVerify(work.get(), sig, sig_len, data, len) == 1;
}

}  // namespace qorcr
