// The validate path of the ticket engine against a table whose verification
// is scripted, for the combined results that real signatures cannot force.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "qorjwt.h"
#include "sec/tavrisso/engine/context.h"
#include "sec/tavrisso/api/state.h"

namespace {

// 02 "1100" | 01 len 3 "ABC" | 04 len 12 "202601010000" | FF len 1 0x30
constexpr char kTicket[] = "AjExMDABAANBQkMEAAwyMDI2MDEwMTAwMDD/AAEw";

struct Script {
  int32_t rc;
  bool entry;
  uint32_t uResult;
  bool cert;
  int calls;
} script;

int32_t ScriptedVerify(const char*, SsfCharlen, unsigned char, const unsigned char* sig,
                       SsfOctetlen sigL, const unsigned char*, SsfOctetlen, const char*,
                       SsfCharlen, const char*, SsfCharlen, SigRcpSsfInformationList* list,
                       SsfOctetstring*, SsfOctetlen*) {
  ++script.calls;
  EXPECT_EQ(sigL, 1);
  EXPECT_EQ(sig[0], 0x30);
  if (script.entry) {
    SigRcpSsfInformation* info = nullptr;
    const unsigned char der[] = {0x30, 0x03, 0x02, 0x01, 0x07};
    SsfNEWSigRcpSsfInfo("CN=x", 4, nullptr, 0, nullptr, 0, script.cert ? der : nullptr,
                        script.cert ? sizeof der : 0, script.uResult, &info);
    SsfINSSigRcpSsfInfo(info, list);
  }
  return script.rc;
}

class Validate : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
    lib_ = s_SsfLib;
    lib_.fp_SsfVerify = &ScriptedVerify;
    script = Script{};
    memcpy(params_.chFrmt, "PKCS7", 5);
    memcpy(in_.Codepage, "4110", 4);
    in_.pSsfParams = &params_;
    in_.pSsfLib = &lib_;
  }
  void TearDown() override { TavriShutdown(); }

  int32_t Run(const char* text = kTicket) {
    strcpy(buf_, text);
    in_.pucsTicket = reinterpret_cast<unsigned char*>(buf_);
    in_.iTicketL = static_cast<int32_t>(strlen(buf_));
    out_ = UnwrapOutContext{};
    int32_t rc = RazuValidateTicket(&in_, &out_);
    if (rc != 0) {
      EXPECT_EQ(out_.lstTicketContents, nullptr);
    }
    return rc;
  }

  SsfLib lib_;
  RazuSsfParams params_ = {};
  UnwrapInContext in_ = {};
  UnwrapOutContext out_ = {};
  char buf_[128];
};

TEST_F(Validate, VerifiedTicketHandsOverListAndCertificate) {
  script = {0, true, 0, true, 0};
  ASSERT_EQ(Run(), kRcOk);
  const __CookieContent* user = HRazuGetContentByID(out_.lstTicketContents, cIUnitUser);
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(user->ByteContent), 3), "ABC");
  EXPECT_EQ(user->iContentLChars, 3);  // converted 1100 -> 4110
  EXPECT_EQ(out_.iCertificateL, 5);
  EXPECT_EQ(RazuReleaseUwContext(&out_, &lib_), kRcOk);
  EXPECT_EQ(out_.lstTicketContents, nullptr);
  EXPECT_EQ(out_.puscCertificate, nullptr);
}

TEST_F(Validate, CombinedResults) {
  struct Case { Script s; int32_t want; } cases[] = {
      {{27, true, 27, false, 0}, TavriCombine(SSF_API_SIGNER_NOT_OK, SSF_API_SIGNER_NOT_OK)},
      {{27, true, 27, true, 0}, TavriCombine(SSF_API_SIGNER_NOT_OK, SSF_API_SIGNER_NOT_OK)},  // with a certificate to dump
      {{5, false, 0, false, 0}, TavriCombine(SSF_API_SIGNER_ERRORS, kRcNoSignerEntry)},
      {{0, true, 0, false, 0}, kRcNoSignerCert},  // verified, but no certificate
      {{0, false, 0, false, 0}, kRcNoSignerCert},
  };
  RavAreSetProperty("QOR_EXT_TRL", "2");
  RavAreSetProperty("QOR_EXT_TRC", "/dev/null");
  for (const Case& c : cases) {
    script = c.s;
    EXPECT_EQ(Run(), c.want) << c.s.rc << "/" << c.s.uResult;
    EXPECT_EQ(script.calls, 1);
    RazuReleaseUwContext(&out_, &lib_);
  }
  RavAreSetProperty("QOR_EXT_TRC", nullptr);
}

TEST_F(Validate, FailuresBeforeAnySsfCall) {
  EXPECT_EQ(RazuValidateTicket(nullptr, &out_), kRcNullArgument);
  EXPECT_EQ(RazuValidateTicket(&in_, nullptr), kRcNullArgument);
  EXPECT_EQ(Run("AjEx@DAB"), kRcBase64Decode);
  EXPECT_EQ(Run("AjExMDAB"), kRcInvalidTicket);  // no InfoUnit
  lib_.bSsfEncode = 0;
  EXPECT_EQ(Run(), kRcInternal);
  EXPECT_EQ(script.calls, 0);
}

}  // namespace
