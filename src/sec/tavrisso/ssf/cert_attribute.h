// One text attribute of a DER certificate through the SSF table: the part
// that the certificate-parsing export and the signer-certificate dump of
// ticket verification share.
#pragma once

#include <stdint.h>

#include "sec/tavrisso/ssf/table.h"

// Converts the certificate (SsfCertfromASN1), asks SsfParseCertificate for
// `attr` and frees the handle. Returns 0 with the text in *text/*textL
// (release with SsfLibDELSsfOctetstring), 5 without table, 13 when the table
// lacks an operation, 17 when the bytes are no certificate; those failures
// are traced under `module`. When the attribute cannot be obtained the
// result is 17 with *parse_failed set and nothing traced: the caller
// words that message.
int32_t CertAttributeText(SsfLib* lib, const char* module, const unsigned char* der,
                          int32_t derL, const char* attr, int32_t attrL, SsfOctetstring* text,
                          SsfOctetlen* textL, bool* parse_failed);
