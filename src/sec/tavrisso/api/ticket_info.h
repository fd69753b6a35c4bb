// Writing a verified ticket into the caller's TICKET_INFO, and clearing it
// after a failure.
#pragma once

#include <stdint.h>

#include "qorjwt.h"
#include "sec/tavrisso/api/state.h"
#include "sec/tavrisso/engine/context.h"

// One evaluation: the caller's record, its usable size and the verified
// output.
struct TicketEval {
  TICKET_INFO* info;
  uint32_t size;
  bool want_assertion;
  char codepage[kCodepageSize];
  UnwrapOutContext out;
  int64_t remaining;
};

// After a successful verification: lifetime, recipient, the texts, times and
// certificate, in that order. 0 or the first failure.
int32_t TavriFillTicketInfo(TicketEval& e, const char* pMySysId, const char* pMyClient,
                            unsigned char* pAsn1Certificate, int32_t* pIntCertificateL);

// After a failure, the first character of every text and the times are
// cleared; lengths keep what was stored (the needed length after 3 or 6).
void TavriClearTicketInfo(const TicketEval& e);
