#include "sec/tavrisso/ssf/cert_attribute.h"

#include "sec/tavrisso/trace.h"

namespace {
constexpr int32_t kInvalidParameter = 5;
constexpr int32_t kMissingOperation = 13;
constexpr int32_t kNotACertificate = 17;
}  // namespace

int32_t CertAttributeText(SsfLib* lib, const char* module, const unsigned char* der,
                          int32_t derL, const char* attr, int32_t attrL, SsfOctetstring* text,
                          SsfOctetlen* textL, bool* parse_failed) {
  *text = nullptr;
  *textL = 0;
  *parse_failed = false;
  if (lib == nullptr) {
    DPTRC_ERR(tavriTf.load(), module, "Invalid parameter.\n");
    return kInvalidParameter;
  }
  if (!lib->bSsfCertfromASN1 || lib->fp_SsfCertfromASN1 == nullptr) {
    DPTRC_ERR(tavriTf.load(), module, "SsfCertfromASN1 is NULL.\n");
    return kMissingOperation;
  }
  SsfCertHandle cert = nullptr;
  if (lib->fp_SsfCertfromASN1(der, derL, &cert) != SSF_API_OK) {
    DPTRC_ERR(tavriTf.load(), module,
              "Certificate couldn't be converted into internal structure.\n");
    return kNotACertificate;
  }
  int32_t rc = SSF_API_OK;
  if (!lib->bSsfParseCertificate || lib->fp_SsfParseCertificate == nullptr) {
    DPTRC_ERR(tavriTf.load(), module, "SsfParseCertificate is NULL.\n");
    rc = kMissingOperation;
  } else if (lib->fp_SsfParseCertificate(cert, attr, attrL, text, textL) != SSF_API_OK) {
    SsfLibDELSsfOctetstring(lib, text, textL);
    *parse_failed = true;
    rc = kNotACertificate;
  }
  if (lib->bSsfFreeCertificate && lib->fp_SsfFreeCertificate != nullptr) {
    lib->fp_SsfFreeCertificate(&cert);
  } else {
    DPTRC_ERR(tavriTf.load(), module, "SsfFreeCertificate is NULL.\n");
  }
  return rc;
}
