#include "results.h"

namespace qortool {

std::string ResultMeaning(int32_t rc) {
  switch (rc) {
    case 0: return "success";
    case 1: return "the ticket yields no user";
    case 3: return "a buffer is too small";
    case 4: return "the ticket has expired";
    case 5: return "invalid ticket or token";
    case 6: return "the user buffer is too small";
    case 9: return "invalid argument, ticket too long or library not initialised";
    case 11: return "no memory";
    case 14: return "lock not available or content encoding failed";
    case 15: return "internal null argument";
    case 16: return "no creation time, system ID or client in the ticket";
    case 17: return "signature verified but no signer certificate returned";
    case 23: return "recipient information or assertion flags missing or inconsistent";
    case 24: return "the ticket is addressed to another system or client";
    case 1281: return "the ticket text is not valid Base64";
    case 1282: return "Base64 encoding of the ticket failed";
    default: return "signature check failed";
  }
}

std::string SsfResultName(int32_t code) {
  switch (code) {
    case 0: return "SSF_API_OK";
    case 1: return "SSF_API_NOSECTK";
    case 2: return "SSF_API_INVALID_FORMAT";
    case 3: return "SSF_API_NODATA";
    case 4: return "SSF_API_NOMEMORY";
    case 5: return "SSF_API_SIGNER_ERRORS";
    case 7: return "SSF_API_UNKNOWN_PAB";
    case 8: return "SSF_API_INVALID_PAB_PASSWORD";
    case 10: return "SSF_API_INVALID_MDALG";
    case 11: return "SSF_API_ENCODE_FAILED";
    case 12: return "SSF_API_DECODE_FAILED";
    case 13: return "SSF_API_UNKNOWN_SECTK_ERROR";
    case 9: return "SSF_API_RECIPIENT_ERRORS";
    case 17: return "SSF_API_INVALID_FUNCARGS";
    case 18: return "SSF_API_INTERNAL_BUG";
    case 19: return "SSF_API_INSECURE_MDALG";
    case 20: return "SSF_API_CERT_EXPIRED";
    case 22: return "SSF_API_UNKNOWN_SIGNER";
    case 23: return "SSF_API_UNKNOWN_PROFILE";
    case 24: return "SSF_API_INVALID_PROFILE";
    case 25: return "SSF_API_INVALID_PASSWORD";
    case 26: return "SSF_API_NOCERTIFICATE";
    case 27: return "SSF_API_SIGNER_NOT_OK";
    case 28: return "SSF_API_UNDEFINED_RESULT";
    case 29: return "SSF_API_BAD_NAME";
    case 30: return "SSF_API_ALG_MISMATCH";
    case 256: return "SSF_API_ERROR_DECODING_PKCS7";
    case 257: return "SSF_API_ERROR_WRONG_PK";
    default: return "SSF result " + std::to_string(code);
  }
}

}  // namespace qortool
