// A bounded DER view of ContentInfo and SignedData (RFC 5652 3, 5): slices
// of the caller's bytes, nothing decoded that the verification does not
// need, so certificates the key store already holds are never parsed again.
#pragma once

#include <vector>

#include "crypto/sig/sigint.h"

namespace qorcr {

struct SignerInfoView {
  Bytes issuer;        // issuerAndSerialNumber: the issuer Name element
  Bytes serial;        // ... and the serial number INTEGER element
  Bytes key_id;        // subjectKeyIdentifier contents (the other choice)
  Bytes digest_alg;    // AlgorithmIdentifier element
  Bytes signed_attrs;  // the [0] element, empty when absent
  Bytes sig_alg;       // AlgorithmIdentifier element
  Bytes signature;     // OCTET STRING contents
};

struct SignedDataView {
  Bytes content_type;  // eContentType OID contents
  bool has_content = false;
  Bytes content;             // eContent OCTET STRING contents
  std::vector<Bytes> certs;  // certificate elements, in message order
  std::vector<SignerInfoView> signers;
};

// What a ContentInfo holds: its content type and, for type data, the octets.
struct ContentInfoView {
  Bytes type;     // OID contents
  Bytes content;  // the [0] contents
};

// DER ContentInfo with zero bytes allowed after it. False when it cannot be read.
bool ReadContentInfo(Bytes der, ContentInfoView* out);
// The same for BER as well: what the bounded reader refuses is decoded by
// OpenSSL and re-encoded as DER into `storage`, then read again.
bool ReadContentInfoAnyForm(Bytes in, std::vector<unsigned char>* storage, ContentInfoView* out);
// The octets of a ContentInfo of type data; false for another type.
bool ReadDataContent(const ContentInfoView& ci, Bytes* out);
bool IsDataType(const ContentInfoView& ci);
bool IsSignedData(const ContentInfoView& ci);
bool ReadSignedData(const ContentInfoView& ci, SignedDataView* out);

// The issuer and serial number elements of a DER certificate.
bool ReadCertIssuerSerial(Bytes cert, Bytes* issuer, Bytes* serial);

// The attributes of a SignerInfo that verification looks at; each one
// single-valued (RFC 5652 11). Empty slices for absent attributes.
struct SignedAttrsView {
  Bytes content_type;    // OID contents
  Bytes message_digest;  // OCTET STRING contents
  Bytes signing_time;    // the UTCTime or GeneralizedTime element
};
bool ReadSignedAttrs(Bytes signed_attrs, SignedAttrsView* out);

bool SameBytes(Bytes a, Bytes b);

}  // namespace qorcr
