// Per-thread error information: a stack of entries behind a thread-specific
// key, read by SsfSecTKLastErrorInfo and emptied by every Ssf... call.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <openssl/err.h>

#include <memory>
#include <string>
#include <vector>

#include "base/thr/thr.h"
#include "crypto/frame/frame.h"
#include "crypto/ssf/ssfapi.h"

namespace qorcr {
namespace {

constexpr uint32_t kSslApiBit = 1u << 29;
constexpr size_t kMaxEntries = 64;
constexpr size_t kOpenSslErrText = 256;
constexpr int32_t kRcOutOfMemoryMarker = SSF_API_NOMEMORY;

struct ErrEntry {
  int32_t code;
  const char* category;
  std::string module;
  std::string text;
  std::string detail;
};

// Oldest entry first; `oom` stands for the static "out of memory" marker
// that replaces the entries when one could not be stored.
struct ErrStack {
  std::vector<ErrEntry> entries;
  bool oom = false;
};

void destroy_stack(void* p) { std::unique_ptr<ErrStack> owned(static_cast<ErrStack*>(p)); }

struct Key {
  THR_KEY_TYPE key = kThrNoKey;
  bool ok = false;
  Key() { ok = ThrKeyGet(&key, &destroy_stack) == THR_ERR_OK; }
};

const Key& thread_key() {
  static Key key;
  return key;
}

ErrStack* stack_of_thread(bool create) {
  const Key& k = thread_key();
  if (!k.ok) return nullptr;
  void* p = nullptr;
  ThrKeyVarGet(k.key, &p);
  if (p != nullptr || !create) return static_cast<ErrStack*>(p);
  std::unique_ptr<ErrStack> fresh(new (std::nothrow) ErrStack);
  if (!fresh || ThrKeyVarSet(k.key, fresh.get()) != THR_ERR_OK) return nullptr;
  return fresh.release();
}

const char* category_of(int32_t code) {
  if (code < 0) return "QORCRYPTO error";
  return (static_cast<uint32_t>(code) & kSslApiBit) ? "SSL API error" : "QORCRYPTO API error";
}

std::string drain_openssl() {
  std::string out;
  const char* data = nullptr;
  int flags = 0;
  unsigned long e;
  while ((e = ERR_get_error_all(nullptr, nullptr, nullptr, &data, &flags)) != 0) {
    char buf[kOpenSslErrText];
    ERR_error_string_n(e, buf, sizeof buf);
    if (!out.empty()) out += "\n";
    out += buf;
    if ((flags & ERR_TXT_STRING) && data != nullptr && *data) {
      out += " (";
      out += data;
      out += ")";
    }
  }
  return out;
}

SsfOctetstring dup_text(const std::string& s) {
  auto* p = static_cast<SsfOctetstring>(malloc(s.size() + 1));
  if (p == nullptr) return nullptr;
  memcpy(p, s.data(), s.size());
  p[s.size()] = 0;
  return p;
}

}  // namespace

void ErrorClear() {
  if (ErrStack* s = stack_of_thread(false)) {
    s->entries.clear();
    s->entries.shrink_to_fit();
    s->oom = false;
  }
}

bool ErrorPending() {
  const ErrStack* s = stack_of_thread(false);
  return s != nullptr && (s->oom || !s->entries.empty());
}

void ErrorPush(int32_t code, const char* func, const char* text, const char* detail) {
  ErrStack* s = stack_of_thread(true);
  if (s == nullptr) return;
  try {
    if (s->entries.size() >= kMaxEntries) s->entries.erase(s->entries.begin());
    std::string module = kModule;
    if (func != nullptr && *func) module += std::string("/") + func;
    s->entries.push_back(ErrEntry{code, category_of(code), std::move(module), text ? text : "",
                                  detail ? detail : ""});
  } catch (const std::bad_alloc&) {
    s->entries.clear();
    s->oom = true;
  }
}

void ErrorPushOpenSsl(int32_t code, const char* func, const char* text) {
  std::string detail;
  try {
    detail = drain_openssl();
  } catch (const std::bad_alloc&) {
    ERR_clear_error();
  }
  ErrorPush(code, func, text, detail.empty() ? nullptr : detail.c_str());
}

void OpenSslErrorsDrop() {
  // Clearing walks every slot of the queue; looking is cheaper, and the
  // queue is mostly empty here.
  if (ERR_peek_error() != 0) ERR_clear_error();
}

}  // namespace qorcr

using namespace qorcr;

extern "C" int32_t SsfSecTKLastErrorInfo(int32_t /*ssfrc*/, int32_t* pCode,
                                         SsfOctetstring* pError, SsfOctetlen* pErrorL,
                                         SsfOctetstring* pDetail, SsfOctetlen* pDetailL) {
  SsfEntry entry("SsfSecTKLastErrorInfo", false);
  if (pError) *pError = nullptr;
  if (pErrorL) *pErrorL = 0;
  if (pDetail) *pDetail = nullptr;
  if (pDetailL) *pDetailL = 0;
  if (pCode) *pCode = 0;
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    if (!thread_key().ok) {
      if (pCode) *pCode = kRcNoErrorModule;
      return 0;
    }
    const ErrStack* s = stack_of_thread(false);
    std::string error, detail;
    int32_t code = 0;
    if (s != nullptr && s->oom) {
      code = kRcOutOfMemoryMarker;
      error = "QORCRYPTO API error: out of memory while recording errors\n";
    } else if (s != nullptr && !s->entries.empty()) {
      code = s->entries.back().code;
      // Newest first, one line per entry.
      for (auto it = s->entries.rbegin(); it != s->entries.rend(); ++it) {
        char head[64];
        snprintf(head, sizeof head, "%s 0x%08X", it->category, static_cast<unsigned>(it->code));
        error += std::string(head) + " in " + it->module + ": " + it->text + "\n";
        if (!it->detail.empty()) detail += it->module + ": " + it->detail + "\n";
      }
    }
    if (pCode) *pCode = code;
    if (pError && !error.empty()) {
      *pError = dup_text(error);
      if (*pError == nullptr) return SSF_API_NOMEMORY;
      if (pErrorL) *pErrorL = static_cast<SsfOctetlen>(error.size());
    }
    if (pDetail && !detail.empty()) {
      *pDetail = dup_text(detail);
      if (*pDetail == nullptr) return SSF_API_NOMEMORY;
      if (pDetailL) *pDetailL = static_cast<SsfOctetlen>(detail.size());
    }
    return 0;
  })
}
