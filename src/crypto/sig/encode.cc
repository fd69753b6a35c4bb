// SsfEncode and SsfDecode: the ContentInfo of type data (RFC 5652 4)
// around signed content.
#include <openssl/err.h>

#include "base/bytes/reader.h"
#include "crypto/frame/frame.h"
#include "crypto/sig/signeddata.h"
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
  std::vector<unsigned char> storage;
  ContentInfoView ci;
  if (!ReadContentInfoAnyForm(Bytes{in, static_cast<size_t>(inL)}, &storage, &ci)) {
    ErrorPushOpenSsl(SSF_API_DECODE_FAILED, func, "not a ContentInfo");
    return SSF_API_DECODE_FAILED;
  }
  Bytes content;
  if (!ReadDataContent(ci, &content))
    return IsDataType(ci) ? SSF_API_DECODE_FAILED : SSF_API_INVALID_FORMAT;
  return DupOut(content.p, content.n, out, outL) ? SSF_API_OK : SSF_API_NOMEMORY;
}

// The frame of both services: lazy start, no exception out of the call, and
// OpenSSL's queue left empty.
int32_t service(const char* func, decltype(&encode) body, const char* format, SsfCharlen formatL,
                const unsigned char* in, SsfOctetlen inL, SsfOctetstring* out, SsfOctetlen* outL) {
  SsfEntry entry(func);
  if (!entry.ok()) return -1;
  QORCR_NOEXCEPT_BODY(SSF_API_NOMEMORY, {
    const int32_t rc = body(func, format, formatL, in, inL, out, outL);
    OpenSslErrorsDrop();
    return rc;
  })
}

}  // namespace

bool ReadContentInfoAnyForm(Bytes in, std::vector<unsigned char>* storage, ContentInfoView* out) {
  if (in.empty() || in.n > static_cast<size_t>(INT32_MAX)) return false;
  if (ReadContentInfo(in, out)) return true;
  ByteReader r(in.p, in.n);
  const unsigned char* p = r.data();
  SslPtr<CMS_ContentInfo> ci(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(in.n)));
  if (!ci || !r.skip(static_cast<size_t>(p - in.p)) || !r.rest_is_zero()) {
    OpenSslErrorsDrop();
    return false;
  }
  if (!I2dBytes([&](unsigned char** p) { return i2d_CMS_ContentInfo(ci.get(), p); }, storage))
    return false;
  return ReadContentInfo(Bytes{storage->data(), storage->size()}, out);
}

}  // namespace qorcr

using namespace qorcr;

extern "C" {

int32_t SsfEncode(const char* strFormat, SsfCharlen strFormatL, const unsigned char* ostrInputData,
                  SsfOctetlen ostrInputDataL, SsfOctetstring* ostrEncodedData,
                  SsfOctetlen* ostrEncodedDataL) {
  return service("SsfEncode", encode, strFormat, strFormatL, ostrInputData, ostrInputDataL,
                 ostrEncodedData, ostrEncodedDataL);
}

int32_t SsfDecode(const char* strFormat, SsfCharlen strFormatL,
                  const unsigned char* ostrEncodedData, SsfOctetlen ostrEncodedDataL,
                  SsfOctetstring* ostrOutputData, SsfOctetlen* ostrOutputDataL) {
  return service("SsfDecode", decode, strFormat, strFormatL, ostrEncodedData, ostrEncodedDataL,
                 ostrOutputData, ostrOutputDataL);
}

}  // extern "C"
