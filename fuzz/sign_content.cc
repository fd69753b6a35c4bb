// Reaches SsfSign "PKCS7" (the input ContentInfo reader: data and other
// content types, empty content, zero padding), the signer preparation with a
// memory key store and the SignedData building, detached or with content.
// The first byte picks detached / certificates; the rest is the ContentInfo.
// Invariant: the result is 0 or 12; a signature made decodes as CMS; the
// signer record says 0 then; OpenSSL's error queue is left empty.
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "crypto/ssf/ssfapi.h"

namespace {

// A memory key store with an ECDSA key and its self-signed certificate.
struct Setup {
  char* store = nullptr;
  Setup() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 86400L * 365);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("fuzz"), -1, -1, 0);
    X509_set_issuer_name(cert, X509_get_subject_name(cert));
    X509_set_pubkey(cert, key);
    X509_sign(cert, key, EVP_sha256());
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert);
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* pem = nullptr;
    const long n = BIO_get_mem_data(bio, &pem);
    qor_create_memory_PSE(&store);
    qor_load_memory_PSE(store, reinterpret_cast<const unsigned char*>(pem), static_cast<int32_t>(n));
    BIO_free(bio);
    X509_free(cert);
    EVP_PKEY_free(key);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size < 1 || size > 8192) return 0;
  SigRcpSsfInformation* rec = nullptr;
  SigRcpSsfInformationList list = nullptr;
  SsfNEWSigRcpSsfInfo("<implicit>", 10, nullptr, 0, setup.store, static_cast<int32_t>(strlen(setup.store)),
                      nullptr, 0, 0, &rec);
  SsfINSSigRcpSsfInfo(rec, &list);
  SsfOctetstring out = nullptr;
  SsfOctetlen outL = 0;
  const int32_t rc = SsfSign("PKCS7", 5, "SHA256", 6, (data[0] & 2) ? 1 : 0, (data[0] & 1) ? 1 : 0,
                             data + 1, static_cast<int32_t>(size - 1), list, &out, &outL);
  if ((rc != 0 && rc != SSF_API_DECODE_FAILED && rc != SSF_API_NODATA) || ERR_peek_error() != 0) abort();
  if (rc == 0) {
    const unsigned char* p = out;
    CMS_ContentInfo* cms = d2i_CMS_ContentInfo(nullptr, &p, outL);
    if (cms == nullptr || list->ptrSigRcp->uResult != 0) abort();
    CMS_ContentInfo_free(cms);
  }
  SsfDELSsfOctetstring(&out, &outL);
  SsfDELSigRcpSsfInfoList(&list);
  return 0;
}
