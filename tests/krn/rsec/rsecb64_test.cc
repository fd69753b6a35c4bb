#include "krn/rsec/rsecb64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Encodes `data` in a buffer of exactly `size` bytes; the text or "" on failure.
int32_t Encode(const Bytes& data, uint32_t size, std::string* text) {
  Bytes buf(size);
  std::copy(data.begin(), data.end(), buf.begin());
  uint32_t out = 0;
  int32_t rc = rseceb64_encode_base64(buf.data(), static_cast<uint32_t>(data.size()), size, &out);
  if (rc == 0) text->assign(buf.begin(), buf.begin() + out);
  return rc;
}

// Decodes `text` in a buffer of exactly its length.
int32_t Decode(const std::string& text, Bytes* out) {
  Bytes buf = B(text);
  uint32_t n = 0;
  int32_t rc = rsecdb64_decode_base64(buf.data(), static_cast<uint32_t>(buf.size()), &n);
  if (rc == 0) out->assign(buf.begin(), buf.begin() + n);
  return rc;
}

}  // namespace

TEST(RsecLength, EncodedLengthIsThePaddedLength) {
  uint32_t out = 0;
  EXPECT_EQ(rseceb64l_encbase64_length(0, &out), 1);
  EXPECT_EQ(rseceb64l_encbase64_length(1, nullptr), 2);
  for (uint32_t len : {1u, 2u, 3u, 4u, 5u, 6u, 4096u}) {
    ASSERT_EQ(rseceb64l_encbase64_length(len, &out), 0);
    EXPECT_EQ(out, (len + 2) / 3 * 4) << len;
  }
  EXPECT_EQ(rseceb64l_encbase64_length(UINT32_MAX, &out), 1);
}

TEST(RsecLength, DecodedLengthCountsTrailingPads) {
  uint32_t out = 0;
  const unsigned char* t = reinterpret_cast<const unsigned char*>("QQ==");
  EXPECT_EQ(rsecdb64l_decbase64_length(3, t, &out), 1);
  EXPECT_EQ(rsecdb64l_decbase64_length(4, nullptr, &out), 2);
  EXPECT_EQ(rsecdb64l_decbase64_length(4, t, nullptr), 3);
  ASSERT_EQ(rsecdb64l_decbase64_length(4, t, &out), 0);
  EXPECT_EQ(out, 1u);
  ASSERT_EQ(rsecdb64l_decbase64_length(4, reinterpret_cast<const unsigned char*>("QUI="), &out), 0);
  EXPECT_EQ(out, 2u);
  ASSERT_EQ(rsecdb64l_decbase64_length(4, reinterpret_cast<const unsigned char*>("QUJD"), &out), 0);
  EXPECT_EQ(out, 3u);
}

TEST(RsecCodec, RejectsBadArgumentsWithTheirCodes) {
  std::string text;
  uint32_t out = 0;
  unsigned char buf[8] = {1, 2, 3, 4};
  EXPECT_EQ(rseceb64_encode_base64(nullptr, 1, 8, &out), 1);
  EXPECT_EQ(Encode(B("a"), 3, &text), 1);
  EXPECT_EQ(Encode(Bytes(), 8, &text), 2);
  EXPECT_EQ(rseceb64_encode_base64(buf, 5, 4, &out), 2);
  EXPECT_EQ(rseceb64_encode_base64(buf, 1, 8, nullptr), 4);
  EXPECT_EQ(Encode(B("abcd"), 7, &text), 3);
  ASSERT_EQ(Encode(B("abcd"), 8, &text), 0);
  EXPECT_EQ(text, "YWJjZA==");
  EXPECT_EQ(rsecdb64_decode_base64(nullptr, 4, &out), 1);
  EXPECT_EQ(rsecdb64_decode_base64(buf, 4, nullptr), 2);
}

TEST(RsecEncode, CanonicalRowsEncodeAndDecodeBack) {
  const std::pair<const char*, const char*> rows[] = {
      {"f", "Zg=="},       {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
      {"\xfb\xff\xbf", "+/+/"},
  };
  for (auto [plain, b64] : rows) {
    std::string text;
    // A buffer exactly as long as the text: the data moves to its end first.
    ASSERT_EQ(Encode(B(plain), static_cast<uint32_t>(strlen(b64)), &text), 0) << plain;
    EXPECT_EQ(text, b64);
    Bytes back;
    ASSERT_EQ(Decode(b64, &back), 0);
    EXPECT_EQ(back, B(plain));
  }
}

TEST(RsecDecode, EachRowGivesItsResultAndBytes) {
  const struct {
    std::string text;
    int32_t rc;
    std::string decoded;  // meaningful for rc 0
  } rows[] = {
      // Valid but not canonical: the pad ends decoding; the length comes
      // from the text, so what follows the decoded bytes is left over.
      {"Zg==Zm9v", 0, std::string("f") + "g==Zm"}, {"Zm9vY", 0, "foov"}, {"Zm9vYm", 0, "foobY"},
      {"=AAA", 0, "=AA"}, {"Zg=x", 0, "fg="},
      // Invalid.
      {"Zm9", 1, ""}, {"Zm9v YmFy", 3, ""}, {"Zm-v", 3, ""}, {"Zm_v", 3, ""}, {"Zm9v\nYmFy", 3, ""},
      {std::string("Zm\0v", 4), 3, ""}, {"Zm!v", 3, ""}, {"Zm9v\xc3\xa4", 3, ""},
  };
  for (const auto& row : rows) {
    Bytes out;
    EXPECT_EQ(Decode(row.text, &out), row.rc) << row.text;
    if (row.rc == 0) {
      EXPECT_EQ(std::string(out.begin(), out.end()), row.decoded) << row.text;
    }
  }
}

// Random data against python's base64 module: both directions agree.
TEST(RsecCodec, AgreesWithPythonOnRandomData) {
  bool ran = false;
  const auto rows = qortest::Lines(qortest::ShOut("/usr/bin/python3 " QOR_TEST_TOOLS_DIR "/b64_vectors.py 4711 200 300", &ran));
  EXPECT_TRUE(ran);
  EXPECT_EQ(rows.size(), 200u);
  for (const std::string& row : rows) {
    const std::string b64 = row.substr(row.find(' ') + 1);
    const Bytes data = qortest::FromHex(row.substr(0, row.find(' ')));
    std::string text;
    ASSERT_EQ(Encode(data, static_cast<uint32_t>(b64.size()), &text), 0);
    EXPECT_EQ(text, b64);
    Bytes back;
    ASSERT_EQ(Decode(b64, &back), 0);
    EXPECT_EQ(back, data);
  }
}
