// Key store files and certificates for the tool, with OpenSSL: PKCS#12
// key stores (a key with its self-signed certificate plus trusted
// certificates), certificate files in PEM or DER, and the signer fields of
// a detached PKCS#7 signature.
#pragma once

#include <string>
#include <vector>

namespace qortool {

using Bytes = std::vector<unsigned char>;

struct CertSummary {
  std::string subject, issuer, serial, not_before, not_after;
};

struct KeystoreEntries {
  bool has_key = false;
  std::string key_type;
  std::vector<CertSummary> own;      // the key's certificate (0 or 1)
  std::vector<CertSummary> trusted;  // trust anchors beside the own certificate
  std::vector<CertSummary> chain;    // only chain the own certificate to its CA, not trusted
};

// All of these return false with a one-line reason in *error.
bool ReadFileBytes(const std::string& path, Bytes* out, std::string* error);
bool WriteFileBytes(const std::string& path, const Bytes& data, std::string* error);
// A certificate file (PEM or DER) as DER.
bool CertFileToDer(const std::string& path, Bytes* der, std::string* error);
bool SummarizeCert(const Bytes& der, CertSummary* out, std::string* error);

// A new PKCS#12 with a fresh key ("rsa" 2048-bit or "ec" P-256) and a
// self-signed certificate for `subject` (e.g. "/CN=SYS/O=Example").
bool CreateKeystore(const std::string& key_type, const std::string& subject, int days,
                    const std::string& pin, Bytes* p12, std::string* error);
// What a key file holds, in words: "a certificate", "a private key", "a
// public key", "a PKCS#12 key store", "a PEM bundle with a private key",
// "a JWK Set", or "" when none of these is recognised.
std::string DescribeKeyFile(const Bytes& data);

// The old PBE ciphers (RC2, RC4, DES) a PKCS#12 image is encrypted with,
// those OpenSSL's default provider lacks ("RC2-40-CBC"); empty for a
// current image or bytes that are no PKCS#12.
std::string Pkcs12LegacyCiphers(const Bytes& p12_der);
bool ListKeystore(const Bytes& p12, const std::string& pin, KeystoreEntries* out, std::string* error);
// The key store with one more trusted certificate.
bool AddTrustedCert(const Bytes& p12, const std::string& pin, const Bytes& cert_der, Bytes* out,
                    std::string* error);

// Signer fields of a DER PKCS#7 signature: the certificates it carries,
// or at least the issuer and serial number its signer info names.
bool SignerOfSignature(const Bytes& pkcs7, std::vector<CertSummary>* certs, std::string* signer_issuer,
                       std::string* signer_serial, std::string* digest, std::string* error);

}  // namespace qortool
