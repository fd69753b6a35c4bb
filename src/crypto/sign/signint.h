// Internals of signature creation shared by its files: the state of one
// SsfSignEx call, the prepared signers and the format paths.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include <string>
#include <vector>

#include "crypto/base/sslptr.h"
#include "crypto/pse/pse.h"
#include "crypto/sig/sigint.h"
#include "crypto/ssf/ssftypes.h"

namespace qorcr {

// One signer record after its preparation: the opened key store and the
// signing credential inside it.
struct Signer {
  SigRcpSsfInformation* rec = nullptr;  // the caller's record (uResult is ours)
  std::string pse_name;
  PseRef pse;
  X509* cert = nullptr;     // owned by `pse`
  EVP_PKEY* key = nullptr;  // owned by `pse`
  bool ready = false;
};

// One SsfSignEx call after its argument checks.
struct SignCall {
  const char* func = "SsfSignEx";
  SsfFormatInfo format{};
  bool default_digest = false;  // "PKCS7" with an empty, "DEFAULT" or "DFAULT" name
  SsfDigestNo digest = SSF_DIGEST_UNKNOWN;
  SsfChainFormatNo chain = SSF_CHAIN_NONE;
  bool inc_certs = false;
  bool detached = false;
  Bytes input;
  SigRcpSsfInformationList signers = nullptr;
  time_t now = 0;
  SsfOctetstring* out = nullptr;
  SsfOctetlen* outL = nullptr;
  const char* reason = "";  // short reason of the failure, for the summary trace
};

// Prepares one signer record: key store, signer name, credential. Sets
// `s->ready` or the record's uResult. Returns SSF_API_OK, or
// SSF_API_NOMEMORY when the call has to end.
int32_t PrepareSigner(const SignCall& c, SigRcpSsfInformation* rec, Signer* s);

// The digest a signer uses: the call's, or with a default digest the one
// its key insists on, else SHA-256.
const EVP_MD* SignerDigest(const SignCall& c, const Signer& s);

// The two format paths; each returns the call's SSF result. `signers`
// receives one entry per record in list order, `s` the first record's.
int32_t SignPkcs7(SignCall* c, std::vector<Signer>* signers);
int32_t SignRaw(SignCall* c, Signer* s);

// The optional outputs of a successful signature for the signer `s`.
struct SignExtras {
  SsfOctetstring* chain = nullptr;
  SsfOctetlen* chainL = nullptr;
  SsfOctetstring* name = nullptr;
  SsfOctetlen* nameL = nullptr;
  SsfOctetstring* key_id = nullptr;
  SsfOctetlen* key_idL = nullptr;
};
// SSF_API_OK, or 13 when one cannot be built (the others are released then).
int32_t SignerOutputs(const SignCall& c, const Signer& s, const SignExtras& x);

}  // namespace qorcr
