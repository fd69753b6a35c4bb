// Verdicts of earlier path validations against one key store's contents,
// so that a signer seen before skips path building and the issuer's
// signature check. A verdict is kept with the span of time in which no
// validity time of any certificate the validation may look at is crossed:
// inside that span the validation would decide exactly as it did.
#pragma once

#include <time.h>

#include <mutex>
#include <unordered_map>
#include <vector>

#include "crypto/base/sslptr.h"

namespace qorcr {

// The outcome of a trust decision.
struct TrustVerdict {
  enum class Kind {
    kTrusted,
    kOutOfPeriod,  // trusted, but a certificate of the path is expired or not yet valid
    kUntrusted,
    kError,        // the check could not run
  };
  Kind kind = Kind::kError;
  X509* cert = nullptr;  // kOutOfPeriod: the certificate out of its period
  const char* what = "";  // kOutOfPeriod: "expired" or "not yet valid"; kUntrusted: why
};

// Every notBefore and notAfter of a set of certificates as seconds since
// the epoch, sorted; a time that cannot be read is left out (the path
// validation finds it unreadable at any time, so it never changes).
class TimeEdges {
 public:
  void Add(X509* x);
  void Sort();
  // Narrows [*from, *until) to the span around `at` that crosses no edge
  // (an edge e counts as passed at every time t >= e).
  void Narrow(time_t at, time_t* from, time_t* until) const;

 private:
  std::vector<time_t> edges_;
};

class TrustMemo {
 public:
  // The certificate and the helpers in order, as the memo compares them.
  class Key {
   public:
    // False when a certificate is missing.
    bool Set(X509* cert, STACK_OF(X509) * helpers);
    size_t hash() const { return hash_; }
    bool operator==(const Key& o) const;

   private:
    std::vector<SslPtr<X509>> certs_;  // references, so none is freed while kept
    size_t hash_ = 0;
  };

  // The kept (trusted) verdict of `key` when `at` lies in its span.
  bool Find(const Key& key, time_t at, TrustVerdict* out) const;
  // Keeps a trusted verdict that holds in [from, until); the oldest gives
  // way once the memo is full, so no sequence of signers grows it without
  // bound. Other verdicts are not kept: a failed allocation can make a path
  // fail to verify, never make one verify.
  void Put(Key key, time_t from, time_t until, const TrustVerdict& v);

  // The span around `at` in which none of the store's certificates,
  // `cert` and `helpers` crosses a validity time.
  static void Window(time_t at, X509* cert, STACK_OF(X509) * helpers, const TimeEdges& store,
                     time_t* from, time_t* until);

  static constexpr size_t kMaxEntries = 256;

 private:
  struct Entry {
    Key key;
    time_t from, until;
  };

  mutable std::mutex mu_;
  std::vector<Entry> entries_;  // a ring once full
  std::unordered_multimap<size_t, size_t> by_hash_;  // key hash -> entry position
  size_t next_ = 0;
};

}  // namespace qorcr
