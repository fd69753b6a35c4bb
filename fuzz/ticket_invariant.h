// The start and the invariant shared by the targets that evaluate whole
// tickets: the library with the issuer certificate as its loaded key, and
// what one evaluation must return.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "qorjwt.h"
#include "ticketinfo.h"

namespace fuzzticket {

// Caller buffers of one evaluation: small texts, room for the issuer certificate.
using Outputs = qortest::BufferedTicketInfo<32, 1024>;

// Initialises the library with `issuer` (DER) as the ticket key; aborts when either fails.
inline void InitWithIssuer(const unsigned char* issuer, size_t size) {
  if (TavriInitialize(nullptr) != 0 || TavriLoadTicketKey(issuer, static_cast<int32_t>(size), nullptr, 0, 1) != 0)
    abort();
}

// A success returns lengths within the buffers and the issuer certificate; a
// failure marks the ticket type as an error.
inline void CheckEvaluation(int32_t rc, const Outputs& out, const unsigned char* issuer, size_t size) {
  if (rc == 0) {
    if (!out.LengthsWithinBuffers()) abort();
    if (out.certL != size || memcmp(out.cert, issuer, size) != 0) abort();
  } else if (out.ti.tTicketType != ZOVEDADU2_ERROR && rc != 9) {
    abort();
  }
}

}  // namespace fuzzticket
