// Text forms of certificate parts, shared by certificate parsing and the
// signature services so that every name and time is written one way.
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

}  // namespace qorcr
