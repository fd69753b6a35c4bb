// Text forms of certificate parts, and the one reader of a DER certificate,
// shared by certificate parsing, import and the signature services so that
// every certificate is read and every name and time written one way.
#pragma once

#include <time.h>

#include <string>

#include "crypto/base/sslptr.h"

namespace qorcr {

// The library's default distinguished-name form: the string form of
// RFC 4514 (most specific RDN first, "," between RDNs, "+" inside a
// multi-valued RDN, RFC 4514 escaping), UTF-8 kept as it is. False when the
// name cannot be written.
bool NameText(const X509_NAME* name, std::string* out);

// Serial number bytes (magnitude, "-" first when negative) as upper-case
// hexadecimal, with `sep` between byte pairs ("" for none).
bool SerialHex(const ASN1_INTEGER* serial, const char* sep, std::string* out);

// Bytes as upper-case hexadecimal pairs separated by ":".
std::string HexPairs(const unsigned char* p, size_t n);

// An ASN.1 time as seconds since 1970 and in the readable form
// "Mon DD HH:MM:SS YYYY GMT" (day padded with a blank).
bool TimeValue(const ASN1_TIME* t, time_t* out);
bool TimeText(const ASN1_TIME* t, std::string* out);

// One DER certificate from the start of `der`; `*used` (when given) is set
// to its length. Null when the bytes are not a certificate, or not DER: the
// crypto library's decoder takes some encodings that it writes back
// differently (a constructed end-of-contents as parameters, say), sometimes
// as bytes it then refuses, and a fingerprint would not be that of the bytes.
SslPtr<X509> CertFromDer(const unsigned char* der, size_t len, size_t* used = nullptr);

}  // namespace qorcr
