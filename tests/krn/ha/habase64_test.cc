// haDecBase64SB: canonical, valid and invalid rows, and a round trip
// against OpenSSL's encoder.
#include <gtest/gtest.h>
#include <openssl/rand.h>

#include <string>

#include "crypto/cryptotest.h"
#include "krn/ha/habase64.h"

namespace {

struct Row {
  const char* in;
  int32_t alphabet;
  int32_t flags;
  int32_t rc;
  std::string out;  // expected bytes on success
  size_t stop;      // expected stop offset
};

constexpr int32_t B64 = ALPHABET_B7_BASE64, URL = ALPHABET_B7_BASE64URL;
constexpr int32_t U8 = ALPHABET_UTF8_BASE64, U8URL = ALPHABET_UTF8_BASE64URL;

TEST(HaDecode, EachRowGivesItsResultOutputAndStop) {
  const std::string kFF = "\xff\xfe";
  const Row rows[] = {
      // Canonical: RFC 4648 section 10 and both alphabets' last two digits.
      {"", B64, 0, 0, "", 0}, {"Zg==", B64, 0, 0, "f", 4}, {"Zm8=", B64, 0, 0, "fo", 4},
      {"Zm9v", B64, 0, 0, "foo", 4}, {"Zm9vYg==", B64, 0, 0, "foob", 8},
      {"Zm9vYmE=", U8, 0, 0, "fooba", 8}, {"Zm9vYmFy", U8, 0, 0, "foobar", 8},
      {"//4=", B64, 0, 0, kFF, 4}, {"__4=", URL, 0, 0, kFF, 4}, {"__4=", U8URL, 0, 0, kFF, 4},
      // Valid only with the flags that allow them.
      {"Zm9v\r\nYmFy", B64, 1, 0, "foobar", 10}, {" Zm 9v ", B64, 1, 0, "foo", 7},
      {"Zm8", URL, 7, 0, "fo", 3}, {"Zg", URL, 5, 0, "f", 2}, {"Zg=", URL, 5, 0, "f", 3},
      {"Zm9v+YmFy", URL, 3, 0, "foobar", 9}, {"Zg==trailing", B64, 1, 0, "f", 4},
      {"Zm8=Zm8=", B64, 1, 0, "fo", 4}, {"Zm!9v", B64, 3, 0, "foo", 5},
      // Bits 2 and 4 count only together with bit 1.
      {"Zm8", URL, 6, HA_DEC_BAD_FINAL, "", 0}, {"Zm!9v", B64, 2, HA_DEC_BAD_CHAR, "", 0},
      // Invalid.
      {"Zm9v Ym", B64, 0, HA_DEC_BAD_CHAR, "", 4}, {"Zm8", URL, 1, HA_DEC_BAD_FINAL, "", 0},
      {"Zm9vYm8", B64, 0, HA_DEC_BAD_FINAL, "", 4}, {"Zm9v+Ymy", URL, 1, HA_DEC_BAD_CHAR, "", 4},
      {"Zm9v_w==", B64, 1, HA_DEC_BAD_CHAR, "", 4}, {"Zg==x", B64, 0, HA_DEC_BAD_CHAR, "", 4},
      {"Zg=x", B64, 1, HA_DEC_BAD_FINAL, "", 0}, {"Zg==", 5, 0, HA_DEC_BAD_ALPHABET, "", 0},
      {"Zg==", 0, 0, HA_DEC_BAD_ALPHABET, "", 0}, {"Zg==", 7, 0, HA_DEC_BAD_ALPHABET, "", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string("'") + r.in + "' alphabet " + std::to_string(r.alphabet) + " flags " +
                 std::to_string(r.flags));
    unsigned char dst[64];
    size_t len = 99;
    const void* stop = nullptr;
    const int32_t rc = haDecBase64SB(r.in, strlen(r.in), r.alphabet, r.flags, dst, sizeof dst, &len, &stop);
    EXPECT_EQ(rc, r.rc);
    EXPECT_EQ(static_cast<const char*>(stop) - r.in, static_cast<ptrdiff_t>(r.stop));
    if (rc == HA_DEC_OK)
      EXPECT_EQ(std::string(reinterpret_cast<char*>(dst), len), r.out);
    else
      EXPECT_EQ(len, 0u);
  }
}

TEST(HaDecode, DestinationOneByteShortGivesMinus3AndZeroLength) {
  unsigned char dst[5];
  size_t len = 7;
  const void* stop = nullptr;
  const char in[] = "Zm9vYmFy";
  EXPECT_EQ(haDecBase64SB(in, 8, B64, 0, dst, 5, &len, &stop), HA_DEC_DST_TOO_SMALL);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(static_cast<const char*>(stop), in + 4);
  EXPECT_EQ(haDecBase64SB("Zm8=", 4, B64, 0, dst, 1, &len, nullptr), HA_DEC_DST_TOO_SMALL);
  EXPECT_EQ(haDecBase64SB("Zg==", 4, B64, 0, dst, 0, &len, nullptr), HA_DEC_DST_TOO_SMALL);
  EXPECT_EQ(haDecBase64SB("Zg==", 4, B64, 0, dst, 1, &len, nullptr), HA_DEC_OK);
  EXPECT_EQ(len, 1u);
}

TEST(HaDecode, MissingSourceWithLengthGivesMinus1) {
  size_t len = 3;
  unsigned char dst[4];
  EXPECT_EQ(haDecBase64SB(nullptr, 4, B64, 0, dst, 4, &len, nullptr), HA_DEC_NO_SOURCE);
  EXPECT_EQ(haDecBase64SB(nullptr, 0, B64, 0, dst, 4, &len, nullptr), HA_DEC_OK);
  EXPECT_EQ(len, 0u);
}

// Random bytes encoded by OpenSSL decode back, in both alphabets.
TEST(HaDecode, RoundTripsOpenSslEncodings) {
  for (size_t n = 0; n < 200; ++n) {
    unsigned char data[200], dst[200];
    ASSERT_EQ(RAND_bytes(data, static_cast<int>(n ? n : 1)), 1);
    const std::string bytes(reinterpret_cast<char*>(data), n);
    const std::string std_text = qortest::Base64(bytes), url = qortest::Base64(bytes, true);
    size_t len = 0;
    ASSERT_EQ(haDecBase64SB(std_text.data(), std_text.size(), B64, 0, dst, n, &len, nullptr), 0) << n;
    ASSERT_EQ(len, n);
    EXPECT_EQ(memcmp(dst, data, n), 0);
    ASSERT_EQ(haDecBase64SB(url.data(), url.size(), URL, 7, dst, n, &len, nullptr), 0) << n;
    ASSERT_EQ(len, n);
    EXPECT_EQ(memcmp(dst, data, n), 0);
  }
}

}  // namespace
