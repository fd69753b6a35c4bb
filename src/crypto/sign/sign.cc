// SsfSignEx and SsfSign: output clearing, argument and name checks, the
// format's own signing, the optional outputs and one summary trace line
// per call.
#include <string.h>
#include <time.h>

#include <new>

#include "crypto/ssf/records.h"
#include "crypto/base/digest.h"
#include "crypto/frame/frame.h"
#include "crypto/sign/signint.h"
#include "crypto/ssf/ssfapi.h"

namespace qorcr {
namespace {

struct Args {
  const char* format;
  SsfCharlen formatL;
  const char* hashalg;
  SsfCharlen hashalgL;
  unsigned char inc_certs;
  unsigned char detached;
  const unsigned char* input;
  SsfOctetlen inputL;
  SigRcpSsfInformationList signers;
  const char* chain;
  SsfCharlen chainL;
};

// "DFAULT" is an old spelling that callers still send.
bool is_default_digest(const char* s, SsfCharlen len) {
  return s == nullptr || len <= 0 || SsfTextEquals(s, len, "DEFAULT") || SsfTextEquals(s, len, "DFAULT");
}

void clear(SsfOctetstring* p, SsfOctetlen* l) {
  if (p) *p = nullptr;
  if (l) *l = 0;
}

int32_t run(const Args& a, SignCall* c, const SignExtras& x) {
  // A failed call leaves no output behind and no record marked as processed.
  clear(x.chain, x.chainL);
  clear(x.name, x.nameL);
  clear(x.key_id, x.key_idL);
  clear(c->out, c->outL);
  for (SigRcpSsfInformationListStruct* n = a.signers; n != nullptr; n = n->ptrNextSigRcp)
    if (n->ptrSigRcp != nullptr) n->ptrSigRcp->uResult = SSF_API_UNDEFINED_RESULT;
  if (c->out == nullptr || c->outL == nullptr) return c->reason = "no output", SSF_API_INVALID_FUNCARGS;
  // Nothing to sign, or nobody to sign it, is refused before any name is looked at.
  if (a.input == nullptr || a.inputL <= 0) return SSF_API_NODATA;
  if (a.signers == nullptr) return c->reason = "no signer", SSF_API_SIGNER_ERRORS;
  c->input.p = a.input;
  c->input.n = static_cast<size_t>(a.inputL);
  c->signers = a.signers;
  c->inc_certs = a.inc_certs == 1;
  c->detached = a.detached == 1;
  // Format, digest and chain format must be known names; the time is taken once.
  if (!SsfLookupFormat(a.format, a.formatL, &c->format)) return SSF_API_INVALID_FORMAT;
  if (c->format.number == SSF_FORMAT_PKCS7 && is_default_digest(a.hashalg, a.hashalgL)) {
    c->default_digest = true;
  } else {
    if (a.hashalg == nullptr || a.hashalgL <= 0) return c->reason = "no digest", SSF_API_INVALID_MDALG;
    const int32_t drc = DigestLookup(a.hashalg, a.hashalgL, &c->digest);
    if (drc == SSF_API_INSECURE_MDALG) SsfLookupDigest(a.hashalg, a.hashalgL, &c->digest);
    if (drc != SSF_API_OK) return drc;
  }
  if (!SsfLookupChainFormat(a.chain, a.chainL, &c->chain)) return SSF_API_INVALID_FORMAT;
  c->now = time(nullptr);
  // Each format signs in its own way.
  Signer first;
  std::vector<Signer> signers;
  int32_t rc = SSF_API_INVALID_FORMAT;
  switch (SignatureKindOf(c->format.number)) {
    case SignatureKind::kPkcs7:
      rc = SignPkcs7(c, &signers);
      if (!signers.empty()) first = signers.front();
      break;
    case SignatureKind::kRaw:
      rc = SignRaw(c, &first);
      break;
    case SignatureKind::kNone:
      c->reason = "format not available for signing";
      ErrorPush(rc, c->func, c->reason);
      return rc;
  }
  if (rc != SSF_API_OK || !first.ready) return rc;
  rc = SignerOutputs(*c, first, x);
  if (rc != SSF_API_OK) {
    c->reason = "optional outputs cannot be built";
    OctetsFree(c->out, c->outL);
  }
  return rc;
}

int32_t sign(const Args& a, const SignExtras& x, SsfOctetstring* out, SsfOctetlen* outL) {
  SignCall c;
  c.format.number = SSF_FORMAT_UNKNOWN;
  c.chain = SSF_CHAIN_UNKNOWN;
  c.out = out;
  c.outL = outL;
  int32_t rc = SSF_API_NOMEMORY;
  try {
    rc = run(a, &c, x);
  } catch (const std::bad_alloc&) {
    c.reason = "out of memory";
  }
  if (rc != SSF_API_OK) {
    // No output outlives a failure, however late it came.
    OctetsFree(out, outL);
    OctetsFree(x.chain, x.chainL);
    OctetsFree(x.name, x.nameL);
    OctetsFree(x.key_id, x.key_idL);
  }
  OpenSslErrorsDrop();
  TraceCallSummary(c.func, c.format, c.default_digest ? "DEFAULT" : SsfDigestName(c.digest), c.chain,
                   rc, c.reason);
  return rc;
}

}  // namespace
}  // namespace qorcr

using namespace qorcr;

extern "C" {

int32_t SsfSignEx(const char* strFormat, SsfCharlen strFormatL, const char* strHashalg,
                  SsfCharlen strHashalgL, unsigned char bIncCerts, unsigned char bDetached,
                  const unsigned char* ostrInputData, SsfOctetlen ostrInputDataL,
                  SigRcpSsfInformationList signerList, const char* strChainFormat,
                  SsfCharlen strChainFormatL, SsfOctetstring* ostrCertChain,
                  SsfOctetlen* ostrCertChainL, SsfOctetstring* ostrSignerName,
                  SsfOctetlen* ostrSignerNameL, SsfOctetstring* ostrSignerKeyId,
                  SsfOctetlen* ostrSignerKeyIdL, SsfOctetstring* ostrSignedData,
                  SsfOctetlen* ostrSignedDataL) {
  SsfEntry entry("SsfSignEx");
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    const Args a{strFormat,     strFormatL,     strHashalg, strHashalgL,    bIncCerts, bDetached,
                 ostrInputData, ostrInputDataL, signerList, strChainFormat, strChainFormatL};
    const SignExtras x{ostrCertChain,  ostrCertChainL,  ostrSignerName,
                       ostrSignerNameL, ostrSignerKeyId, ostrSignerKeyIdL};
    return sign(a, x, ostrSignedData, ostrSignedDataL);
  })
}

int32_t SsfSign(const char* strFormat, SsfCharlen strFormatL, const char* strHashalg,
                SsfCharlen strHashalgL, unsigned char bIncCerts, unsigned char bDetached,
                const unsigned char* ostrInputData, SsfOctetlen ostrInputDataL,
                SigRcpSsfInformationList signerList, SsfOctetstring* ostrSignedData,
                SsfOctetlen* ostrSignedDataL) {
  SsfEntry entry("SsfSign");
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    const Args a{strFormat,     strFormatL,     strHashalg, strHashalgL, bIncCerts, bDetached,
                 ostrInputData, ostrInputDataL, signerList, nullptr,     0};
    return sign(a, SignExtras{}, ostrSignedData, ostrSignedDataL);
  })
}

}  // extern "C"
