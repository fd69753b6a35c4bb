// Profiles: creating, opening, closing and removing key stores by name,
// adding trusted certificates, and the open used by the signature services.
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <openssl/crypto.h>

#include <mutex>

#include "crypto/frame/frame.h"
#include "crypto/pse/pseint.h"

namespace qorcr {
namespace {

constexpr char kMemPsePrefix[] = "mempse:";
constexpr size_t kMemPsePrefixLen = sizeof kMemPsePrefix - 1;
constexpr int32_t kRcProfileExists = -1;
constexpr char kRevocationParam[] = "vlt/ssf/pkix_revocation_check";
constexpr uint32_t kRcRevocationUnsupported = 0xa1e00240u;
const char* const kBuiltinProfiles[] = {"QORvalidation", "QORverify", "QORdefault"};

bool is_builtin(const std::string& name) {
  for (const char* b : kBuiltinProfiles)
    if (name == b) return true;
  return false;
}

std::string text(const char* s, SsfCharlen len) {
  return (s == nullptr || len <= 0) ? std::string() : std::string(s, static_cast<size_t>(len));
}

int32_t open_rc(PseStatus s) {
  switch (s) {
    case PseStatus::kOk: return SSF_API_OK;
    case PseStatus::kNotFound:
    case PseStatus::kCorrupt:
    case PseStatus::kIoError: return SSF_API_UNKNOWN_PROFILE;
    case PseStatus::kWrongPin: return SSF_API_INVALID_PASSWORD;
    case PseStatus::kNoMemory: return SSF_API_NOMEMORY;
    case PseStatus::kExists:
    case PseStatus::kDuplicateCert: return SSF_API_UNKNOWN_SECTK_ERROR;
  }
  return SSF_API_UNKNOWN_SECTK_ERROR;
}

int32_t create_rc(PseStatus s) {
  switch (s) {
    case PseStatus::kOk: return SSF_API_OK;
    case PseStatus::kExists: return SSF_API_INVALID_PROFILE;
    case PseStatus::kNoMemory: return SSF_API_NOMEMORY;
    case PseStatus::kNotFound:
    case PseStatus::kCorrupt:
    case PseStatus::kIoError:
    case PseStatus::kWrongPin:
    case PseStatus::kDuplicateCert: return SSF_API_UNKNOWN_SECTK_ERROR;
  }
  return SSF_API_UNKNOWN_SECTK_ERROR;
}

int32_t put_rc(PseStatus s) {
  switch (s) {
    case PseStatus::kOk: return SSF_API_OK;
    case PseStatus::kDuplicateCert: return SSF_API_SIGNER_NOT_OK;
    case PseStatus::kNoMemory: return SSF_API_NOMEMORY;
    case PseStatus::kNotFound:
    case PseStatus::kCorrupt:
    case PseStatus::kIoError:
    case PseStatus::kWrongPin:
    case PseStatus::kExists: return SSF_API_UNKNOWN_SECTK_ERROR;
  }
  return SSF_API_UNKNOWN_SECTK_ERROR;
}

void log_status(PseStatus s, const char* func, const char* fmt, const std::string& name) {
  const uint32_t code = PseStatusCode(s);
  Trace(kTrcError, func, fmt, code, PseStatusText(s), "", name.c_str());
  ErrorPush(static_cast<int32_t>(code), func, PseStatusText(s));
}

// `given` is the caller's name pointer, only to tell a missing name in the trace.
int32_t open_store(const char* given, const std::string& name, const std::string& pin, const char* func,
                   StoreRef* ref, PseRef* out) {
  std::string revocation;
  if (ConfigGet(kRevocationParam, &revocation) && revocation == "1") {
    // This library does not check revocation; it will not pretend to.
    Trace(kTrcError, func, "Error 0x%08X(%s): Setting revocation check failed",
          kRcRevocationUnsupported, "revocation checking is not available");
    ErrorPush(static_cast<int32_t>(kRcRevocationUnsupported), func,
              "revocation checking is not available");
    return SSF_API_UNKNOWN_SECTK_ERROR;
  }
  PseStatus s = ResolveName(name, ref);
  if (s == PseStatus::kOk) s = StoreOpen(*ref, pin, out);
  if (s != PseStatus::kOk)
    log_status(s, func, "Error 0x%08X(%s): Opening %sPSE '%s' failed", given != nullptr ? name : "<NULL>");
  return open_rc(s);
}

// Additions are read-modify-write of the image: one at a time, so none is lost.
std::mutex put_mtx;

PseStatus put_locked(ssf_profile_s* profile, X509* x) {
  std::lock_guard<std::mutex> lock(put_mtx);
  PseRef current;
  PseStatus s = StoreOpen(profile->ref, profile->pin, &current);
  if (s != PseStatus::kOk) return s;
  // A certificate put into a store is one it trusts: a new one is added
  // marked, one the store holds only as chain is marked where it is.
  std::vector<SslPtr<X509>> certs;
  std::vector<bool> marked;
  bool held = false;
  for (size_t i = 0; i < current->certs().size(); ++i) {
    X509* c = current->certs()[i].get();
    const bool same = X509_cmp(c, x) == 0;
    if (same && current->IsAnchor(i)) return PseStatus::kDuplicateCert;
    held = held || same;
    certs.push_back(X509Ref(c));
    marked.push_back(current->IsAnchor(i) || same);
  }
  if (!held) {
    certs.push_back(X509Ref(x));
    marked.push_back(true);
  }
  SslPtr<EVP_PKEY> key;
  if (current->private_key() != nullptr) {
    EVP_PKEY_up_ref(current->private_key());
    key.reset(current->private_key());
  }
  PseRef next;
  if (!PseContents::Build(std::move(key), std::move(certs), marked, &next))
    return PseStatus::kNoMemory;
  Image image;
  s = ImageEncode(*next, profile->pin, &image);
  if (s == PseStatus::kOk) s = StoreWrite(profile->ref, image, profile->pin, next);
  if (s == PseStatus::kOk) profile->contents = next;
  return s;
}

}  // namespace

int32_t PseOpen(const char* name, SsfCharlen nameL, const char* password, SsfCharlen passwordL,
                const char* func, PseRef* out) {
  StoreRef ref;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    std::string pin = PinOf(password, passwordL);
    int32_t rc = open_store(name, text(name, nameL), pin, func, &ref, out);
    OPENSSL_cleanse(&pin[0], pin.size());
    return rc;
  })
}

int32_t CreateProfileImpl(const std::string& name, const std::string& pin,
                          const unsigned char* data, size_t len) {
  if (data != nullptr && len > kMemPsePrefixLen &&
      memcmp(data, kMemPsePrefix, kMemPsePrefixLen) == 0) {
    std::string existing;
    if (ProfileLookup(name, &existing)) return kRcProfileExists;
    std::string mem;
    if (MemCreate(is_builtin(name) ? name : std::string(), &mem, nullptr) != PseStatus::kOk)
      return SSF_API_NOMEMORY;
    if (MemLoad(mem, data + kMemPsePrefixLen, len - kMemPsePrefixLen) != PseStatus::kOk ||
        !ProfileAdd(name, mem)) {
      MemDelete(mem);  // nothing half-made stays behind
      return SSF_API_NOMEMORY;
    }
    return SSF_API_OK;
  }
  StoreRef ref;
  PseStatus s = ResolveName(name, &ref);
  if (s == PseStatus::kOk && StoreHasImage(ref)) s = PseStatus::kExists;
  Image image;
  if (s == PseStatus::kOk) s = ImageEmpty(pin, &image);
  if (s == PseStatus::kOk) s = StoreWrite(ref, image, pin, nullptr);
  if (s != PseStatus::kOk) log_status(s, "SsfCreateProfile", "Error 0x%08X(%s): Creating %sPSE '%s' failed", name);
  return create_rc(s);
}

int32_t RemoveProfileImpl(const std::string& name) {
  std::string mem;
  if (ProfileRemove(name, &mem)) {
    MemDelete(mem);
    return SSF_API_OK;
  }
  if (unlink(name.c_str()) == 0) return SSF_API_OK;
  switch (errno) {
    case EACCES:
    case EPERM: return SSF_API_INVALID_PROFILE;
    case ENOENT:
    case ENOTDIR: return SSF_API_UNKNOWN_PROFILE;
    case ENOMEM: return SSF_API_NOMEMORY;
    default: return SSF_API_UNKNOWN_SECTK_ERROR;
  }
}

int32_t PseRegisterBuiltins() {
  Image empty;
  if (ImageEmpty(std::string(), &empty) != PseStatus::kOk) return -1;
  Image data(kMemPsePrefix, kMemPsePrefix + kMemPsePrefixLen);
  data.insert(data.end(), empty.begin(), empty.end());
  for (const char* name : kBuiltinProfiles) {
    int32_t rc = CreateProfileImpl(name, std::string(), data.data(), data.size());
    if (rc != SSF_API_OK && rc != kRcProfileExists) return rc;
  }
  return 0;
}

void PseRemoveBuiltins() {
  for (const char* name : kBuiltinProfiles) {
    std::string mem;
    if (ProfileRemove(name, &mem)) MemDelete(mem);
  }
}

}  // namespace qorcr

ssf_profile_s::~ssf_profile_s() {
  if (!pin.empty()) OPENSSL_cleanse(&pin[0], pin.size());
}

using namespace qorcr;

extern "C" {

int32_t SsfCreateProfile(const char* strProfile, SsfCharlen strProfileL, const char* strPassword,
                         SsfCharlen strPasswordL, const unsigned char* ostrData,
                         SsfOctetlen ostrDataL) {
  SsfEntry entry("SsfCreateProfile");
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    std::string pin = PinOf(strPassword, strPasswordL);
    int32_t rc = CreateProfileImpl(text(strProfile, strProfileL), pin, ostrData,
                                   ostrDataL > 0 ? static_cast<size_t>(ostrDataL) : 0);
    OPENSSL_cleanse(&pin[0], pin.size());
    return rc;
  })
}

int32_t SsfOpenProfile(const char* strProfile, SsfCharlen strProfileL, const char* strPassword,
                       SsfCharlen strPasswordL, const char*, SsfCharlen, const char*, SsfCharlen,
                       SsfProfileHandle* pProfile) {
  SsfEntry entry("SsfOpenProfile");
  if (!entry.ok()) return -1;
  if (pProfile == nullptr) return SSF_API_INVALID_FUNCARGS;
  *pProfile = nullptr;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    auto h = std::make_unique<ssf_profile_s>();
    h->pin = PinOf(strPassword, strPasswordL);
    int32_t rc = open_store(strProfile, text(strProfile, strProfileL), h->pin, "SsfOpenProfile", &h->ref,
                            &h->contents);
    if (rc != SSF_API_OK) return rc;
    *pProfile = h.release();
    return SSF_API_OK;
  })
}

int32_t SsfCloseProfile(SsfProfileHandle* pProfile) {
  SsfEntry entry("SsfCloseProfile");
  if (!entry.ok()) return -1;
  if (pProfile != nullptr) {
    std::unique_ptr<ssf_profile_s> owned(*pProfile);
    *pProfile = nullptr;
  }
  return SSF_API_OK;
}

int32_t SsfRemoveProfile(const char* strProfile, SsfCharlen strProfileL) {
  SsfEntry entry("SsfRemoveProfile");
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, { return RemoveProfileImpl(text(strProfile, strProfileL)); })
}

int32_t SsfPutCertificate(SsfProfileHandle profile, SsfCertHandle cert) {
  SsfEntry entry("SsfPutCertificate");
  if (!entry.ok()) return -1;
  if (profile == nullptr) return SSF_API_OK;
  X509* x = CertX509(cert);
  if (x == nullptr) return SSF_API_INVALID_FUNCARGS;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    PseStatus s = put_locked(profile, x);
    if (s != PseStatus::kOk)
      log_status(s, "SsfPutCertificate", "Error 0x%08X(%s): Adding certificate to %sPSE '%s' failed",
                 profile->ref.key);
    return put_rc(s);
  })
}

}  // extern "C"
