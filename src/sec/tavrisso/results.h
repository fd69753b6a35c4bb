// Result codes of the ticket library: one table for the exports, the engine,
// the Java natives and the tool, one name per number. Codes the engine gives
// only in the low half of a combined result stand beside the common ones.
#pragma once

#include <stdint.h>

enum TavriResult : int32_t {
  kRcOk = 0,
  kRcNoUser = 1,               // the ticket yields no user
  kRcBufferTooSmall = 3,       // the length field holds the needed length
  kRcExpired = 4,
  kRcInvalidTicket = 5,        // malformed ticket or token; a certificate call without its arguments
  kRcUserBufferTooSmall = 6,
  kRcInvalid = 9,              // invalid argument or state; a signature that could not be made
  kRcNoMemory = 11,
  kRcSsfFunctionMissing = 13,  // the SSF table lacks an operation
  kRcInternal = 14,            // lock not available; content encoding or a crypto call failed
  kRcNullArgument = 15,
  kRcNoCreationTime = 16,      // also no system ID or client (TavriEvalLogonTicket)
  kRcNoSignerCert = 17,        // verified, but no signer certificate came back
  kRcNoSignerEntry = 20,       // low half only: the verification returned no signer entry
  kRcRecipientMissing = 23,
  kRcRecipientMismatch = 24,
  kRcBase64Decode = 1281,
  kRcBase64Encode = 1282,
};

// A verification or signing failure: engine or SSF code in the low half,
// the signer's SSF result in the high half.
constexpr int32_t TavriCombine(uint32_t high, uint32_t low) {
  return static_cast<int32_t>((high << 16) | (low & 0xFFFFu));
}

// What a caller reports of a result: the two halves ("standard error" and
// "ssf error") and, where known, their names. A name is null when the
// number is none of ours.
struct TavriResultParts {
  int32_t standard;
  int32_t ssf;
  const char* standard_name;
  const char* ssf_name;
};

// What a result means, in a few words for people. Any number the table
// does not hold is a combined result of the signature check.
const char* TavriResultMeaning(int32_t rc);

// Splits `rc` into its halves and names them. The low half of a combined
// result is an engine code (signing failed, content encoding failed, no
// signer entry) or the SSF result of the verification; the high half is
// always an SSF result.
TavriResultParts TavriSplitResult(int32_t rc);

// True when `rc` carries an SSF result in either half, so that naming the
// halves tells the caller more than the common meaning does.
bool TavriIsSsfResult(int32_t rc);
