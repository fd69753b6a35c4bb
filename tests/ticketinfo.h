// A TICKET_INFO with every output wired to a buffer of its own, for the
// tests, fuzz targets, benchmarks and the soak (public header only).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <time.h>

#include <initializer_list>

#include "qorjwt.h"

namespace qortest {

template <int32_t kTextCap, size_t kCertCap>
struct BufferedTicketInfo {
  static constexpr int32_t kCap = kTextCap;
  char user[kCap], sys[kCap], cli[kCap], lang[kCap], prt[kCap], auth[kCap];
  int32_t userL = kCap, sysL = kCap, cliL = kCap, langL = kCap, prtL = kCap, authL = kCap;
  unsigned char cert[kCertCap];
  uint32_t certL = kCertCap;
  time_t cre = -1, val = -1;
  TICKET_INFO ti;

  BufferedTicketInfo() {
    memset(&ti, 0, sizeof ti);
    ti.struct_size = sizeof ti;
    ti.pQORUser = user, ti.pIntQORUserL = &userL;
    ti.pSysID = sys, ti.pIntSysIDL = &sysL;
    ti.pQORClient = cli, ti.pIntQORClientL = &cliL;
    ti.pQORLangu = lang, ti.pIntQORLanguL = &langL;
    ti.pPrtUser = prt, ti.pIntPrtUserL = &prtL;
    ti.pAuthScheme = auth, ti.pIntAuthSchemeL = &authL;
    ti.pAsn1Certificate = cert, ti.pIntAsn1CertificateL = &certL;
    ti.ptmCreTime = &cre, ti.ptmValidity = &val;
  }
  BufferedTicketInfo(const BufferedTicketInfo&) = delete;
  BufferedTicketInfo& operator=(const BufferedTicketInfo&) = delete;

  // Every returned text length lies within its buffer.
  bool LengthsWithinBuffers() const {
    for (int32_t n : {userL, sysL, cliL, langL, prtL, authL})
      if (n < 0 || n > kCap) return false;
    return true;
  }
};

}  // namespace qortest
