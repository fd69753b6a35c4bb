// SsfEncode and SsfDecode: the ContentInfo of type data (RFC 5652 4)
// around signed content.
#include <openssl/objects.h>

#include "base/bytes/reader.h"
#include "crypto/frame/frame.h"
#include "crypto/sig/sigint.h"
#include "crypto/ssf/ssfapi.h"

namespace qorcr {
namespace {

bool pkcs7_format(const char* name, SsfCharlen len) {
  SsfFormatInfo f{};
  return SsfLookupFormat(name, len, &f) &&
         (f.number == SSF_FORMAT_PKCS7 || f.number == SSF_FORMAT_PKCS7_TSTAMP);
}

int32_t encode(const char* func, const char* format, SsfCharlen formatL, const unsigned char* in,
               SsfOctetlen inL, SsfOctetstring* out, SsfOctetlen* outL) {
  if (out == nullptr || outL == nullptr) return SSF_API_INVALID_FUNCARGS;
  *out = nullptr;
  *outL = 0;
  if (in == nullptr || inL <= 0) return SSF_API_NODATA;
  if (!pkcs7_format(format, formatL)) return SSF_API_INVALID_FORMAT;
  SslPtr<BIO> bio(BIO_new_mem_buf(in, inL));
  SslPtr<CMS_ContentInfo> ci(bio ? CMS_data_create(bio.get(), CMS_BINARY) : nullptr);
  if (!ci) {
    ErrorPushOpenSsl(SSF_API_UNKNOWN_SECTK_ERROR, func, "ContentInfo cannot be built");
    return SSF_API_UNKNOWN_SECTK_ERROR;
  }
  unsigned char* der = nullptr;
  const int n = i2d_CMS_ContentInfo(ci.get(), &der);
  SslBuf<unsigned char> owned(der);
  if (n <= 0) {
    ErrorPushOpenSsl(SSF_API_ENCODE_FAILED, func, "ContentInfo cannot be encoded");
    return SSF_API_ENCODE_FAILED;
  }
  return DupOut(der, static_cast<size_t>(n), out, outL) ? SSF_API_OK : SSF_API_NOMEMORY;
}

int32_t decode(const char* func, const char* format, SsfCharlen formatL, const unsigned char* in,
               SsfOctetlen inL, SsfOctetstring* out, SsfOctetlen* outL) {
  if (out == nullptr || outL == nullptr) return SSF_API_INVALID_FUNCARGS;
  *out = nullptr;
  *outL = 0;
  if (in == nullptr || inL <= 0) return SSF_API_NODATA;
  if (!pkcs7_format(format, formatL)) return SSF_API_INVALID_FORMAT;
  SslPtr<CMS_ContentInfo> ci;
  if (DecodeContentInfo(Bytes{in, static_cast<size_t>(inL)}, &ci) != SSF_API_OK) {
    ErrorPushOpenSsl(SSF_API_DECODE_FAILED, func, "not a ContentInfo");
    return SSF_API_DECODE_FAILED;
  }
  Bytes content;
  if (OBJ_obj2nid(CMS_get0_type(ci.get())) != NID_pkcs7_data) return SSF_API_INVALID_FORMAT;
  if (!DataContent(ci.get(), &content)) return SSF_API_DECODE_FAILED;
  return DupOut(content.p, content.n, out, outL) ? SSF_API_OK : SSF_API_NOMEMORY;
}

}  // namespace

int32_t DecodeContentInfo(Bytes der, SslPtr<CMS_ContentInfo>* out) {
  if (der.empty() || der.n > static_cast<size_t>(INT32_MAX)) return SSF_API_DECODE_FAILED;
  ByteReader r(der.p, der.n);
  const unsigned char* p = r.data();
  SslPtr<CMS_ContentInfo> ci(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.n)));
  if (!ci || !r.skip(static_cast<size_t>(p - der.p)) || !r.rest_is_zero()) return SSF_API_DECODE_FAILED;
  *out = std::move(ci);
  return SSF_API_OK;
}

bool DataContent(CMS_ContentInfo* ci, Bytes* out) {
  if (OBJ_obj2nid(CMS_get0_type(ci)) != NID_pkcs7_data) return false;
  ASN1_OCTET_STRING** pos = CMS_get0_content(ci);
  if (pos == nullptr || *pos == nullptr) return false;
  out->p = ASN1_STRING_get0_data(*pos);
  out->n = static_cast<size_t>(ASN1_STRING_length(*pos));
  return true;
}

}  // namespace qorcr

using namespace qorcr;

extern "C" {

int32_t SsfEncode(const char* strFormat, SsfCharlen strFormatL, const unsigned char* ostrInputData,
                  SsfOctetlen ostrInputDataL, SsfOctetstring* ostrEncodedData,
                  SsfOctetlen* ostrEncodedDataL) {
  SsfEntry entry("SsfEncode");
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    const int32_t rc = encode("SsfEncode", strFormat, strFormatL, ostrInputData, ostrInputDataL,
                              ostrEncodedData, ostrEncodedDataL);
    OpenSslErrorsDrop();
    return rc;
  })
}

int32_t SsfDecode(const char* strFormat, SsfCharlen strFormatL,
                  const unsigned char* ostrEncodedData, SsfOctetlen ostrEncodedDataL,
                  SsfOctetstring* ostrOutputData, SsfOctetlen* ostrOutputDataL) {
  SsfEntry entry("SsfDecode");
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    const int32_t rc = decode("SsfDecode", strFormat, strFormatL, ostrEncodedData,
                              ostrEncodedDataL, ostrOutputData, ostrOutputDataL);
    OpenSslErrorsDrop();
    return rc;
  })
}

}  // extern "C"
