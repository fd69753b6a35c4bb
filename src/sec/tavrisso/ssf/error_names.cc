// Naming SSF return codes in the ticket trace and fetching the toolkit's
// last error.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "sec/tavrisso/ssf/table.h"

namespace {

constexpr size_t kErrorDescSize = 64;
constexpr size_t kMaxErrorText = 4095;
constexpr size_t kCutAllocSize = 4098;
constexpr int kKnownCodes[] = {0, 1, 2, 3, 4, 6, 10, 16, 17, 18};

char error_desc[kErrorDescSize];

const char* known_line(int32_t code) {
  switch (code) {
    case 0: return "SSF_API_OK :: Operation ok.";
    case 1: return "SSF_API_NOSECTK :: No security toolkit found.";
    case 2: return "SSF_API_INVALID_FORMAT :: Unknown wrapper format.";
    case 3: return "SSF_API_NODATA :: Input data length zero.";
    case 4: return "SSF_API_NOMEMORY :: Insufficient main memory.";
    case 5: return "SSF_API_SIGNER_ERRORS :: Error during verify - signer error.";
    case 6: return "SSF_API_NORESULTLISTMEMORY :: No memory for result list.";
    case 7: return "SSF_API_UNKNOWN_PAB :: Priv.Addr.Book (PSE file) not found.";
    case 8: return "SSF_API_INVALID_PAB_PASSWORD :: Invalid PAB (PSE file) password.";
    case 9: return "SSF_API_RECIPIENT_ERRORS :: Signature not valid / operation not okay for recipient.";
    case 10: return "SSF_API_INVALID_MDALG :: Unknown MD algorithm.";
    case 11: return "SSF_API_ENCODE_FAILED :: Could not encode output.";
    case 12: return "SSF_API_DECODE_FAILED :: Could not decode input.";
    case 13: return "SSF_API_UNKNOWN_SECTK_ERROR :: Unknown security toolkit error.";
    case 14:
    case 16: return "SSF_API_SECTK_NO_ENCRYPTION :: SSF lib does not support encryption.";
    case 21: return "SSF_API_PROFILE_LOCKED :: Security profile is locked.";
    case 22: return "SSF_API_UNKNOWN_SIGNER :: Unknown signer. Security profile does not contain the correct key.";
    case 23: return "SSF_API_UNKNOWN_PROFILE :: Unable to find profile. Settings aren't correct.";
    case 24: return "SSF_API_INVALID_PROFILE :: Found profile is invalid.";
    case 25: return "SSF_API_INVALID_PASSWORD :: Invalid password for profile. Incorrect password or missing credentials.";
    case 26: return "SSF_API_NOCERTIFICATE :: Certificate not found.";
    case 27: return "SSF_API_RECIPIENT_NOT_OK :: Operation not ok for recipient.";
    case 28: return "SSF_API_UNDEFINED_RESULT :: No particular error message.";
    case 31: return "SSF_API_REVOCATION_CERTIFICATE_REVOKED :: Certificate is revoked.";
    case 32: return "SSF_API_REVOCATION_CHECK_FAILED :: Revocation check failed (try again).";
    case 33: return "SSF_API_REVOCATION_CHECK_ERROR :: Revocation check error.";
    case 34: return "SSF_API_REVOCATION_CERTIFICATE_UNKNOWN :: Certificate is unknown.";
    case 51: return "SSF_AUX_NOMEMORY :: No more memory output data.";
    case 52: return "SSF_AUX_NOSIGRCPID :: Signer/recip. id is empty.";
    case 53: return "SSF_AUX_NOSIGRCPINFO :: Signer/recipient info empty.";
    case 54: return "SSF_AUX_NOSIGRCPINFOLIST :: Sig./recip. info list empty.";
    default: return nullptr;
  }
}

// A copy of at most kMaxErrorText characters, zero-terminated.
char* copy_cut(const unsigned char* p, int32_t len, int32_t* out_len) {
  size_t n = static_cast<size_t>(len);
  const bool cut = n > kMaxErrorText;
  if (cut) n = kMaxErrorText;
  char* out = static_cast<char*>(malloc(cut ? kCutAllocSize : n + 3));
  if (out == nullptr) return nullptr;
  memcpy(out, p, n);
  out[n] = '\0';
  if (out_len) *out_len = static_cast<int32_t>(n);
  return out;
}

void write_level1(DPTRC_FILE_HDL f, const char* fmt, const char* prefix, int32_t code,
                  const char* text) {
  if (f == nullptr || ct_level.load() < 1) return;
  DpLockGuard guard;
  if (!guard.ok()) return;
  EntLev = 1;
  DpTrc(f, fmt, prefix ? prefix : "", code, text);
  EntLev = 2;
}

}  // namespace

const char* SsfErrorDescription(int32_t p_ssfrc) {
  snprintf(error_desc, sizeof error_desc, "Unknown SSF-RC 0x%08x", static_cast<unsigned>(p_ssfrc));
  return error_desc;
}

int32_t SsfSupLastErrorInfo(SsfLib* lib, int32_t last_ssfRC, int32_t* pp_lastECode,
                            char** pp_lastError, int32_t* pp_lastError_L, char** pp_lastDetail,
                            int32_t* pp_lastDetail_L) {
  if (pp_lastECode) *pp_lastECode = 0;
  if (pp_lastError) *pp_lastError = nullptr;
  if (pp_lastError_L) *pp_lastError_L = 0;
  if (pp_lastDetail) *pp_lastDetail = nullptr;
  if (pp_lastDetail_L) *pp_lastDetail_L = 0;
  for (int c : kKnownCodes)
    if (last_ssfRC == c) return 0;
  if (lib == nullptr || lib->fp_SsfSecTKLastErrorInfo == nullptr) return SSF_API_SECTK_FUNCTION_NOT_AVAIL;
  int32_t code = 0;
  SsfOctetstring err = nullptr, detail = nullptr;
  SsfOctetlen err_len = 0, detail_len = 0;
  int32_t rc = lib->fp_SsfSecTKLastErrorInfo(last_ssfRC, &code, pp_lastError ? &err : nullptr,
                                             pp_lastError ? &err_len : nullptr,
                                             pp_lastDetail ? &detail : nullptr,
                                             pp_lastDetail ? &detail_len : nullptr);
  if (rc == 0 && code != 0) {
    if (pp_lastECode) *pp_lastECode = code;
    if (pp_lastError && err != nullptr && err_len > 0)
      *pp_lastError = copy_cut(err, err_len, pp_lastError_L);
    if (pp_lastDetail && detail != nullptr && detail_len > 0)
      *pp_lastDetail = copy_cut(detail, detail_len, pp_lastDetail_L);
  }
  if (lib->fp_SsfDELSsfOctetstring) {
    lib->fp_SsfDELSsfOctetstring(&err, &err_len);
    lib->fp_SsfDELSsfOctetstring(&detail, &detail_len);
  }
  return rc;
}

void DumpSsfError(DPTRC_FILE_HDL f, const char* prefix, int32_t code, SsfLib* lib) {
  if (const char* line = known_line(code)) {
    write_level1(f, "%s %d :: %s\n", prefix, code, line);
  } else if (lib == nullptr) {
    write_level1(f, "%s %d :: %s\n", prefix, code,
                 "unknown SSF error  :: no further, internal error occured in SSF.");
    return;
  }
  if (lib == nullptr) return;
  char* err = nullptr;
  char* detail = nullptr;
  int32_t err_len = 0, detail_len = 0, ecode = 0;
  if (SsfSupLastErrorInfo(lib, code < 1 ? -1 : code, &ecode, &err, &err_len, &detail,
                          &detail_len) == 0 &&
      f != nullptr && ct_level.load() >= 2) {
    DpLockGuard guard;
    if (guard.ok()) {
      if (detail != nullptr && detail_len > 0) {
        DpTrc(f, "ZOVEDADU2 ticket last error from SSF: %*.*s .\n", detail_len, detail_len, detail);
      } else if (err != nullptr && err_len > 0) {
        DpTrc(f, "ZOVEDADU2 ticket last error from SSF: %*.*s .\n", err_len, err_len, err);
      } else {
        DpTrc(f, "ZOVEDADU2 ticket SSF error description: %s .\n", SsfErrorDescription(code));
      }
    }
  }
  free(err);
  free(detail);
}

const SigRcpSsfInformation* DumpSsfCallFailure(DPTRC_FILE_HDL f, const char* module,
                                               const char* call, int32_t r, SsfLib* pSsfLib,
                                               SigRcpSsfInformationList signers) {
  DPTRC_ERR(f, module, "%s failed (see note 7310442).\n", call);
  char prefix[32];
  snprintf(prefix, sizeof prefix, " %s returned", call);
  DumpSsfError(f, prefix, r, pSsfLib);
  const SigRcpSsfInformation* first = signers ? signers->ptrSigRcp : nullptr;
  if (first == nullptr) {
    DPTRC_ERR(f, module, " %s returned null for SignerList.\n", call);
    return nullptr;
  }
  DumpSsfError(f, " SSF LIB returned", static_cast<int32_t>(first->uResult), nullptr);
  return first;
}
