// The loaded ticket key (a key store image, an issuer certificate or an
// HMAC secret) and the certificate-parsing export.
#include <string.h>

#include <new>

#include "crypto/hash/hashapi.h"
#include "krn/ha/habase64.h"
#include "qorjwt.h"
#include "sec/tavrisso/ssf/cert_attribute.h"
#include "sec/tavrisso/api/jwks_load.h"
#include "sec/tavrisso/api/key_snapshot.h"
#include "sec/tavrisso/api/state.h"
#include "sec/tavrisso/engine/fixed_field.h"

namespace {

// Errors of this module report the library's main module as their location.
constexpr const char* TRC_MODULE = kTavriExtModule;

enum KeyType : int32_t {
  kKeyPseImage = 0,
  kKeyCertificate = 1,
  kKeyHmacRaw = 2,
  kKeyHmacBase64 = 3,
  kKeyCertificateQuiet = 4,
  kKeyJwkSet = 5,
};


// Largest key kept in X509Key (the last byte stays zero).
constexpr int32_t kX509KeyMax = static_cast<int32_t>(kX509KeySize) - 1;

// Deletes the memory key store, if any, and forgets every key and password
// loaded, an HMAC secret loaded without key store too: a load that cannot
// take its key leaves none in force. The caller holds ssf_rmtx.
void clear_loaded_key() {
  TavriReleaseLoadedKey();
  crypt_cleanse(PSEpwd, sizeof PSEpwd);
  crypt_cleanse(X509Key, sizeof X509Key);
  X509KeyLen = 0;
}

// The old password and key are wiped before they are replaced, so no tail
// of a longer one stays behind the new one.
void store_password(const char* pPassword) {
  if (pPassword == nullptr) return;
  crypt_cleanse(PSEpwd, sizeof PSEpwd);
  // A password that does not fit leaves PSEpwd empty.
  strcpy_sRFB(PSEpwd, sizeof PSEpwd, pPassword);
}

void store_key_bytes(const unsigned char* pKey, int32_t lKey) {
  if (lKey > kX509KeyMax) return;
  crypt_cleanse(X509Key, sizeof X509Key);
  memcpy(X509Key, pKey, static_cast<size_t>(lKey));
  X509KeyLen = static_cast<size_t>(lKey);
}

// PSEPath = the memory key store name, trailing blanks removed.
void store_pse_path() {
  memset(PSEPath, 0, sizeof PSEPath);
  size_t n = strnlen(pMemoryPSE, sizeof PSEPath - 1);
  strzcpy(PSEPath, pMemoryPSE, n);
}

bool memory_pse_bound() {
  return s_SsfLib.bqor_create_memory_PSE && s_SsfLib.bqor_load_memory_PSE &&
         s_SsfLib.fp_qor_create_memory_PSE != nullptr &&
         s_SsfLib.fp_qor_load_memory_PSE != nullptr;
}

// A fresh memory key store in pMemoryPSE, the previous one deleted first.
int32_t new_memory_pse() {
  TavriReleaseLoadedKey();  // PSEpwd stays until the load succeeds or fails
  int32_t rc = s_SsfLib.fp_qor_create_memory_PSE(&pMemoryPSE);
  if (rc != 0 || pMemoryPSE == nullptr) {
    TAVRI_ERR("Create PSE in memory failed: %s. \n", SsfSupErrorName(rc));
    pMemoryPSE = nullptr;
    return kRcNoMemory;
  }
  gLoadedPse = std::make_shared<TavriMemoryPse>(pMemoryPSE);
  return kRcOk;
}

// Type 0. Returns true when the image was refused (the caller returns 9 at
// once, without the common cleanup).
bool load_pse_image(const unsigned char* pKey, int32_t lKey, const char* pPassword) {
  int32_t rc = s_SsfLib.fp_qor_load_memory_PSE(pMemoryPSE, pKey, lKey);
  if (rc != 0) {
    TAVRI_ERR("Load the PSE into the memory failed: %s. \n", SsfSupErrorName(rc));
    pMemoryPSE = nullptr;
    gLoadedPse.reset();
    memset(PSEPath, 0, sizeof PSEPath);
    return true;
  }
  store_password(pPassword);
  store_pse_path();
  TAVRI_TRC(2, "Ticket key as new PSE loaded \n");
  return false;
}

// Types 1 and 4: the memory key store trusts exactly this certificate.
int32_t load_certificate(const unsigned char* pKey, int32_t lKey, bool quiet) {
  SsfCertHandle cert = nullptr;
  int32_t rc = SsfSupDecodeCert(&s_SsfLib, pKey, lKey, &cert);
  if (rc != 0) {
    if (!quiet) TAVRI_ERR("The decode_cert function failed in SSF library with rc = %d\n", rc);
    rc = kRcInternal;
  } else {
    const SsfCharlen nameL = static_cast<SsfCharlen>(strlen(pMemoryPSE));
    bool opened = false;
    if (s_SsfLib.fp_SsfCreateProfile == nullptr ||
        s_SsfLib.fp_SsfCreateProfile(pMemoryPSE, nameL, nullptr, 0, nullptr, 0) != SSF_API_OK) {
      TAVRI_ERR("SsfCreateProfile failed for memory PSE\n");
    } else {
      SsfProfileHandle profile = nullptr;
      if (s_SsfLib.fp_SsfOpenProfile != nullptr &&
          s_SsfLib.fp_SsfOpenProfile(pMemoryPSE, nameL, nullptr, 0, nullptr, 0, nullptr, 0,
                                     &profile) == SSF_API_OK) {
        opened = true;
        int32_t put = SSF_API_OK;
        if (s_SsfLib.fp_SsfPutCertificate != nullptr) put = s_SsfLib.fp_SsfPutCertificate(profile, cert);
        rc = s_SsfLib.fp_SsfCloseProfile != nullptr ? s_SsfLib.fp_SsfCloseProfile(&profile) : 0;
        store_pse_path();
        // Other put failures do not count, but one out of memory left the
        // store without the certificate, which must not look like a load.
        if (rc == 0 && put == SSF_API_NOMEMORY) rc = kRcNoMemory;
      }
    }
    if (!opened) {
      TAVRI_ERR("SsfOpenProfile failed for memory PSE\n");
      rc = kRcInternal;
    }
    if (s_SsfLib.fp_SsfFreeCertificate != nullptr) s_SsfLib.fp_SsfFreeCertificate(&cert);
    store_key_bytes(pKey, lKey);
  }
  TAVRI_TRC(2, "Ticket key from X509 certificate loaded \n");
  return rc;
}

// Type 3: the secret as tolerant standard Base64 (white space and foreign
// characters skipped). The decoder's result is not looked at: a bad text
// leaves an empty or partial key.
void load_hmac_base64(const unsigned char* pKey, int32_t lKey) {
  if (lKey > kX509KeyMax) return;
  crypt_cleanse(X509Key, sizeof X509Key);
  size_t len = 0;
  haDecBase64SB(pKey, static_cast<size_t>(lKey), ALPHABET_UTF8_BASE64,
                HA_DEC_LENIENT | HA_DEC_SKIP_FOREIGN, X509Key, static_cast<size_t>(kX509KeyMax),
                &len, nullptr);
  X509KeyLen = len;
}

int32_t load_key_locked(const unsigned char* pKey, int32_t lKey, const char* pPassword,
                        int32_t tType, bool* returned_early) {
  *returned_early = false;
  // A negative length is no more usable than a zero one.
  if (pKey == nullptr || lKey <= 0) {
    TAVRI_ERR("Null input passed for key content\n");
    return kRcNullArgument;
  }
  const bool needs_pse =
      tType == kKeyPseImage || tType == kKeyCertificate || tType == kKeyCertificateQuiet;
  if (needs_pse) {
    if (!memory_pse_bound()) {
      TAVRI_ERR("Null pointer for SSF function pointer, wrong SSF library\n");
      return kRcSsfFunctionMissing;
    }
    int32_t rc = new_memory_pse();
    if (rc != kRcOk) return rc;
  }
  // A secret too long for X509Key is refused whole: no shorter or earlier
  // secret may stay in force in its place.
  if ((tType == kKeyHmacRaw || tType == kKeyHmacBase64) && lKey > kX509KeyMax) {
    TAVRI_ERR("HMAC key of %d bytes is longer than %d bytes, not loaded.\n", lKey, kX509KeyMax);
    crypt_cleanse(X509Key, sizeof X509Key);
    X509KeyLen = 0;
    return kRcInvalid;
  }
  switch (tType) {
    case kKeyPseImage:
      if (load_pse_image(pKey, lKey, pPassword)) {
        *returned_early = true;
        return kRcInvalid;
      }
      return kRcOk;
    case kKeyCertificate:
    case kKeyCertificateQuiet:
      return load_certificate(pKey, lKey, tType == kKeyCertificateQuiet);
    case kKeyHmacRaw:
      store_password(pPassword);
      store_key_bytes(pKey, lKey);
      TAVRI_TRC(2, "Token key for HMAC verification loaded \n");
      return kRcOk;
    case kKeyHmacBase64:
      store_password(pPassword);
      load_hmac_base64(pKey, lKey);
      TAVRI_TRC(2, "Token key (base 64 encoded) for HMAC verification loaded \n");
      return kRcOk;
    case kKeyJwkSet:
      return TavriLoadJwkSet(pKey, lKey);
    default:
      TAVRI_ERR("Invalid type %d of key. \n", tType);
      return kRcInvalid;
  }
}

// The attribute name handed to the certificate parser: a known name that
// the caller's text begins with, else the caller's text.
const char* select_attribute(const char* pucsType) {
  static const char* const kKnown[] = {"SUBJECT", "ISSUER", "SERIALNO", "SUMMARY", "SERIAL"};
  for (const char* name : kKnown)
    if (strncmp(pucsType, name, strlen(name)) == 0) return name;
  return pucsType;
}

void trace_parse_failure(const char* attr) {
  if (strcmp(attr, "SUBJECT") == 0) {
    TAVRI_ERR("Couldn't parse subject out of certificate.\n");
  } else if (strcmp(attr, "ISSUER") == 0) {
    TAVRI_ERR("Couldn't parse issuer out of certificate.\n");
  } else if (strcmp(attr, "SERIALNO") == 0) {
    TAVRI_ERR("Couldn't parse serialNo out of certificate.\n");
  } else if (strcmp(attr, "SUMMARY") == 0) {
    TAVRI_ERR("Couldn't parse summary out of certificate.\n");
  } else if (strcmp(attr, "SERIAL") == 0) {
    TAVRI_ERR("Couldn't parse serial out of certificate.\n");
  } else {
    TAVRI_ERR("Couldn't parse the attribute >>%s<< out of certificate.\n", attr);
  }
}

}  // namespace

void TavriReleaseLoadedKey() {
  if (pMemoryPSE == nullptr) return;
  // Deleted once no published snapshot uses it any more.
  pMemoryPSE = nullptr;
  gLoadedPse.reset();
  memset(PSEPath, 0, sizeof PSEPath);
  crypt_cleanse(X509Key, sizeof X509Key);
  X509KeyLen = 0;
}

extern "C" {

QOR_API int32_t TavriLoadTicketKey(const unsigned char* pKey, int32_t lKey, const char* pPassword,
                                   int32_t /*iIndex*/, int32_t tType) {
  if (!bInit.load()) {
    TAVRI_ERR("TavriInitialize must be called first.");
    return kRcInvalid;
  }
  TAVRI_TRC(3, "Call function TavriLoadTicketKey \n");
  int32_t rc = kRcInternal;
  {
    SsfMutexGuard guard;
    if (!guard.ok()) return rc;
    TavriDropJwkSet();  // a new load replaces the set, a failed one leaves none
    bool returned_early = false, finished = false;
    rc = TavriNoThrow(TRC_MODULE, "TavriLoadTicketKey", kRcNoMemory, kRcInvalid, [&] {
      const int32_t r = load_key_locked(pKey, lKey, pPassword, tType, &returned_early);
      finished = true;
      return r;
    });
    // A load that threw half way (out of memory included) leaves no key behind.
    if (!finished) returned_early = false;
    if (!returned_early) TAVRI_TRC(3, "Cleanup of function, memory PSE created \n");
    if (rc != kRcOk) clear_loaded_key();
    // Calls from now on see the new key, or none after a failed load.
    if (!TavriPublishKey() && rc == kRcOk) {
      clear_loaded_key();
      rc = kRcNoMemory;
    }
  }
  TAVRI_TRC(3, "Leave function TavriLoadTicketKey with rc = %d.\n", rc);
  return rc;
}

QOR_API int32_t TavriParseCertificate(const unsigned char* pAsn1Certificate, int32_t CertLength,
                                      const char* pucsType, unsigned char* pucsBuffer,
                                      int32_t* piBufLen) {
  if (!bInit.load()) {
    TAVRI_ERR("TavriInitialize must be called first.");
    return kRcInvalid;
  }
  // No library lock: the parse reads only the caller's bytes and the SSF
  // table, which changes only at start and shutdown, and the crypto library
  // keeps its error information per thread.
  return TavriNoThrow(TRC_MODULE, "TavriParseCertificate", kRcNoMemory, kRcInternal, [&]() -> int32_t {
    int32_t rc = kRcOk;
    if (pAsn1Certificate == nullptr || pucsType == nullptr || pucsBuffer == nullptr ||
        piBufLen == nullptr) {
      TAVRI_ERR("Invalid parameter.\n");
      if (piBufLen != nullptr) *piBufLen = 0;
      rc = kRcInvalidTicket;
    } else {
      const char* attr = select_attribute(pucsType);
      SsfOctetstring text = nullptr;
      SsfOctetlen textL = 0;
      bool parse_failed = false;
      rc = CertAttributeText(&s_SsfLib, TRC_MODULE, pAsn1Certificate, CertLength, attr,
                             static_cast<int32_t>(strlen(attr)), &text, &textL, &parse_failed);
      if (parse_failed) trace_parse_failure(attr);
      if (rc == kRcOk) {
        if (*piBufLen >= textL) {
          memcpy(pucsBuffer, text, static_cast<size_t>(textL));
        } else {
          TAVRI_ERR("Buffer passed to TavriParseCertificate too small.");
          rc = kRcBufferTooSmall;
        }
      }
      *piBufLen = textL;
      if (text != nullptr) SsfLibDELSsfOctetstring(&s_SsfLib, &text, &textL);
    }
    return rc;
  });
}

}  // extern "C"
