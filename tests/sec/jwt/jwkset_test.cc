// The JWK Set parser and the choice of a key: a table of sets with the
// status they must give, and the rules of "kid", "alg", "use" and "key_ops".
#include "sec/jwt/jwkset.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kN2048 = "xQAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAOw";
const std::string kN1024 = "xQAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAADs";
const std::string kX = "UXySZt80fLPNoc7f_5yhQDyE6qgD4VhN2W1GjqLd0iE", kY = "-y4c04bW2A5jJNvU_FMF8um2sutybbYMHIzu1k9XI94", kYOff = "-y4c04bW2A5jJNvU_FMF8um2sutybbYMHIzu1k9XI98";
const std::string kEd = "11qYAYKxCrfVS_7TyWQHOg7hcvPapiMlrwIaaPcHURo";
const std::string kK32 = "MDEyMzQ1Njc4OWFiY2RlZjAxMjM0NTY3ODlhYmNkZWY";

std::string Ec(const std::string& extra = "", const std::string& y = kY) {
  return R"({"kty":"EC","crv":"P-256","x":")" + kX + R"(","y":")" + y + "\"" + extra + "}";
}
std::string Okp(const std::string& extra = "") {
  return R"({"kty":"OKP","crv":"Ed25519","x":")" + kEd + "\"" + extra + "}";
}
std::string Oct(const std::string& extra = "", const std::string& k = kK32) {
  return R"({"kty":"oct","k":")" + k + "\"" + extra + "}";
}
std::string Rsa(const std::string& n = kN2048, const std::string& e = "AQAB", const std::string& extra = "") {
  return R"({"kty":"RSA","n":")" + n + R"(","e":")" + e + "\"" + extra + "}";
}
std::string Set(const std::string& keys) { return R"({"keys":[)" + keys + "]}"; }

JwkSetStatus Parse(const std::string& json, JwkSetRef* out = nullptr) {
  JwkSetRef set;
  const JwkSetStatus st = JwkSetParse(reinterpret_cast<const unsigned char*>(json.data()), json.size(), &set);
  if (out) *out = set;
  return st;
}

TEST(JwkSetParse, EachSetGivesItsStatusAndUsableKeys) {
  const std::vector<std::pair<JwkSetStatus, std::vector<std::string>>> groups = {
      {JwkSetStatus::kBadJson,  // not a set
       {"", "[]", R"({"key":[]})", R"({"keys":{}})", R"({"keys":"x"})", R"({"keys":[1]})", Set(Ec() + ",[]"),
        R"({"keys":[],"keys":[)" + Ec() + "]}", Set(Ec()) + "{}", Set(Ec()) + "x", Set(Ec()).substr(1),
        Set(Ec()).substr(0, 30), R"({"keys"})", R"({"keys":[)" + Ec() + "}"}},
      {JwkSetStatus::kNoUsableKey,
       {Set(""), Set(R"({"kty":"EC","crv":"P-256","x":")" + kX + R"("})"),
        Set(Ec("", kYOff)),                  // point off the curve
        Set(Ec(R"(,"crv":"P-256")")),        // member twice
        Set(R"({"kty":"EC","crv":"P-384","x":")" + kX + R"(","y":")" + kY + R"("})"),  // P-256 values, P-384 name
        Set(R"({"kty":"OKP","crv":"X25519","x":")" + kEd + R"("})"),
        Set(R"({"kty":"OKP","crv":"Ed448","x":")" + kEd + R"("})"), Set(Oct("", "")), Set(Oct("", "!!!!")),
        Set(R"({"kty":"DSA","k":"AAAA"})"), Set(R"({"kty":7,"k":"AAAA"})"), Set(Ec(R"(,"use":"enc")")),
        Set(Ec(R"(,"use":7)")), Set(Ec(R"(,"key_ops":["sign"])")), Set(Ec(R"(,"key_ops":"verify")")),
        Set(Ec(R"(,"alg":"ES384")")), Set(Ec(R"(,"alg":"ECDH-ES")")),
        Set(Oct(R"(,"alg":"HS512")")),       // 32 bytes for a 64-byte MAC
        Set(Oct(R"(,"alg":"RS256")")),
        Set(Rsa(kN2048, "AQAA")),            // even exponent
        Set(Rsa(kN2048, "AQ")),              // exponent 1
        Set(Rsa(kN2048, "AQAB", R"(,"alg":"ES256")"))}},
      // An RSA key under 2048 bits spoils the set, whatever else it holds.
      {JwkSetStatus::kWeakRsa, {Set(Ec() + "," + Rsa(kN1024)), Set(Rsa(kN1024, "AQAB", R"(,"use":"enc")"))}},
  };
  for (const auto& [status, sets] : groups)
    for (const std::string& json : sets) EXPECT_EQ(Parse(json), status) << json;
  // Usable keys, also next to unusable ones.
  const std::pair<std::string, size_t> usable[] = {
      {Set(Ec() + "," + Okp() + "," + Oct() + "," + Rsa()), 4}, {" \n" + Set(Ec()) + "\t ", 1},
      {Set(Ec(R"(,"use":"sig","key_ops":["sign","verify"],"alg":"ES256")") + "," + Okp(R"(,"use":"enc")")), 1},
      {Set(Oct(R"(,"alg":"HS256")") + "," + R"({"kty":"foo"})"), 1},
  };
  for (const auto& [json, keys] : usable) {
    JwkSetRef set;
    ASSERT_EQ(Parse(json, &set), JwkSetStatus::kOk) << json;
    EXPECT_EQ(set->keys.size(), keys) << json;
  }
}

const Jwk* Pick(const JwkSet& set, JWT_ALG_TYPE alg, const char* kid, JwkPick want) {
  const Jwk* k = nullptr;
  const JwkPick got =
      JwkSetSelect(set, alg, reinterpret_cast<const unsigned char*>(kid), kid ? strlen(kid) : 0, &k);
  EXPECT_EQ(static_cast<int>(got), static_cast<int>(want)) << (kid ? kid : "(no kid)") << " alg " << alg;
  return got == JwkPick::kFound ? k : nullptr;
}

TEST(JwkSetSelect, KidAndAlgorithmChooseOneKey) {
  JwkSetRef set;
  ASSERT_EQ(Parse(Set(Ec(R"(,"kid":"a")") + "," + Ec(R"(,"kid":"b","alg":"ES256")") + "," + Okp(R"(,"kid":"a")") +
                      "," + Oct(R"(,"kid":"h")") + "," + Rsa(kN2048, "AQAB", R"(,"kid":"r","alg":"PS256")") + "," +
                      Ec(R"(,"kid":"e","use":"enc")")),
                  &set),
            JwkSetStatus::kOk);
  ASSERT_EQ(set->keys.size(), 5u);
  // The same "kid" on an EC and an OKP key: the algorithm tells them apart.
  const Jwk* k = Pick(*set, JWT_ALG_ES256, "a", JwkPick::kFound);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(JwsKeyKindOf(*k->key), JwsKeyKind::kP256);
  k = Pick(*set, JWT_ALG_EDDSA, "a", JwkPick::kFound);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(JwsKeyKindOf(*k->key), JwsKeyKind::kEd25519);
  EXPECT_NE(Pick(*set, JWT_ALG_HS256, "h", JwkPick::kFound), nullptr);
  EXPECT_NE(Pick(*set, JWT_ALG_PS256, "r", JwkPick::kFound), nullptr);
  EXPECT_NE(Pick(*set, JWT_ALG_EDDSA, nullptr, JwkPick::kFound), nullptr);
  Pick(*set, JWT_ALG_ES384, "a", JwkPick::kKidDoesNotFit);
  Pick(*set, JWT_ALG_RS256, "r", JwkPick::kKidDoesNotFit);  // its "alg" is PS256
  Pick(*set, JWT_ALG_HS256, "r", JwkPick::kKidDoesNotFit);  // public keys are no secrets
  Pick(*set, JWT_ALG_ES256, "h", JwkPick::kKidDoesNotFit);  // nor secrets public keys
  Pick(*set, JWT_ALG_HS384, "h", JwkPick::kKidDoesNotFit);  // 32 bytes for a 48-byte MAC
  Pick(*set, JWT_ALG_ES256, "e", JwkPick::kKidDoesNotFit);  // for encryption only
  Pick(*set, JWT_ALG_ES256, "A", JwkPick::kUnknownKid);
  Pick(*set, JWT_ALG_ES256, "", JwkPick::kUnknownKid);
  Pick(*set, JWT_ALG_ES256, nullptr, JwkPick::kSeveralFit);
  Pick(*set, JWT_ALG_ES512, nullptr, JwkPick::kNoneFits);
  Pick(*set, JWT_ALG_UNDEFINED, "a", JwkPick::kKidDoesNotFit);
}

TEST(JwkSetSelect, PassedBytesAreParsedOnceAndJsonIsToldFromOtherKeys) {
  const std::string json = Set(Ec(R"(,"kid":"a")"));
  const auto* p = reinterpret_cast<const unsigned char*>(json.data());
  const JwkSetRef first = JwkSetFromKeyBytes(p, json.size());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(JwkSetFromKeyBytes(p, json.size()), first);
  EXPECT_EQ(JwkSetFromKeyBytes(p, json.size() - 1), nullptr);
  for (const char* yes : {"{}", " {\"a\":1}\n", "{x}"})
    EXPECT_TRUE(JwkSetIsJson(reinterpret_cast<const unsigned char*>(yes), strlen(yes))) << yes;
  for (const char* no : {"", "{", " } ", "[]", "-----BEGIN PUBLIC KEY-----", "{ secret", "a{}"})
    EXPECT_FALSE(JwkSetIsJson(reinterpret_cast<const unsigned char*>(no), strlen(no))) << no;
}

}  // namespace
