// The keyed-MAC front against the published vectors of RFC 4231 and
// python's hmac for incremental input.
#include <gtest/gtest.h>

#include <string>

#include "crypto/cryptotest.h"
#include "sec/mac/hmac.h"

namespace {

std::string Mac(const std::string& key, const std::string& alg, const std::string& msg, size_t split = 0) {
  HMac_CTX* ctx = nullptr;
  if (hmacInitR(&ctx, reinterpret_cast<const unsigned char*>(key.data()), key.size(), alg.c_str()) != kMacOk)
    return "init failed";
  EXPECT_EQ(hmacUpdate(ctx, msg.data(), split), kMacOk);
  EXPECT_EQ(hmacUpdate(ctx, msg.data() + split, msg.size() - split), kMacOk);
  unsigned char out[1024];
  size_t n = sizeof out;
  EXPECT_EQ(hmacFinal(ctx, out, &n), kMacOk);
  EXPECT_EQ(hmacRelease(&ctx), kMacOk);
  EXPECT_EQ(ctx, nullptr);
  return qortest::Hex(out, n);
}

// RFC 4231 test case 2.
TEST(Hmac, MatchesRfc4231Vectors) {
  const std::string key = "Jefe", msg = "what do ya want for nothing?";
  EXPECT_EQ(Mac(key, "SHA256", msg), "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_EQ(Mac(key, "SHA384", msg, 7),
            "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649");
  EXPECT_EQ(Mac(key, "SHA512", msg, 28),
            "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fd"
            "caeab1a34d4a6b4b636e070a38bce737");
}

TEST(Hmac, MatchesPythonForLongKeysAndInput) {
  const std::string key(200, 'k'), msg(100000, 'm');
  const std::string py = qortest::ShOut(
      "/usr/bin/python3 -c 'import hmac,hashlib; print(hmac.new(b\"k\"*200, b\"m\"*100000, hashlib.sha512).hexdigest(), end=\"\")'");
  EXPECT_EQ(Mac(key, "SHA512", msg, 4096), py);
}

TEST(Hmac, FailuresAreMinusOne) {
  HMac_CTX* ctx = nullptr;
  const unsigned char k[] = "k";
  EXPECT_EQ(hmacInitR(&ctx, k, 1, "NOHASH"), kMacFailed);
  EXPECT_EQ(hmacInitR(&ctx, k, 1, "MD4"), kMacFailed);
  EXPECT_EQ(hmacInitR(nullptr, k, 1, "SHA256"), kMacFailed);
  EXPECT_EQ(hmacUpdate(nullptr, k, 1), kMacFailed);
  unsigned char out[16];
  size_t n = sizeof out;
  EXPECT_EQ(hmacFinal(nullptr, out, &n), kMacFailed);
  EXPECT_EQ(hmacRelease(&ctx), kMacFailed);
  // A buffer smaller than the MAC.
  ASSERT_EQ(hmacInitR(&ctx, k, 1, "SHA256"), kMacOk);
  EXPECT_EQ(hmacFinal(ctx, out, &n), kMacFailed);
  EXPECT_EQ(hmacRelease(&ctx), kMacOk);
}

TEST(Hmac, TableNamesAndHashesLikeFips) {
  macGlobalInit();
  const HMacFunctions& t = hmacFunctions();
  int32_t id = 0;
  const char* name = nullptr;
  ASSERT_EQ(t.fp_crypt_hashAlgorithm_Name2Id("sha384", &id), CRYPT_OK);
  ASSERT_EQ(t.fp_crypt_hashAlgorithm_Id2Name(id, &name), CRYPT_OK);
  EXPECT_STREQ(name, "SHA384");
  // The plain hash beside the keyed one: SHA-256 of "abc" (FIPS 180-2).
  crypt_hash_t* h = nullptr;
  ASSERT_EQ(t.fp_crypt_hash_create(&h, SSF_DIGEST_SHA256), CRYPT_OK);
  ASSERT_EQ(t.fp_crypt_hash_more(h, "abc", 3), CRYPT_OK);
  unsigned char hex[64];
  size_t n = sizeof hex;
  ASSERT_EQ(t.fp_crypt_hash_getValue(h, CRYPT_VALUE_HEX, hex, &n), CRYPT_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(hex), n),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(t.fp_crypt_hash_release(&h), CRYPT_OK);
}

// The compare works in 16-byte slices and a rest: a difference in any byte
// of any slice, or of the rest, must count.
TEST(Hmac, MacCompareSeesADifferenceInEveryByte) {
  for (size_t len = 0; len <= 40; ++len) {
    std::string a(len, '\x5a'), b = a;
    EXPECT_TRUE(crypt_mac_equal(reinterpret_cast<const unsigned char*>(a.data()),
                                reinterpret_cast<const unsigned char*>(b.data()), len));
    for (size_t at = 0; at < len; ++at) {
      b[at] ^= 0x01;
      EXPECT_FALSE(crypt_mac_equal(reinterpret_cast<const unsigned char*>(a.data()),
                                   reinterpret_cast<const unsigned char*>(b.data()), len))
          << len << " " << at;
      b[at] = a[at];
    }
  }
}

}  // namespace
