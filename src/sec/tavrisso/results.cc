// Meanings of the ticket library's results and the split of a combined one.
#include "sec/tavrisso/results.h"

#include "crypto/ssf/ssfapi.h"

namespace {

// The engine codes that stand in the low half of a combined result.
bool is_engine_low_half(int32_t low) {
  return low == kRcInvalid || low == kRcInternal || low == kRcNoSignerEntry;
}

const char* engine_low_half_name(int32_t low) {
  switch (low) {
    case kRcInvalid: return "signing failed";
    case kRcInternal: return "content encoding failed";
    case kRcNoSignerEntry: return "no signer entry";
    default: return nullptr;
  }
}

}  // namespace

const char* TavriResultMeaning(int32_t rc) {
  switch (rc) {
    case kRcOk: return "success";
    case kRcNoUser: return "the ticket yields no user";
    case kRcBufferTooSmall: return "a buffer is too small";
    case kRcExpired: return "the ticket has expired";
    case kRcInvalidTicket: return "invalid ticket or token";
    case kRcUserBufferTooSmall: return "the user buffer is too small";
    case kRcInvalid: return "invalid argument, ticket too long or library not initialised";
    case kRcNoMemory: return "no memory";
    case kRcSsfFunctionMissing: return "the crypto library lacks an operation";
    case kRcInternal: return "lock not available or content encoding failed";
    case kRcNullArgument: return "internal null argument";
    case kRcNoCreationTime: return "no creation time, system ID or client in the ticket";
    case kRcNoSignerCert: return "signature verified but no signer certificate returned";
    case kRcNoSignerEntry: return "signature check returned no signer";
    case kRcRecipientMissing:
      return "recipient information or assertion flags missing or inconsistent";
    case kRcRecipientMismatch: return "the ticket is addressed to another system or client";
    case kRcBase64Decode: return "the ticket text is not valid Base64";
    case kRcBase64Encode: return "Base64 encoding of the ticket failed";
  }
  return "signature check failed";
}

TavriResultParts TavriSplitResult(int32_t rc) {
  const uint32_t u = static_cast<uint32_t>(rc);
  TavriResultParts p;
  p.standard = static_cast<int32_t>(u & 0xFFFFu);
  p.ssf = static_cast<int32_t>(u >> 16);
  p.standard_name = p.ssf != 0 && is_engine_low_half(p.standard)
                        ? engine_low_half_name(p.standard)
                        : SsfRcKnownName(p.standard);
  p.ssf_name = SsfRcKnownName(p.ssf);
  return p;
}

bool TavriIsSsfResult(int32_t rc) {
  return rc > 0xFFFF ||
         ((rc & 0xFFFF) > kRcRecipientMismatch && rc != kRcBase64Decode && rc != kRcBase64Encode);
}
