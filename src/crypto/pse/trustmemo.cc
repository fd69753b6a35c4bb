// Kept path validation verdicts and the time spans they hold in.
#include "crypto/pse/trustmemo.h"

#include <string.h>

#include <algorithm>
#include <limits>

namespace qorcr {
namespace {

// The validation compares a validity time e with the check time t only as
// "e <= t" (X509_cmp_time), to the second; this is that e.
bool edge_of(const ASN1_TIME* t, time_t* out) {
  struct tm tm;
  if (t == nullptr || ASN1_TIME_to_tm(t, &tm) != 1) return false;
  *out = timegm(&tm);
  return true;
}

void narrow_by(time_t e, time_t at, time_t* from, time_t* until) {
  if (e <= at)
    *from = std::max(*from, e);
  else
    *until = std::min(*until, e);
}

void narrow_by_cert(X509* x, time_t at, time_t* from, time_t* until) {
  time_t e = 0;
  if (edge_of(X509_get0_notBefore(x), &e)) narrow_by(e, at, from, until);
  if (edge_of(X509_get0_notAfter(x), &e)) narrow_by(e, at, from, until);
}

const EVP_MD* sha256() {
  static EVP_MD* const md = EVP_MD_fetch(nullptr, "SHA2-256", nullptr);
  return md;
}

// Length first, so that no two sequences of certificates hash the same bytes.
bool hash_cert(EVP_MD_CTX* ctx, X509* x, std::vector<unsigned char>* buf) {
  const int n = i2d_X509(x, nullptr);
  if (n <= 0) return false;
  buf->resize(static_cast<size_t>(n) + 4);
  unsigned char* p = buf->data() + 4;
  if (i2d_X509(x, &p) != n) return false;
  const uint32_t len = static_cast<uint32_t>(n);
  memcpy(buf->data(), &len, 4);
  return EVP_DigestUpdate(ctx, buf->data(), buf->size()) == 1;
}

}  // namespace

void TimeEdges::Add(X509* x) {
  time_t e = 0;
  if (edge_of(X509_get0_notBefore(x), &e)) edges_.push_back(e);
  if (edge_of(X509_get0_notAfter(x), &e)) edges_.push_back(e);
}

void TimeEdges::Sort() {
  std::sort(edges_.begin(), edges_.end());
  edges_.erase(std::unique(edges_.begin(), edges_.end()), edges_.end());
}

void TimeEdges::Narrow(time_t at, time_t* from, time_t* until) const {
  auto above = std::upper_bound(edges_.begin(), edges_.end(), at);
  if (above != edges_.end()) *until = std::min(*until, *above);
  if (above != edges_.begin()) *from = std::max(*from, *(above - 1));
}

bool TrustMemo::KeyOf(X509* cert, STACK_OF(X509) * helpers, Key* out) {
  thread_local SslPtr<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
  thread_local std::vector<unsigned char> buf;
  if (!ctx || sha256() == nullptr || EVP_DigestInit_ex(ctx.get(), sha256(), nullptr) != 1 ||
      !hash_cert(ctx.get(), cert, &buf))
    return false;
  for (int i = 0; helpers != nullptr && i < sk_X509_num(helpers); ++i)
    if (!hash_cert(ctx.get(), sk_X509_value(helpers, i), &buf)) return false;
  unsigned int n = 0;
  return EVP_DigestFinal_ex(ctx.get(), out->data(), &n) == 1 && n == out->size();
}

size_t TrustMemo::KeyHash::operator()(const Key& k) const {
  size_t h = 0;
  memcpy(&h, k.data(), sizeof h);
  return h;
}

bool TrustMemo::Find(const Key& key, time_t at, TrustVerdict* out) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = entries_.find(key);
  if (it == entries_.end() || at < it->second.from || at >= it->second.until) return false;
  *out = TrustVerdict{};
  out->kind = it->second.kind;
  out->what = it->second.what;
  return true;
}

void TrustMemo::Put(const Key& key, time_t from, time_t until, const TrustVerdict& v) {
  if (v.kind != TrustVerdict::Kind::kTrusted && v.kind != TrustVerdict::Kind::kUntrusted) return;
  const Entry e{v.kind, v.what, from, until};
  std::lock_guard<std::mutex> lock(mu_);
  auto it = entries_.find(key);
  if (it != entries_.end()) {
    it->second = e;
    return;
  }
  if (order_.size() < kMaxEntries) {
    order_.push_back(key);
  } else {
    entries_.erase(order_[next_]);
    order_[next_] = key;
    next_ = (next_ + 1) % kMaxEntries;
  }
  entries_.emplace(key, e);
}

void TrustMemo::Window(time_t at, X509* cert, STACK_OF(X509) * helpers, const TimeEdges& store,
                       time_t* from, time_t* until) {
  *from = std::numeric_limits<time_t>::min();
  *until = std::numeric_limits<time_t>::max();
  store.Narrow(at, from, until);
  narrow_by_cert(cert, at, from, until);
  for (int i = 0; helpers != nullptr && i < sk_X509_num(helpers); ++i)
    narrow_by_cert(sk_X509_value(helpers, i), at, from, until);
}

}  // namespace qorcr
