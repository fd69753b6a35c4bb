// What a certificate must be before it takes part in a trust decision: a
// validity period written as strict DER time, and a public key that is not
// degenerate. Shared by the key store (once per load) and the verifier
// (for certificates a message carries).
#pragma once

#include "crypto/base/sslptr.h"

namespace qorcr {

// RFC 5280 4.1.2.5: UTCTime "YYMMDDHHMMSSZ" or GeneralizedTime
// "YYYYMMDDHHMMSSZ" naming a real calendar date. Offsets, fractions,
// missing seconds and month 13 are refused: a lenient reader would compare
// a notAfter that it cannot read as "not in the past".
bool TimeIsStrictDer(const ASN1_TIME* t);
// Both validity times of `x` are strict DER times.
bool CertTimesStrict(X509* x);

// Whether a key may verify anything: RSA with an odd public exponent from
// 3 to 2^32 and a modulus of at least 1024 bits; DSA and EC keys that pass
// the crypto library's parameter and public key checks (DSA g = 1 does
// not). A forged signature for a degenerate key needs no private key.
// kUnknown: the check ran out of memory.
enum class KeyStrength { kStrong, kWeak, kUnknown };
KeyStrength KeyCheck(EVP_PKEY* key);

// When the certificate names its key usages, one of them allows signing
// (digitalSignature or nonRepudiation); a TLS server certificate that may
// only encipher keys does not sign tickets.
bool CertMaySign(X509* x);

}  // namespace qorcr
