// Code page conversion of ticket contents, driving the code page layer.
#include <string.h>

#include <new>
#include <vector>

#include "krn/rscp/rscp.h"
#include "sec/tavrisso/engine/content_codepage.h"
#include "sec/tavrisso/trace.h"

namespace {

constexpr char TRC_MODULE[] = "sec/tavrisso/contentconv";
constexpr uint32_t kSubstHash = 35;
// HRazuGetUTFEncodedContent: worst-case UTF-8 bytes per source character.
constexpr size_t kUtf8BytesPerChar = 6;

const char* CpText(const char* cp) { return cp != nullptr ? cp : ""; }

// Traces the layer's last error after a failed step.
void PrintLastError() { rscpep1_err_print1(tavriTf.load(), rscple_last_error()); }

// rscpCInit and the settings of the ticket engine; -1 with the failing step traced.
int32_t SetUpConverter(rscpCObj_t* conv, const char* toCP, const char* FromCP) {
  RSCP_RC rc = rscpCInit(conv, FromCP, toCP, miss_substitute, broken_like_miss, fill_never);
  const char* failed = nullptr;
  if (rc != RSCP_OK) {
    TAVRI_ERR("Error in rscpCInit rc = %d", rc);
    failed = "rscpCInit";
  } else if ((rc = rscpCSetSubstQOR(conv, kSubstHash)) != RSCP_OK) {
    TAVRI_ERR("Error in rscpCSetSubstQOR rc = %d", rc);
    failed = "rscpCSetSubstQOR";
  } else if ((rc = rscpCSetSubstU4(conv, 0)) != RSCP_OK) {
    TAVRI_ERR("Error in rscpCSetSubstU4 rc = %d", rc);
    failed = "rscpCSetSubstU4";
  } else if ((rc = rscpCSetFilter(conv, false)) != RSCP_OK) {
    TAVRI_ERR("Error in rscpCSetFilter rc = %d", rc);
    failed = "rscpCSetFilter";
  } else if ((rc = rscpCSetCtrlCodeCv(conv, CtrlCodeCv_illegal)) != RSCP_OK) {
    TAVRI_ERR("Error in rscpCSetCtrlCodeCv rc = %d", rc);
    failed = "rscpCSetCtrlCodeCv";
  }
  if (failed == nullptr) return 0;
  PrintLastError();
  return kConvSetupFailed;
}

// One converter for every field of a content list: set up and activated at
// the first field that needs it, used as it is for the later ones (each
// conversion ends with the converter back in its initial state), finished
// with the list. A failed step leaves nothing set up.
class ListConverter {
 public:
  ListConverter(const char* toCP, const char* FromCP) : to_cp_(toCP), from_cp_(FromCP) {}
  ~ListConverter() { reset(); }
  ListConverter(const ListConverter&) = delete;
  ListConverter& operator=(const ListConverter&) = delete;

  // As _ConvertCodepages: [From, FromEnd) into [to, toEnd), the character
  // count in *piNumConvertedChars; 0 or a kConv* result.
  int32_t convert(unsigned char* to, unsigned char* toEnd, const unsigned char* From,
                  const unsigned char* FromEnd, int16_t* piNumConvertedChars) {
    if (to == nullptr || toEnd < to || piNumConvertedChars == nullptr ||
        (From == nullptr) != (FromEnd == nullptr) || FromEnd < From)
      return kConvSetupFailed;
    if (!active_) {
      if (SetUpConverter(&conv_, to_cp_, from_cp_) != 0) {
        reset();
        return kConvSetupFailed;
      }
      const RSCP_RC rc = rscpCActivate(&conv_);
      if (rc != RSCP_OK) {
        TAVRI_ERR("Error in rscpCActivate rc = %d", rc);
        PrintLastError();
        reset();
        return kConvActivateFailed;
      }
      active_ = true;
    }
    unsigned char* out = to;
    const unsigned char* in = From;
    const RSCP_RC rc = rscpCConvert(&conv_, &out, toEnd, &in, FromEnd);
    if (rc != RSCP_OK) {
      TAVRI_ERR("Error in rscpCConvert rc = %d", rc);
      PrintLastError();
      reset();
      return kConvFailed;
    }
    *piNumConvertedChars = static_cast<int16_t>(out - to);
    return 0;
  }

 private:
  void reset() {
    rscpCFinish(&conv_);
    active_ = false;
  }

  rscpCObj_t conv_{};
  bool active_ = false;
  const char* to_cp_;
  const char* from_cp_;
};

// HRazuConvertContent with the list's converter.
int32_t convert_content(ListConverter* conv, PCookieContent pContent) {
  if (pContent == nullptr) return kRcInvalid;
  if (pContent->iContentLBytes == 0) return 0;
  int32_t rc = kConvFailed;
  if (pContent->iContentLBytes > 0 && pContent->iContentLBytes <= kContentMaxBytes) {
    unsigned char work[kContentMaxBytes];
    const size_t n = static_cast<size_t>(pContent->iContentLBytes);
    memcpy(work, pContent->ByteContent, n);
    memset(pContent->ByteContent, 0, sizeof pContent->ByteContent);
    // The field's end is the converter's output end: a longer result fails.
    rc = conv->convert(pContent->ByteContent, pContent->ByteContent + kContentMaxBytes, work, work + n,
                       &pContent->iContentLChars);
  }
  if (rc != 0) {
    // Nothing half-converted stays behind.
    memset(pContent->ByteContent, 0, sizeof pContent->ByteContent);
    pContent->iContentLBytes = 0;
    pContent->iContentLChars = 0;
    TAVRI_ERR("Couldn't convert ticket content. rc = %d", rc);
    return kRcInvalid;
  }
  pContent->iContentLBytes = pContent->iContentLChars;
  return 0;
}

}  // namespace

int32_t _ConvertCodepages(unsigned char* to, unsigned char* toEnd, const unsigned char* From,
                          const unsigned char* FromEnd, const char* toCP, const char* FromCP,
                          int16_t* piNumConvertedChars) {
  if (to == nullptr || toEnd < to || piNumConvertedChars == nullptr ||
      (From == nullptr) != (FromEnd == nullptr) || FromEnd < From)
    return kConvSetupFailed;
  // A copy of the input, so that it may share storage with the output.
  std::vector<unsigned char> copy;
  try {
    copy.assign(From, FromEnd);
  } catch (const std::bad_alloc&) {
    return kConvNoMemory;
  }
  ListConverter conv(toCP, FromCP);
  return conv.convert(to, toEnd, copy.data(), copy.data() + copy.size(), piNumConvertedChars);
}

int32_t HRazuConvertContent(const char* SourceCodepage, const char* TargetCodepage,
                            PCookieContent pContent) {
  ListConverter conv(TargetCodepage, SourceCodepage);
  return convert_content(&conv, pContent);
}

int32_t HRazuConvertCList(const char* SourceCodepage, const char* TargetCodepage,
                          ContentList lstContents) {
  TAVRI_TRC(2, "Convert ticket content from QOR_CODEPAGE >%4.4s< to >%4.4s< \n",
            CpText(SourceCodepage), CpText(TargetCodepage));
  ListConverter conv(TargetCodepage, SourceCodepage);
  for (PCookieContent node = lstContents; node != nullptr; node = node->pNextCtnt) {
    if (HRazuGetDataType(node->InfoId) != kIUnitTypeText) continue;
    int32_t rc = convert_content(&conv, node);
    if (rc != 0) {
      TAVRI_TRC(2, "Error in converting content %s \n", HRazuGetUInfoName(node->InfoId));
      DumpBuffer(tavriTf.load(), node, sizeof *node, 3);
      return rc;
    }
  }
  return 0;
}

int32_t HRazuGetUTFEncodedContent(PCookieContent* ppContent, const char* pchCharData,
                                  uint16_t usCharDataL, InfoUnitID info_unit,
                                  const char* pCodepage) {
  if (ppContent == nullptr || (pchCharData == nullptr && usCharDataL > 0)) return -1;
  std::vector<unsigned char> utf8;
  std::vector<unsigned char> copy;
  try {
    utf8.assign(kUtf8BytesPerChar * usCharDataL + 1, 0);
    copy.assign(usCharDataL + 1, 0);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (usCharDataL > 0) memcpy(copy.data(), pchCharData, usCharDataL);
  unsigned char* out = utf8.data();
  const unsigned char* in = copy.data();
  // The last byte stays zero, so the value ends at the first zero byte.
  RSCP_RC rc = UcnToUtf8nCP(pCodepage, &out, utf8.data() + utf8.size() - 1, &in,
                            copy.data() + usCharDataL);
  if (rc != RSCP_OK) {
    TAVRI_ERR("Conversion of data to utf-8 failed, rc = %d.\n", rc);
    return -1;
  }
  size_t len = strlen(reinterpret_cast<const char*>(utf8.data()));
  // Anything above the field size must reach HRazuContentNew as too long,
  // not wrap around in its 16-bit length.
  int16_t len16 = static_cast<int16_t>(len > kContentMaxBytes ? kContentMaxBytes + 1 : len);
  int32_t nrc = HRazuContentNew(utf8.data(), len16, info_unit, ppContent);
  if (nrc != 0) {
    TAVRI_ERR("Couldn't create item %c, rc = %d.\n", static_cast<int>(info_unit), nrc);
    return -1;
  }
  return 0;
}
