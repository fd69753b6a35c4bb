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

thread_local Ready t_ready;

EVP_MD_CTX* ready_for(EVP_PKEY* key, const EVP_MD* md) {
  if (t_ready.ctx && t_ready.key.get() == key && t_ready.md == md) return t_ready.ctx.get();
  t_ready = Ready{};
  SslPtr<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, md, nullptr, key) != 1 ||
      EVP_PKEY_up_ref(key) != 1)
    return nullptr;
  t_ready.key.reset(key);
  t_ready.md = md;
  t_ready.ctx = std::move(ctx);
  return t_ready.ctx.get();
}

}  // namespace

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
    t_ready = Ready{};
    work.reset();
  }
  return ok;
}

}  // namespace qorcr
