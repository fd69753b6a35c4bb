// Digest names, numbers and algorithm identifiers against published values.
#include <gtest/gtest.h>

#include <openssl/obj_mac.h>

#include <string>

#include "crypto/base/digest.h"
#include "crypto/cert/certtext.h"

using namespace qorcr;

namespace {

int32_t Lookup(const char* name, SsfDigestNo* d) {
  return DigestLookup(name, name ? static_cast<SsfCharlen>(strlen(name)) : 0, d);
}

std::string Hex(const std::vector<unsigned char>& b) { return HexPairs(b.data(), b.size()); }

TEST(DigestLookup, NamesAnyCaseEmptyIsSha1AndOldDigestsAreRefused) {
  SsfDigestNo d = SSF_DIGEST_UNKNOWN;
  EXPECT_EQ(Lookup("sha256", &d), SSF_API_OK);
  EXPECT_EQ(d, SSF_DIGEST_SHA256);
  EXPECT_EQ(Lookup(nullptr, &d), SSF_API_OK);
  EXPECT_EQ(d, SSF_DIGEST_SHA1);
  EXPECT_EQ(Lookup("MD4", &d), SSF_API_INSECURE_MDALG);
  EXPECT_EQ(Lookup("md2", &d), SSF_API_INSECURE_MDALG);
  EXPECT_EQ(Lookup("SHA-256", &d), SSF_API_INVALID_MDALG);
  EXPECT_EQ(DigestFromNid(NID_sha384), SSF_DIGEST_SHA384);
  EXPECT_EQ(DigestMd(SSF_DIGEST_RIPEMD128), nullptr);
}

TEST(DigestCompute, MatchesTheFipsVectorsForAbc) {
  const unsigned char abc[] = {'a', 'b', 'c'};
  std::vector<unsigned char> out;
  ASSERT_TRUE(DigestCompute(SSF_DIGEST_SHA1, abc, 3, &out));
  EXPECT_EQ(Hex(out), "A9:99:3E:36:47:06:81:6A:BA:3E:25:71:78:50:C2:6C:9C:D0:D8:9D");
  ASSERT_TRUE(DigestCompute(SSF_DIGEST_SHA256, abc, 3, &out));
  EXPECT_EQ(Hex(out).substr(0, 23), "BA:78:16:BF:8F:01:CF:EA");
  EXPECT_FALSE(DigestCompute(SSF_DIGEST_MD4, abc, 3, &out));
}

TEST(DigestAlgorithmId, IsTheDerIdentifierWithoutParameters) {
  std::vector<unsigned char> der;
  ASSERT_TRUE(DigestAlgorithmIdDer(SSF_DIGEST_SHA256, &der));
  // SEQUENCE { OID 2.16.840.1.101.3.4.2.1 } (RFC 5754: parameters absent)
  EXPECT_EQ(Hex(der), "30:0B:06:09:60:86:48:01:65:03:04:02:01");
}

}  // namespace
