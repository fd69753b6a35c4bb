// Signer preparation: the record's checks, its key store, the wanted signer
// name and the store's signing credential, with the traces that tell an
// operator which certificates a store holds when none fits.
#include <string.h>

#include <openssl/err.h>
#include <openssl/objects.h>

#include "crypto/base/digest.h"
#include "crypto/frame/frame.h"
#include "crypto/sign/signint.h"

namespace qorcr {
namespace {

constexpr char kUnknownName[] = "<unkownName>";

bool is_implicit(const SigRcpSsfInformation& r) {
  const size_t n = strlen(kSsfImplicitSigner);
  return static_cast<size_t>(r.strSigRcpIdL) == n && memcmp(r.strSigRcpId, kSsfImplicitSigner, n) == 0;
}

bool has_signature_usage(X509* x) {
  if ((X509_get_extension_flags(x) & EXFLAG_KUSAGE) == 0) return true;
  return (X509_get_key_usage(x) & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION)) != 0;
}

const char* usage_text(X509* x) {
  if ((X509_get_extension_flags(x) & EXFLAG_KUSAGE) == 0) return "Without key usage";
  return has_signature_usage(x) ? "With signature key usage" : "Without signature key usage";
}

std::string subject_of(X509* x) {
  std::string s = NameOf(X509_get_subject_name(x));
  return s.empty() ? std::string(kUnknownName) : s;
}

// Tells which certificates the store holds, since none of them could sign.
void trace_not_found(const SignCall& c, const Signer& s, const std::string& wanted) {
  const auto& certs = s.pse->certs();
  if (certs.empty()) {
    Trace(kTrcError, c.func, "Didn't find any certificate in PSE '%s'", s.pse_name.c_str());
    return;
  }
  std::string list;
  for (const auto& x : certs) {
    list += "  Certificate: (";
    list += usage_text(x.get());
    list += ") " + subject_of(x.get()) + "\n";
  }
  if (!wanted.empty())
    Trace(kTrcError, c.func, "Didn't find the signer certificate of '%s' in PSE '%s', found only:\n%s",
          wanted.c_str(), s.pse_name.c_str(), list.c_str());
  else
    Trace(kTrcError, c.func, "Didn't find a signer certificate in PSE '%s', found only:\n%s",
          s.pse_name.c_str(), list.c_str());
}

void fail(SigRcpSsfInformation* rec, int32_t result) { rec->uResult = static_cast<uint32_t>(result); }

}  // namespace

int32_t PrepareSigner(const SignCall& c, SigRcpSsfInformation* rec, Signer* s) {
  s->rec = rec;
  // A signer record must name its signer.
  if (rec == nullptr || rec->strSigRcpId == nullptr || rec->strSigRcpIdL <= 0) {
    Trace(kTrcError, c.func, "checkSigRcp() failed");
    if (rec != nullptr) fail(rec, SSF_API_UNKNOWN_SIGNER);
    return SSF_API_OK;
  }
  if (rec->strSigRcpProfile == nullptr || rec->strSigRcpProfileL <= 0) {
    Trace(kTrcError, c.func, "no profile");
    fail(rec, SSF_API_UNKNOWN_PROFILE);
    return SSF_API_OK;
  }
  if (rec->strSigRcpPasswordL < 0 || (rec->strSigRcpPasswordL > 0 && rec->strSigRcpPassword == nullptr)) {
    Trace(kTrcError, c.func, "no password");
    fail(rec, SSF_API_INVALID_PASSWORD);
    return SSF_API_OK;
  }
  // The record's key store must open with its password.
  s->pse_name.assign(rec->strSigRcpProfile, static_cast<size_t>(rec->strSigRcpProfileL));
  const int32_t orc = PseOpen(rec->strSigRcpProfile, rec->strSigRcpProfileL,
                              reinterpret_cast<const char*>(rec->strSigRcpPassword),
                              rec->strSigRcpPasswordL, c.func, &s->pse);
  if (orc == SSF_API_NOMEMORY) return SSF_API_NOMEMORY;
  if (orc != SSF_API_OK) {
    fail(rec, orc);
    return SSF_API_OK;
  }
  // A signer other than the implicit one must be a distinguished name.
  std::string wanted;
  SslPtr<X509_NAME> dn;
  if (!is_implicit(*rec)) {
    wanted.assign(rec->strSigRcpId, static_cast<size_t>(rec->strSigRcpIdL));
    const int32_t nrc = ParseName(wanted, &dn);
    if (nrc == SSF_API_NOMEMORY) return SSF_API_NOMEMORY;
    if (nrc != SSF_API_OK) {
      ErrorPush(nrc, c.func, "signer id is not a distinguished name");
      fail(rec, SSF_API_UNKNOWN_SIGNER);
      return SSF_API_OK;
    }
  }
  // Only a certificate and key that may sign make a signer.
  X509* cert = s->pse->own_cert();
  EVP_PKEY* key = s->pse->private_key();
  bool usable = cert != nullptr && key != nullptr && has_signature_usage(cert);
  if (usable && SignatureNid(EVP_PKEY_get_base_id(key), SSF_DIGEST_SHA256) == NID_undef) {
    Trace(kTrcError, c.func, "No signature algorithm known for certificate in PSE '%s'", s->pse_name.c_str());
    usable = false;
  }
  if (usable) {
    const char* what = "";
    if (CertValidAt(cert, c.now, &what) != SSF_API_OK) {
      Trace(kTrcError, c.func, "Certificate in PSE '%s' expired", s->pse_name.c_str());
      ErrorPush(SSF_API_CERT_EXPIRED, c.func, what);
      fail(rec, SSF_API_CERT_EXPIRED);
      return SSF_API_OK;
    }
    if (dn && X509_NAME_cmp(dn.get(), X509_get_subject_name(cert)) != 0) {
      Trace(kTrcError, c.func,
            "Compare with signed id failed\n  Requested signer id      : %s\n  Name in certificate      : %s\n"
            "  PSE                      : %s\n",
            wanted.c_str(), subject_of(cert).c_str(), s->pse_name.c_str());
      usable = false;
    }
  }
  OpenSslErrorsDrop();
  if (!usable) {
    trace_not_found(c, *s, wanted);
    ErrorPush(SSF_API_UNKNOWN_SIGNER, c.func, "no suitable signer certificate in the key store");
    fail(rec, SSF_API_UNKNOWN_SIGNER);
    return SSF_API_OK;
  }
  s->cert = cert;
  s->key = key;
  s->ready = true;
  return SSF_API_OK;
}

const EVP_MD* SignerDigest(const SignCall& c, const Signer& s) {
  if (!c.default_digest) return DigestMd(c.digest);
  int nid = NID_undef;
  // Only the errors of this question are dropped: signing watches the queue.
  ERR_set_mark();
  // 2 means the key type insists on this digest.
  const EVP_MD* md = nullptr;
  if (EVP_PKEY_get_default_digest_nid(s.key, &nid) == 2) md = EVP_get_digestbynid(nid);
  ERR_pop_to_mark();
  return md != nullptr ? md : EVP_sha256();
}

}  // namespace qorcr
