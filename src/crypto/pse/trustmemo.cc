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

bool TrustMemo::Key::Set(X509* cert, STACK_OF(X509) * helpers) {
  certs_.clear();
  hash_ = 0;
  const int n = helpers == nullptr ? 0 : sk_X509_num(helpers);
  certs_.reserve(static_cast<size_t>(n) + 1);
  for (int i = -1; i < n; ++i) {
    X509* x = i < 0 ? cert : sk_X509_value(helpers, i);
    // The leading bytes of the issuer's signature only spread the keys (any
    // signature worth the name looks random; asking for the fingerprint
    // costs a digest lookup by name); equality is decided by X509_cmp.
    const ASN1_BIT_STRING* sig = nullptr;
    if (x == nullptr) return false;
    X509_get0_signature(&sig, nullptr, x);
    size_t h = 0;
    if (sig != nullptr)
      memcpy(&h, ASN1_STRING_get0_data(sig),
             std::min(sizeof h, static_cast<size_t>(std::max(ASN1_STRING_length(sig), 0))));
    hash_ = hash_ * 1099511628211u + h;
    certs_.push_back(X509Ref(x));
  }
  return true;
}

// The same certificates: the same object, or the same fingerprint and the
// same signed part (X509_cmp, which compares the fingerprints first).
bool TrustMemo::Key::operator==(const Key& o) const {
  if (hash_ != o.hash_ || certs_.size() != o.certs_.size()) return false;
  for (size_t i = 0; i < certs_.size(); ++i)
    if (certs_[i] != o.certs_[i] && X509_cmp(certs_[i].get(), o.certs_[i].get()) != 0)
      return false;
  return true;
}

bool TrustMemo::Find(const Key& key, time_t at, TrustVerdict* out) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto range = by_hash_.equal_range(key.hash());
  for (auto it = range.first; it != range.second; ++it) {
    const Entry& e = entries_[it->second];
    if (!(e.key == key)) continue;
    if (at < e.from || at >= e.until) return false;
    *out = TrustVerdict{};
    out->kind = TrustVerdict::Kind::kTrusted;
    return true;
  }
  return false;
}

void TrustMemo::Put(Key key, time_t from, time_t until, const TrustVerdict& v) {
  if (v.kind != TrustVerdict::Kind::kTrusted) return;
  const size_t h = key.hash();
  Entry e{std::move(key), from, until};
  std::lock_guard<std::mutex> lock(mu_);
  auto range = by_hash_.equal_range(h);
  for (auto it = range.first; it != range.second; ++it)
    if (entries_[it->second].key == e.key) {
      entries_[it->second] = std::move(e);
      return;
    }
  size_t at = entries_.size();
  if (at < kMaxEntries) {
    entries_.push_back(std::move(e));
  } else {
    at = next_;
    next_ = (next_ + 1) % kMaxEntries;
    auto old = by_hash_.equal_range(entries_[at].key.hash());
    for (auto it = old.first; it != old.second; ++it)
      if (it->second == at) {
        by_hash_.erase(it);
        break;
      }
    entries_[at] = std::move(e);
  }
  by_hash_.emplace(h, at);
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
