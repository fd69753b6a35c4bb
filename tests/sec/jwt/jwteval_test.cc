// JWT evaluation against tokens of outside signers: the RFC 7515 examples,
// python-signed tokens of all six algorithms, the known attack classes and
// every claim rule with a pinned clock.
#include <gtest/gtest.h>

#include "sec/jwt/jwttest.h"

namespace {

using namespace jwttest;

constexpr int64_t kNow = 1800000000;  // 2027-01-15
const std::string kSecret = "a 32-byte secret for HS256 tests";
const std::string kHs256 = R"({"alg":"HS256","typ":"JWT"})";

class JwtEval : public jwttest::Started {};

std::vector<std::string> RfcFields() {
  return jwttest::Lines(jwttest::ShOut(
      "/usr/bin/python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); a=d[\"a1_hs256\"]; b=d[\"a2_rs256\"];"
      "print(a[\"token\"]); print(a[\"key_hex\"]); print(b[\"token\"]); print(b[\"certificate_der_base64\"]);"
      "print(b[\"public_key_der_base64\"])' " + jwttest::RfcExamples()));
}

Bytes DerOf(const std::string& b64) { return ToBytes(FromBase64(b64)); }

TEST_F(JwtEval, Rfc7515ExamplesVerifyAndAreExpired) {
  const auto f = RfcFields();
  ASSERT_EQ(f.size(), 5u);
  const Bytes hmac_key = jwttest::FromHex(f[1]), cert = DerOf(f[3]), spki = DerOf(f[4]);
  Info i;
  // Signatures are good, so the 2011 "exp" decides.
  EXPECT_EQ(jwttest::Eval(f[0], hmac_key, &i.info), JWT_RC_EXPIRED);
  EXPECT_STREQ(i.info.lastError, "JWT is expired");
  EXPECT_EQ(jwttest::Eval(f[2], cert, &i.info), JWT_RC_EXPIRED);
  // One second before "exp" both are valid, with the certificate or the bare key.
  jwttest::PinClock(1300819379);
  for (const auto& [token, key] : {std::pair{f[0], hmac_key}, {f[2], cert}, {f[2], spki}}) {
    Info ok;
    ASSERT_EQ(jwttest::Eval(token, key, &ok.info), JWT_RC_OK) << ok.error();
    EXPECT_EQ(ok.iss() + "|" + ok.body(),
              "joe|{\"iss\":\"joe\",\r\n \"exp\":1300819380,\r\n \"http://example.com/is_root\":true}");
  }
  jwttest::PinClock(1300819380);
  EXPECT_EQ(jwttest::Eval(f[0], hmac_key, &i.info), JWT_RC_EXPIRED);
  // A flipped signature bit is caught before the claims.
  std::string bad = f[2];
  bad[bad.size() - 5] ^= 1;
  EXPECT_EQ(jwttest::Eval(bad, cert, &i.info), JWT_RC_SIGNATURE);
}

TEST_F(JwtEval, AllSixAlgorithmsWithSeveralKeySizesFillTheRecord) {
  const std::string body = R"({"sub":"alice","iss":"idp","jti":"id-7","aud":"app1 app2","iat":1700000000,"exp":4102444800,"email":"a@x"})";
  struct Row {
    std::string alg, secret, rsa;  // rsa: "<name>:<bits>" or "rfc" of an RS signer
  };
  std::vector<Row> rows;
  for (const char* alg : {"HS256", "HS384", "HS512"})
    for (size_t n : {1, 32, 64, 200}) rows.push_back({alg, std::string(n, static_cast<char>('k' + n % 7)), ""});
  rows.insert(rows.end(), {{"RS256", "", "r2048:2048"}, {"RS384", "", "r3072:3072"}, {"RS512", "", "r4096:4096"},
                           {"RS512", "", "rfc"}});
  Signer s;
  for (const Row& r : rows)
    s.Add(r.alg, r.rsa.empty() ? "secret:" + jwttest::Hex(r.secret) : r.rsa == "rfc" ? "rfc" : "rsa:" + r.rsa,
          R"({"alg":")" + r.alg + (r.rsa.empty() ? R"(","typ":"JWT)" : "") + R"(","kid":"k-)" + r.alg + "\"}", body);
  s.Run();
  for (size_t t = 0; t < rows.size(); ++t) {
    const Row& r = rows[t];
    const Bytes key = r.rsa.empty() ? ToBytes(r.secret) : s.key(r.rsa.substr(0, r.rsa.find(':')) + ".cert");
    Info i;
    ASSERT_EQ(jwttest::Eval(s.token(t), key, &i.info, "email"), JWT_RC_OK) << r.alg << " " << i.error();
    EXPECT_EQ(i.info.tAlgId, 1 + (r.rsa.empty() ? 0 : 3) + (r.alg[2] == '2' ? 0 : r.alg[2] == '3' ? 1 : 2)) << r.alg;
    EXPECT_EQ(i.Claims(), "alice|idp|id-7|app1 app2|a@x|k-" + r.alg);
    EXPECT_EQ(i.info.issuedAt, 1700000000);
    EXPECT_EQ(i.body(), body);
    // Body values point into the caller's copy.
    EXPECT_EQ(i.info.pSubject, i.info.pPayloadBuffer + body.find("alice"));
  }
}

TEST_F(JwtEval, AttackClassesGiveTheirExactResults) {
  const std::string body = R"({"sub":"alice","exp":4102444800})";
  std::string deep = R"({"sub":"alice","n":)";
  for (int d = 0; d < 10000; ++d) deep += R"({"ab":)";
  deep += "1" + std::string(10000, '}') + "}";
  const struct { std::string header, body; int32_t rc; } as_signed[] = {
      {kHs256, body, JWT_RC_OK},
      {R"({"alg":"none"})", body, JWT_RC_HEADER},
      {R"({"typ":"JWT"})", body, JWT_RC_HEADER},
      {"{}", body, JWT_RC_HEADER},
      {R"({"alg":"HS256","typ":"JWS"})", body, JWT_RC_HEADER},
      // Bodies that are not one whole object, or too dense for one token per three bytes.
      {kHs256, R"(["sub","alice"])", JWT_RC_MALFORMED},
      {kHs256, R"("alice")", JWT_RC_MALFORMED},
      {kHs256, R"({"a":1})", JWT_RC_MALFORMED},
      {kHs256, R"({"sub":alice})", JWT_RC_MALFORMED},
      // Deep nesting costs no recursion; a token of several megabytes is fine.
      {kHs256, deep, JWT_RC_OK},
      {kHs256, R"({"n":)" + std::string(10000, '[') + std::string(10000, ']') + "}", JWT_RC_MALFORMED},
      {kHs256, R"({"sub":"alice","pad":")" + std::string(3 << 20, 'x') + "\"}", JWT_RC_OK},
  };
  Signer s;
  for (const auto& c : as_signed) s.Add("HS256", "secret:" + jwttest::Hex(kSecret), c.header, c.body);
  const size_t rs = s.Add("RS256", "rfc", R"({"alg":"RS256"})", body);
  s.Run();
  const Bytes key = ToBytes(kSecret), cert = s.key("rfc.cert");
  auto eval = [&](const std::string& token, const Bytes& k = {}) {
    Info i(4 << 20);
    return jwttest::Eval(token, k.empty() ? key : k, &i.info);
  };
  for (size_t n = 0; n < std::size(as_signed); ++n) EXPECT_EQ(eval(s.token(n)), as_signed[n].rc) << as_signed[n].header << n;
  EXPECT_GT(s.token(std::size(as_signed) - 1).size(), 4000000u);
  // Key confusion: an HS token MAC'd with the RSA certificate or public key as secret.
  Signer conf;
  const char* const public_keys[] = {"rfc.cert", "rfc.spki", "rfc.pem"};
  for (const char* which : public_keys) conf.Add("HS256", "secret:" + jwttest::Hex(s.key(which)), kHs256, body);
  conf.Run();
  for (size_t n = 0; n < std::size(public_keys); ++n)
    EXPECT_EQ(eval(conf.token(n), s.key(public_keys[n])), JWT_RC_SIGNATURE) << public_keys[n];
  // An RS token checked with an HMAC secret, and the RS token itself.
  EXPECT_EQ(eval(s.token(rs), key), JWT_RC_SIGNATURE);
  EXPECT_EQ(eval(s.token(rs), cert), JWT_RC_OK);
  const std::string& t = s.token(0);
  const size_t d1 = t.find('.'), d2 = t.find('.', d1 + 1);
  std::string payload_changed = t, header_changed = t;
  payload_changed[d1 + 3] = payload_changed[d1 + 3] == 'a' ? 'b' : 'a';
  header_changed[2] = 'X';
  EXPECT_NE(eval(header_changed), JWT_RC_OK);
  const std::pair<std::string, int32_t> altered[] = {
      // Signature stripped, truncated, one byte longer; payload tampered.
      {t.substr(0, d2 + 1), JWT_RC_SIGNATURE},
      {t.substr(0, t.size() - 4), JWT_RC_SIGNATURE},
      {t + "AA", JWT_RC_SIGNATURE},
      {payload_changed, JWT_RC_SIGNATURE},
      // Foreign characters and padding change the signed text, though they decode alike.
      {t.substr(0, d1) + "!" + t.substr(d1), JWT_RC_SIGNATURE},
      {t.substr(0, d2) + "==" + t.substr(d2), JWT_RC_SIGNATURE},
      // A further dot lands in the signature text, which the lenient decoder skips.
      {t.substr(0, d2 + 5) + "." + t.substr(d2 + 5), JWT_RC_OK},
      {t + ".x", JWT_RC_SIGNATURE},
      // Two parts, empty parts, empty token.
      {t.substr(0, d2), JWT_RC_MALFORMED},
      {t.substr(d1), JWT_RC_MALFORMED},
      {t.substr(0, d1 + 1) + t.substr(d2), JWT_RC_MALFORMED},
      {t.substr(0, d1 + 1), JWT_RC_MALFORMED},
      {".", JWT_RC_MALFORMED},
  };
  for (const auto& [token, rc] : altered) EXPECT_EQ(eval(token), rc) << token.substr(0, 80);
}

TEST_F(JwtEval, TimeClaimsFollowTheirRulesAtAPinnedSecond) {
  const std::string n = std::to_string(kNow);
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {R"("exp":)" + n, JWT_RC_EXPIRED},
      {R"("exp":)" + std::to_string(kNow + 1), JWT_RC_OK},
      {R"("exp":")" + std::to_string(kNow + 1) + "\"", JWT_RC_OK},  // quoted number
      {R"("exp":")" + n + ".9\"", JWT_RC_EXPIRED},                  // fraction dropped
      {R"("exp":)" + n + ".9", JWT_RC_EXPIRED},
      {R"("exp":-5)", JWT_RC_EXPIRED},
      {R"("exp":"soon")", JWT_RC_EXPIRED},
      {R"("exp":99999999999999999999999)", JWT_RC_OK},              // saturates
      {R"("exp":{"t":1})", JWT_RC_EXPIRED},
      {R"("nbf":)" + n, JWT_RC_NOT_YET_VALID},
      {R"("nbf":)" + std::to_string(kNow + 100), JWT_RC_NOT_YET_VALID},
      {R"("nbf":)" + std::to_string(kNow - 1), JWT_RC_OK},
      {R"("nbf":"x")", JWT_RC_OK},
      {R"("exp":4102444800,"exp":4102444800)", JWT_RC_DUPLICATE},
      {R"("nbf":5,"nbf":5)", JWT_RC_DUPLICATE},
      {R"("iat":5,"iat":6)", JWT_RC_DUPLICATE},
      {R"("iat":0,"iat":6)", JWT_RC_OK},
      {R"("sub":"a","sub":"a")", JWT_RC_DUPLICATE},
      {R"("jti":"a","jti":"b")", JWT_RC_DUPLICATE},
      {R"("aud":"a","aud":"b")", JWT_RC_DUPLICATE},
      {R"("iss":"a","iss":"b")", JWT_RC_DUPLICATE},
      {R"("subject":"a","subject":"b")", JWT_RC_OK},                // not "sub"
      {R"("x":{"sub":"a"},"sub":"b")", JWT_RC_DUPLICATE},          // any depth
  };
  Signer s;
  for (const auto& c : cases) s.AddHs("HS256", kSecret, "{" + c.first + R"(,"pad":"0123456789"})");
  s.Run();
  jwttest::PinClock(kNow);
  for (size_t i = 0; i < cases.size(); ++i) {
    Info info;
    EXPECT_EQ(jwttest::Eval(s.token(i), ToBytes(kSecret), &info.info), cases[i].second) << cases[i].first;
  }
}

TEST_F(JwtEval, RequiredValuesAndTheUserAttribute) {
  Signer s;
  s.AddHs("HS256", kSecret, R"({"sub":"alice","iss":"idp","jti":"j1","aud":"app1 app2","mail":"a@x","obj":{"k":"v"}})");
  s.AddHs("HS256", kSecret, R"({"sub":{"name":"alice"},"mail":""})");
  s.Run();
  using Ptr = const unsigned char* JWT_INFO::*;
  using Len = size_t JWT_INFO::*;
  const struct {
    size_t token;
    const char* name_id;
    Ptr p;
    Len n;  // null: a pointer without a length, which requires nothing
    const char* value;
    int32_t rc;
    std::string error;
  } rows[] = {
      {0, "mail", nullptr, nullptr, "", JWT_RC_OK, ""},
      {0, "email", nullptr, nullptr, "", JWT_RC_NO_NAME_ID, "JWT is without name id attribute"},
      {1, "mail", nullptr, nullptr, "", JWT_RC_NO_NAME_ID, ""},  // empty value
      {0, nullptr, &JWT_INFO::pSubject, &JWT_INFO::lSubject, "alice", JWT_RC_OK, ""},
      {0, nullptr, &JWT_INFO::pSubject, &JWT_INFO::lSubject, "alic", JWT_RC_CLAIM_DIFFERS,
       "JWT is with different subject attribute"},
      {0, nullptr, &JWT_INFO::pIssuer, &JWT_INFO::lIssuer, "other", JWT_RC_CLAIM_DIFFERS, ""},
      {0, nullptr, &JWT_INFO::pJTI, &JWT_INFO::lJTI, "j1", JWT_RC_OK, ""},
      {1, nullptr, &JWT_INFO::pIssuer, &JWT_INFO::lIssuer, "idp", JWT_RC_CLAIM_MISSING, "JWT is without issuer attribute"},
      {1, nullptr, &JWT_INFO::pJTI, &JWT_INFO::lJTI, "j1", JWT_RC_CLAIM_MISSING, ""},
      // A nested object where a string is expected is compared as its text.
      {1, nullptr, &JWT_INFO::pSubject, &JWT_INFO::lSubject, "alice", JWT_RC_CLAIM_DIFFERS, ""},
      // The audience only has to occur inside the token's value.
      {0, nullptr, &JWT_INFO::pAudience, &JWT_INFO::lAudience, "app2", JWT_RC_OK, ""},
      {0, nullptr, &JWT_INFO::pAudience, &JWT_INFO::lAudience, "app1 app2 app3", JWT_RC_CLAIM_DIFFERS,
       "JWT audience is not valid for requested value"},
      {1, nullptr, &JWT_INFO::pAudience, &JWT_INFO::lAudience, "app1", JWT_RC_CLAIM_MISSING, ""},
      {1, nullptr, &JWT_INFO::pIssuer, nullptr, "x", JWT_RC_OK, ""},
  };
  for (const auto& r : rows) {
    Info i;
    if (r.p) i.info.*r.p = reinterpret_cast<const unsigned char*>(r.value);
    if (r.n) i.info.*r.n = strlen(r.value);
    EXPECT_EQ(jwttest::Eval(s.token(r.token), ToBytes(kSecret), &i.info, r.name_id), r.rc) << r.value;
    EXPECT_TRUE(r.error.empty() || i.error() == r.error) << i.error();
  }
}

TEST_F(JwtEval, RecordSizesThePayloadBufferAndTheKeyId) {
  Signer s;
  const std::string body = R"({"sub":"alice","exp":4102444800})";
  s.AddHs("HS256", kSecret, body, R"({"alg":"HS256","kid":"key-1"})");
  s.AddHs("HS256", kSecret, body, R"({"alg":"HS256","kid":"a","kid":"b"})");
  s.AddHs("HS256", kSecret, body, R"({"alg":"HS2567","algorithm":"x"})");
  s.AddHs("HS256", kSecret, body);
  s.AddHs("HS256", kSecret, R"({"exp":1})", R"({"alg":"HS256","kid":"old"})");
  s.Run();
  const Bytes key = ToBytes(kSecret);
  Info small;
  small.info.struct_size = 624;
  EXPECT_EQ(jwttest::Eval(s.token(0), key, &small.info), JWT_RC_STRUCT_SIZE);
  EXPECT_EQ(small.error(), "Wrong structure size. Expected at least 624, but received 624");
  // A record of 632 bytes has no room for the key id: left as it was, with or without one.
  Info older;
  older.info.struct_size = 632;
  older.info.pKeyId = reinterpret_cast<const unsigned char*>("mine");
  older.info.lKeyId = 4;
  ASSERT_EQ(jwttest::Eval(s.token(0), key, &older.info), JWT_RC_OK);
  EXPECT_EQ(older.info.tAlgId, JWT_ALG_HS256);
  EXPECT_EQ(jwttest::Eval(s.token(1), key, &older.info), JWT_RC_OK);  // "kid" not read at 632
  EXPECT_EQ(jwttest::Eval(s.token(3), key, &older.info), JWT_RC_OK);
  EXPECT_EQ(older.kid(), "mine");
  Info full;
  EXPECT_EQ(jwttest::Eval(s.token(1), key, &full.info), JWT_RC_DUPLICATE);
  EXPECT_EQ(full.error(), "Invalid JWT attribute KeyId already parsed");
  EXPECT_EQ(jwttest::Eval(s.token(2), key, &full.info), JWT_RC_OK);  // five bytes of "alg" decide
  // The key id is stored after the header walk, also for failed tokens, and cleared without one.
  EXPECT_EQ(jwttest::Eval(s.token(0), ToBytes("another secret"), &full.info), JWT_RC_SIGNATURE);
  EXPECT_EQ(full.kid(), "key-1");
  EXPECT_EQ(jwttest::Eval(s.token(3), key, &full.info), JWT_RC_OK);
  EXPECT_TRUE(full.info.pKeyId == nullptr && full.info.lKeyId == 0);
  EXPECT_EQ(jwttest::Eval(s.token(4), key, &full.info), JWT_RC_EXPIRED);
  EXPECT_EQ(full.kid(), "old");
  // One byte short: nothing copied, yet valid; out-pointers stay readable.
  Info short_buf(body.size() - 1);
  ASSERT_EQ(jwttest::Eval(s.token(0), key, &short_buf.info), JWT_RC_OK);
  EXPECT_EQ(short_buf.info.lPayLoadBuffer, 0u);
  EXPECT_EQ(short_buf.payload[0], 0);
  EXPECT_EQ(short_buf.sub() + "|" + short_buf.kid(), "alice|key-1");
  // Without a record only the result is reported.
  EXPECT_EQ(jwttest::Eval(s.token(0), key, nullptr), JWT_RC_OK);
}

TEST_F(JwtEval, ExportedEntryChecksInputFoldsResultsToFiveAndKeepsToStructSize) {
  Signer s;
  s.AddHs("HS256", kSecret, R"({"sub":"alice"})");
  s.Run();
  const std::string& t = s.token(0);
  const Bytes key = ToBytes(kSecret);
  Info i;
  EXPECT_EQ(TavriEvalJWToken(t.data(), t.size(), key.data(), key.size(), nullptr, &i.info), 0);
  EXPECT_EQ(TavriEvalJWToken(t.data(), t.size(), key.data(), key.size(), "mail", &i.info), 5);
  EXPECT_EQ(i.error(), "JWT is without name id attribute");
  EXPECT_EQ(TavriEvalJWToken(nullptr, 0, key.data(), key.size(), nullptr, &i.info), 15);
  EXPECT_EQ(i.error(), "Missing input buffer pointer for JWT.");
  EXPECT_EQ(TavriEvalJWToken(t.data(), t.size(), key.data(), key.size(), nullptr, nullptr), 15);
  i.info.lPayLoadBuffer = 0;
  EXPECT_EQ(TavriEvalJWToken(t.data(), t.size(), key.data(), key.size(), nullptr, &i.info), 15);
  EXPECT_EQ(i.error(), "Missing input buffer pointer for JWT payload.");
  Info sized;
  sized.info.struct_size = 600;
  EXPECT_EQ(TavriEvalJWToken(t.data(), t.size(), key.data(), key.size(), nullptr, &sized.info), 5);
  // Fields past struct_size are neither read nor written, nor traced.
  std::string trace = Traced("3", [&] {
    // Payload pointer and length lie beyond a record of 8 or 16 bytes; lastError
    // beyond one of 500 bytes, so it is never read for the trace either.
    for (auto [size, rc] : {std::pair{8u, 15}, {16u, 15}, {500u, 5}}) {
      Info rec;
      rec.info.struct_size = size;
      memset(rec.info.lastError, 'Z', sizeof rec.info.lastError);
      EXPECT_EQ(TavriEvalJWToken(t.data(), t.size(), key.data(), key.size(), nullptr, &rec.info), rc) << size;
      EXPECT_EQ(rec.info.lastError[0], 'Z');
    }
  });
  EXPECT_LACKS(trace, "ZZZZ");
  EXPECT_CONTAINS(trace, "Error from JwtEvalToken (rc=15):  [ssoxxjwt");
  EXPECT_EQ(jwttest::CountOf(trace, "Missing input buffer pointer for JWT payload ["), 2u);
  // The key loaded as HMAC secret (type 2) serves when none is passed.
  ASSERT_EQ(TavriLoadTicketKey(key.data(), static_cast<int32_t>(key.size()), nullptr, 0, 2), 0);
  Info loaded;
  EXPECT_EQ(TavriEvalJWToken(t.data(), t.size(), nullptr, 0, nullptr, &loaded.info), 0);
  ASSERT_EQ(TavriShutdown(), 0);
  EXPECT_EQ(TavriEvalJWToken(t.data(), t.size(), key.data(), key.size(), nullptr, &i.info), 9);
  EXPECT_EQ(i.error(), "TavriInitialize must be called first.");
}

TEST_F(JwtEval, LoadedCertificateIsNeverAnHmacSecret) {
  const auto f = RfcFields();
  ASSERT_EQ(f.size(), 5u);
  const std::string pem = "-----BEGIN CERTIFICATE-----\n" + f[3] + "\n-----END CERTIFICATE-----\n";
  const Bytes der = DerOf(f[3]);
  Signer s;
  for (const std::string& k : {std::string(der.begin(), der.end()), pem, f[3]})
    s.Add("HS256", "secret:" + jwttest::Hex(k), kHs256, R"({"sub":"alice"})");
  s.Run();
  // Loaded as a certificate (types 1 and 4), in DER, PEM and bare Base64.
  const std::vector<Bytes> loaded = {der, ToBytes(pem), ToBytes(f[3])};
  for (int32_t type : {1, 4}) {
    for (size_t n = 0; n < loaded.size(); ++n) {
      ASSERT_EQ(TavriLoadTicketKey(loaded[n].data(), static_cast<int32_t>(loaded[n].size()), nullptr, 0, type), 0);
      Info i;
      EXPECT_EQ(TavriEvalJWToken(s.token(n).data(), s.token(n).size(), nullptr, 0, nullptr, &i.info), 5) << n;
      EXPECT_EQ(i.error(), "JWT signature validation failed");
    }
  }
}

TEST_F(JwtEval, ModuleStartsOnceAndRefusesAnEmptySecret) {
  EXPECT_EQ(JwtInitializeExtern(nullptr), 0);  // already started by TavriInitialize
  EXPECT_EQ(JwtShutdown(), 0);
  Signer s;
  s.AddHs("HS256", "", R"({"sub":"alice"})");
  s.Run();
  Info i;
  EXPECT_EQ(jwttest::Eval(s.token(0), Bytes(), &i.info), JWT_RC_SIGNATURE);
  EXPECT_STREQ(i.info.lastError, "JWT signature validation failed");
}

}  // namespace

TEST_F(JwtEval, TraceShowsNoSecretForRsTokensAndTellsHmacIsNotTracedOnEveryPath) {
  Signer s;
  const std::string body = R"({"sub":"alice"})";
  const size_t rs = s.Add("RS256", "rsa:k1:2048", R"({"alg":"RS256"})", body);
  const size_t hs = s.AddHs("HS256", kSecret, body);
  s.Run();
  const Bytes secret = ToBytes(kSecret), spki = s.key("k1.spki"), cert = s.key("k1.cert");
  const std::string trace = Traced("3", [&] {
    Info i;
    EXPECT_EQ(jwttest::Eval(s.token(rs), secret, &i.info), JWT_RC_SIGNATURE);
    EXPECT_EQ(jwttest::Eval(s.token(rs), spki, &i.info), JWT_RC_OK);
    EXPECT_EQ(jwttest::Eval(s.token(hs), cert, &i.info), JWT_RC_SIGNATURE);  // a certificate is no secret
  });
  EXPECT_LACKS(trace, kSecret);
  EXPECT_CONTAINS(trace, "Public Key is the following: 32 bytes, no public key or certificate (not shown).\n");
  EXPECT_CONTAINS(trace, "Public Key is the following: >>>");
  EXPECT_CONTAINS(trace, "HMAC is not traced here.\n");
}
