// JWK Sets through the exports: loaded with key type 5 or passed with the
// token, the key chosen by "kid", with keys and tokens of PyJWT.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sec/jwt/jwttest.h"
#include "sec/tavrisso/api/state.h"

namespace {

using jwttest::Bytes;
using jwttest::Info;
using jwttest::Signer;
using jwttest::ToBytes;

const std::string kBody = R"({"sub":"alice","exp":4102444800})";
// 32 bytes, as "k" of the set's oct key.
const std::string kSecret = "0123456789abcdef0123456789abcdef";
const std::string kSecretB64 = "MDEyMzQ1Njc4OWFiY2RlZjAxMjM0NTY3ODlhYmNkZWY";

int32_t Load(const std::string& key, int32_t type) {
  return TavriLoadTicketKey(reinterpret_cast<const unsigned char*>(key.data()), static_cast<int32_t>(key.size()),
                            nullptr, 0, type);
}

// A token through the export, with the loaded key (key empty) or a passed one.
int32_t Eval(const std::string& token, const std::string& key, std::string* error = nullptr) {
  Info i;
  const int32_t rc = TavriEvalJWToken(token.data(), token.size(),
                                      key.empty() ? nullptr : reinterpret_cast<const unsigned char*>(key.data()),
                                      key.size(), nullptr, &i.info);
  if (error) *error = i.error();
  return rc;
}

class JwkSetLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
    Signer& s = signer_;
    es256_ = s.Add("ES256", "ec1:p256", R"({"kid":"ec1"})", kBody);
    es256_other_ = s.Add("ES256", "ec2:p256", R"({"kid":"ec2"})", kBody);
    es384_ = s.Add("ES384", "ec3:p384", R"({"kid":"ec3"})", kBody);
    rs256_ = s.Add("RS256", "rsa1:rsa2048", R"({"kid":"rsa1"})", kBody);
    ps512_ = s.Add("PS512", "rsa1:rsa2048", R"({"kid":"rsa1"})", kBody);
    eddsa_ = s.Add("EdDSA", "ed1:ed25519", R"({"kid":"ed1"})", kBody);
    hs256_ = s.Add("HS256", "secret:" + jwttest::Hex(kSecret), R"({"kid":"hs1"})", kBody);
    unknown_kid_ = s.Add("ES256", "ec1:p256", R"({"kid":"nobody"})", kBody);
    ec_as_rsa_ = s.Add("ES256", "ec1:p256", R"({"kid":"rsa1"})", kBody);
    hs_kid_rsa_ = s.Add("HS256", "secret:" + jwttest::Hex(kSecret), R"({"kid":"rsa1"})", kBody);
    no_kid_eddsa_ = s.Add("EdDSA", "ed1:ed25519", "{}", kBody);
    no_kid_es256_ = s.Add("ES256", "ec1:p256", "{}", kBody);
    kid_enc_ = s.Add("ES384", "ec3:p384", R"({"kid":"enc1"})", kBody);
    weak_ = s.Add("RS256", "weak:rsa1024", "{}", kBody);
    s.Run();
    set_ = Set({Jwk("ec1"), Jwk("ec2"), Jwk("ec3", R"("alg":"ES384","use":"sig")"), Jwk("rsa1", R"("alg":"RS256")"),
                Jwk("ed1"), R"({"kty":"oct","kid":"hs1","k":")" + kSecretB64 + "\"}",
                Jwk("ec3", R"("use":"enc")", "enc1")});
  }
  void TearDown() override { JwtSetClock(nullptr); }

  // The public JWK of key `name` with a "kid" and further members.
  std::string Jwk(const std::string& name, const std::string& extra = "", const std::string& kid = "") const {
    const Bytes& j = signer_.key(name + ".jwk");
    std::string text(j.begin(), j.end());
    text.pop_back();  // the closing brace
    text += R"(,"kid":")" + (kid.empty() ? name : kid) + "\"";
    if (!extra.empty()) text += "," + extra;
    return text + "}";
  }
  static std::string Set(const std::vector<std::string>& keys) {
    std::string s = R"({"keys":[)";
    for (size_t i = 0; i < keys.size(); ++i) s += (i ? "," : "") + keys[i];
    return s + "]}";
  }
  const std::string& token(size_t i) const { return signer_.token(i); }

  Signer signer_{"make_jws.py"};
  size_t es256_, es256_other_, es384_, rs256_, ps512_, eddsa_, hs256_, unknown_kid_, ec_as_rsa_, hs_kid_rsa_,
      no_kid_eddsa_, no_kid_es256_, kid_enc_, weak_;
  std::string set_;
};

TEST_F(JwkSetLoad, LoadedOrPassedSetChoosesTheKeyByKid) {
  ASSERT_EQ(Load(set_, 5), kRcOk);
  EXPECT_EQ(X509KeyLen, 0u);  // the set's text is no secret to fall back on
  for (const std::string& key : {std::string(), set_}) {
    for (size_t t : {es256_, es256_other_, es384_, rs256_, eddsa_, hs256_, no_kid_eddsa_}) {
      std::string error;
      EXPECT_EQ(Eval(token(t), key, &error), 0) << t << " " << error;
    }
    std::string error;
    EXPECT_EQ(Eval(token(unknown_kid_), key, &error), 5);
    EXPECT_EQ(error, "JWT key id not found in the JWK Set");
    // A "kid" that names a key of another type, or one whose "alg" or
    // "use" rules the token's algorithm out.
    for (size_t t : {ec_as_rsa_, hs_kid_rsa_, ps512_, kid_enc_}) {
      EXPECT_EQ(Eval(token(t), key, &error), 5) << t;
      EXPECT_EQ(error, "JWT key id names a key of the JWK Set that does not fit the JWT algorithm") << t;
    }
    // Without "kid", two P-256 keys leave the choice open.
    EXPECT_EQ(Eval(token(no_kid_es256_), key, &error), 5);
    EXPECT_EQ(error, "Several keys of the JWK Set fit the JWT algorithm and key id");
  }
  // Without "kid", the one key that fits; none fitting is said so.
  const std::string one_ec = Set({Jwk("ec1"), Jwk("ed1")});
  EXPECT_EQ(Eval(token(no_kid_es256_), one_ec), 0);
  std::string error;
  EXPECT_EQ(Eval(token(weak_), one_ec, &error), 5);
  EXPECT_EQ(error, "No key of the JWK Set fits the JWT algorithm");
}

TEST_F(JwkSetLoad, PassedSetWinsOverTheLoadedKeyForThatCall) {
  ASSERT_EQ(Load(kSecret, 2), kRcOk);
  EXPECT_EQ(Eval(token(es256_), Set({Jwk("ec1")})), 0);
  EXPECT_EQ(Eval(token(hs256_), ""), 0);
  ASSERT_EQ(Load(Set({Jwk("ec2")}), 5), kRcOk);
  EXPECT_EQ(Eval(token(es256_), ""), 5);
  EXPECT_EQ(Eval(token(es256_), Set({Jwk("ec1")})), 0);
  EXPECT_EQ(Eval(token(es256_other_), ""), 0);
}

TEST_F(JwkSetLoad, SetIsNeverAnHmacSecret) {
  // An HS token MAC'd with the published set's text, loaded as a set, as a
  // type 2 secret, or passed: never accepted.
  const std::string pub = Set({Jwk("ec1"), Jwk("rsa1")});
  Signer s;
  const size_t forged = s.Add("HS256", "secret:" + jwttest::Hex(pub), R"({"alg":"HS256"})", kBody);
  s.Run();
  std::string error;
  ASSERT_EQ(Load(pub, 5), kRcOk);
  EXPECT_EQ(Eval(s.token(forged), "", &error), 5);
  EXPECT_EQ(error, "No key of the JWK Set fits the JWT algorithm");
  EXPECT_EQ(Eval(s.token(forged), pub, &error), 5);
  ASSERT_EQ(Load(pub, 2), kRcOk);
  EXPECT_EQ(Eval(s.token(forged), "", &error), 5);
  // A JSON text that is no set is no secret either.
  const std::string not_set = R"({"kty":"oct","k":")" + kSecretB64 + "\"}";
  Signer s2;
  const size_t forged2 = s2.Add("HS256", "secret:" + jwttest::Hex(not_set), R"({"alg":"HS256"})", kBody);
  s2.Run();
  EXPECT_EQ(Eval(s2.token(forged2), not_set, &error), 5);
  EXPECT_EQ(error, "JWT verification key is a JSON text but no usable JWK Set");
}

TEST_F(JwkSetLoad, BadSetFailsTheLoadWithNineAndLeavesNoKey) {
  const std::string weak = Set({Jwk("ec1"), Jwk("weak")});
  for (const std::string& bad : {std::string("{\"keys\":[}"), std::string("{\"keys\":[]}"), std::string("[]"),
                                 Set({R"({"kty":"OKP","crv":"X25519","x":"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"})"}),
                                 weak}) {
    ASSERT_EQ(Load(kSecret, 2), kRcOk);
    ASSERT_EQ(Eval(token(hs256_), ""), 0);
    EXPECT_EQ(Load(bad, 5), kRcInvalid) << bad;
    EXPECT_EQ(X509KeyLen, 0u);
    EXPECT_EQ(Eval(token(hs256_), ""), 5) << bad;
  }
  // A loaded set goes with the next load of any type, and with a failed one.
  ASSERT_EQ(Load(set_, 5), kRcOk);
  ASSERT_EQ(Load(kSecret, 2), kRcOk);
  EXPECT_EQ(Eval(token(es256_), ""), 5);
  EXPECT_EQ(Eval(token(hs256_), ""), 0);
  ASSERT_EQ(Load(set_, 5), kRcOk);
  EXPECT_EQ(Load(set_, 77), kRcInvalid);
  EXPECT_EQ(Eval(token(es256_), ""), 5);
}

TEST_F(JwkSetLoad, FailedLoadIsTracedWithoutTheKey) {
  const std::string trace = jwttest::Traced("2", [&] {
    EXPECT_EQ(Load(Set({Jwk("weak")}), 5), kRcInvalid);
    EXPECT_EQ(Load("{\"keys\":[", 5), kRcInvalid);
    EXPECT_EQ(Load(Set({R"({"kty":"oct","k":")" + kSecretB64 + R"(","use":"enc"})"}), 5), kRcInvalid);
    ASSERT_EQ(Load(set_, 5), kRcOk);
  });
  for (const char* line : {"JWK Set holds an RSA key of less than 2048 bits.", "JWK Set is not a JSON object with a keys array.",
                           "JWK Set holds no key usable for token verification.", "Token key as JWK Set with 6 keys loaded"})
    EXPECT_CONTAINS(trace, line);
  EXPECT_LACKS(trace, kSecretB64);
}

TEST_F(JwkSetLoad, ThreadsShareCachedKeysAndSetsWhileTheSetIsReloaded) {
  // More distinct passed sets and keys than the caches hold, so entries
  // come and go while other threads use them.
  std::vector<std::string> sets;
  for (int n = 0; n < 20; ++n) sets.push_back(Set({Jwk("ec1", R"("x-n":)" + std::to_string(n))}));
  const Bytes& pem = signer_.key("ec1.pem");
  std::vector<std::string> keys;
  for (int n = 0; n < 20; ++n) keys.push_back(std::string(n, '\n') + std::string(pem.begin(), pem.end()));
  std::atomic<int> wrong{0};
  std::atomic<bool> stop{false};
  std::thread loader([&] {
    while (!stop.load()) {
      if (Load(set_, 5) != 0) ++wrong;
      // A load and an evaluation never interleave: the set is whole or not yet replaced.
      if (Eval(token(eddsa_), "") != 0) ++wrong;
    }
  });
  wrong += jwttest::FailuresOnThreads(3, 40, [&](int t, int i) {
    const std::string& key = (i + t) % 2 ? sets[(i * 7 + t) % sets.size()] : keys[(i * 3 + t) % keys.size()];
    return Eval(token(es256_), key) == 0 && Eval(token(es256_other_), key) == 5;
  });
  stop = true;
  loader.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
