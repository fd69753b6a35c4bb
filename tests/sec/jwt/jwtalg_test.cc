// JWS algorithms beyond HS and RS (ES, PS, EdDSA), JWK Sets chosen by
// "kid", and the header rules that go with them, against tokens and keys
// of outside signers (PyJWT, python cryptography, RFC 8037).
#include <gtest/gtest.h>

#include "sec/jwt/jwttest.h"

namespace {

using namespace jwttest;

const std::string kSecret = "a 32-byte secret for HS256 tests";
const std::string kBody = R"({"sub":"alice","exp":4102444800})";

class JwtAlg : public jwttest::Started {};

// "crit" anywhere in the header is refused, and so are algorithm names
// that are not whole; the signature does not matter for either. Only a
// member of the header named exactly "crit" counts.
TEST_F(JwtAlg, HeaderWithCritOrAPartAlgorithmNameIsRefused) {
  const struct { const char* header; int32_t rc; const char* error; } cases[] = {
      {R"({"alg":"ES2560"})", JWT_RC_HEADER, "JWT signature algorithm not valid"},
      {R"({"alg":"eddsa"})", JWT_RC_HEADER, "JWT signature algorithm not valid"},
      {R"({"alg":"HS256","crit":["exp"],"exp":1})", JWT_RC_HEADER,
       "JWT header lists critical extensions (crit), none is supported"},
      {R"({"crit":[],"alg":"HS256"})", JWT_RC_HEADER, "JWT header lists critical extensions (crit), none is supported"},
      {R"({"alg":"HS256","x":"crit"})", JWT_RC_OK, ""}, {R"({"alg":"HS256","x":{"crit":["a"]}})", JWT_RC_OK, ""},
      {R"({"alg":"HS256","critical":1})", JWT_RC_OK, ""},
  };
  Signer s;
  for (const auto& c : cases) s.Add("HS256", "secret:" + jwttest::Hex(kSecret), c.header, kBody);
  s.Run();
  for (size_t t = 0; t < std::size(cases); ++t) {
    Info i;
    EXPECT_EQ(jwttest::Eval(s.token(t), ToBytes(kSecret), &i.info), cases[t].rc) << cases[t].header;
    EXPECT_EQ(i.error(), cases[t].error);
  }
}

struct AlgCase {
  const char* alg;
  const char* key;  // make_jws.py KEYREF
  JWT_ALG_TYPE id;
};
const AlgCase kAlgCases[] = {
    {"ES256", "p256:p256", JWT_ALG_ES256},       {"ES384", "p384:p384", JWT_ALG_ES384},
    {"ES512", "p521:p521", JWT_ALG_ES512},       {"PS256", "r2048:rsa2048", JWT_ALG_PS256},
    {"PS384", "r3072:rsa3072", JWT_ALG_PS384},   {"PS512", "r2048:rsa2048", JWT_ALG_PS512},
    {"EdDSA", "ed25519:ed25519", JWT_ALG_EDDSA}, {"EdDSA", "ed448:ed448", JWT_ALG_EDDSA},
};

// `token` with its header rewritten by `edit`; the signature stays.
std::string WithHeader(const std::string& token, const std::string& from, const std::string& to) {
  const size_t d = token.find('.');
  std::string h = jwttest::FromBase64(token.substr(0, d));
  h.replace(h.find(from), from.size(), to);
  return jwttest::Base64(h, true) + token.substr(d);
}

std::string KeyName(const char* ref) { return std::string(ref).substr(0, std::string(ref).find(':')); }

TEST_F(JwtAlg, EveryAddedAlgorithmVerifiesWithCertificatePublicKeyAndPem) {
  const std::string body = R"({"sub":"alice","iss":"idp","exp":4102444800})";
  Signer s("make_jws.py");
  for (const AlgCase& c : kAlgCases) s.Add(c.alg, c.key, R"({"kid":"k1"})", body);
  s.Run();
  for (size_t t = 0; t < std::size(kAlgCases); ++t) {
    const AlgCase& c = kAlgCases[t];
    for (const char* form : {".cert", ".spki", ".pem"}) {
      Info i;
      ASSERT_EQ(jwttest::Eval(s.token(t), s.key(KeyName(c.key) + form), &i.info), JWT_RC_OK)
          << c.alg << form << " " << i.error();
      EXPECT_EQ(i.info.tAlgId, c.id);
      EXPECT_EQ(i.sub() + "|" + i.kid(), "alice|k1");
    }
    // One flipped bit in the signature, or in the signed header, is caught.
    std::string bad = s.token(t);
    bad[bad.size() - 3] = bad[bad.size() - 3] == 'A' ? 'B' : 'A';
    Info i;
    EXPECT_EQ(jwttest::Eval(bad, s.key(KeyName(c.key) + ".cert"), &i.info), JWT_RC_SIGNATURE) << c.alg;
    EXPECT_EQ(i.error(), "JWT signature validation failed");
    bad = s.token(t);
    bad[1] = bad[1] == 'y' ? 'z' : 'y';
    EXPECT_NE(jwttest::Eval(bad, s.key(KeyName(c.key) + ".cert"), &i.info), JWT_RC_OK) << c.alg;
  }
}

TEST_F(JwtAlg, Rfc8037Ed25519ExampleVerifiesThenFailsOnItsTextBody) {
  const auto f = jwttest::Lines(jwttest::ShOut(
      "/usr/bin/python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(d[\"compact\"]);"
      "print(d[\"public_key_pem\"].encode().hex()); print(json.dumps({\"keys\":[d[\"jwk_public\"]]}))' " +
      std::string(QOR_TEST_DATA_DIR) + "/jwt/rfc8037-eddsa.json"));
  ASSERT_EQ(f.size(), 3u);
  const Bytes pem = jwttest::FromHex(f[1]);
  // The payload is no JSON: a good signature reaches the body and stops there.
  for (const Bytes& key : {pem, ToBytes(f[2])}) {
    Info i;
    EXPECT_EQ(jwttest::Eval(f[0], key, &i.info), JWT_RC_MALFORMED) << i.error();
    EXPECT_EQ(i.error(), "Invalid JWT body parsed");
    EXPECT_EQ(i.info.tAlgId, JWT_ALG_EDDSA);
    std::string bad = f[0];
    bad[bad.size() - 2] = bad[bad.size() - 2] == 'A' ? 'B' : 'A';
    EXPECT_EQ(jwttest::Eval(bad, key, &i.info), JWT_RC_SIGNATURE);
  }
}

// A good signature checked with a key of another type or curve, under
// another algorithm name, or in an encoding other than the JWS one (ES:
// fixed-width R || S; PS: MGF1 of the same hash, a salt of hash length).
TEST_F(JwtAlg, KeyOfAnotherTypeOrCurveOrAnotherSignatureEncodingFails) {
  const struct {
    const char* alg;  // make_jws.py request: algorithm, /variant of the encoding
    const char* key;
    const char* checked_with;
    int32_t rc;
  } cases[] = {
      {"ES256", "p256:p256", "p256.cert", JWT_RC_OK}, {"ES256", "p256:p256", "p384.cert", JWT_RC_SIGNATURE},
      {"ES384", "p384:p384", "p256.spki", JWT_RC_SIGNATURE}, {"ES256", "p256:p256", "r2048.cert", JWT_RC_SIGNATURE},
      {"ES256", "p256:p256", "ed25519.cert", JWT_RC_SIGNATURE},
      {"PS256", "r2048:rsa2048", "p256.cert", JWT_RC_SIGNATURE},
      {"PS256", "r2048:rsa2048", "ed25519.spki", JWT_RC_SIGNATURE},
      {"EdDSA", "ed25519:ed25519", "p256.cert", JWT_RC_SIGNATURE},
      {"EdDSA", "ed25519:ed25519", "r2048.spki", JWT_RC_SIGNATURE},
      {"EdDSA", "ed25519:ed25519", "ed448.spki", JWT_RC_SIGNATURE},
      {"EdDSA", "ed448:ed448", "ed25519.spki", JWT_RC_SIGNATURE}, {"EdDSA", "ed448:ed448", "ed448.spki", JWT_RC_OK},
      {"RS256", "r2048:rsa2048", "p256.cert", JWT_RC_SIGNATURE},
      {"PS256", "r1024:rsa1024", "r1024.cert", JWT_RC_SIGNATURE},  // RFC 7518 3.5: PS needs 2048 bits
      // PSS with an empty salt or MGF1 over SHA-1; ECDSA in DER form.
      {"PS384", "r2048:rsa2048", "r2048.spki", JWT_RC_OK},
      {"PS384/salt0", "r2048:rsa2048", "r2048.spki", JWT_RC_SIGNATURE},
      {"PS384/mgf1sha1", "r2048:rsa2048", "r2048.spki", JWT_RC_SIGNATURE},
      {"ES512", "p521:p521", "p521.cert", JWT_RC_OK}, {"ES256/der", "p256:p256", "p256.cert", JWT_RC_SIGNATURE},
      {"ES512/der", "p521:p521", "p521.cert", JWT_RC_SIGNATURE},
  };
  Signer s("make_jws.py");
  for (const auto& c : cases) s.Add(c.alg, c.key, "{}", kBody);
  s.Run();
  for (size_t t = 0; t < std::size(cases); ++t) {
    Info i;
    EXPECT_EQ(jwttest::Eval(s.token(t), s.key(cases[t].checked_with), &i.info), cases[t].rc)
        << cases[t].alg << " " << cases[t].checked_with;
  }
  // PS and RS share the key but not the padding: a header that names the
  // other one does not verify; nor does ES256 under another curve's name.
  const size_t es256 = 0;
  const struct {
    size_t token;
    const char *from, *to, *key;
  } renamed[] = {{5, "PS256", "RS256", "r2048.cert"}, {12, "RS256", "PS256", "r2048.cert"},
                 {es256, "ES256", "ES384", "p256.cert"}};
  Info i;
  for (const auto& r : renamed)
    EXPECT_EQ(jwttest::Eval(WithHeader(s.token(r.token), r.from, r.to), s.key(r.key), &i.info), JWT_RC_SIGNATURE) << r.to;
  // A public key is never an HMAC secret: an HS token MAC'd with its bytes.
  Signer conf;
  const char* const public_keys[] = {"p256.spki", "p256.pem", "ed25519.cert"};
  for (const char* k : public_keys) conf.Add("HS256", "secret:" + jwttest::Hex(s.key(k)), R"({"alg":"HS256"})", kBody);
  conf.Run();
  for (size_t n = 0; n < std::size(public_keys); ++n)
    EXPECT_EQ(jwttest::Eval(conf.token(n), s.key(public_keys[n]), &i.info), JWT_RC_SIGNATURE) << public_keys[n];
  // R || S one byte short or long, or all zero.
  const std::string& t = s.token(es256);
  const std::string head = t.substr(0, t.rfind('.') + 1);
  const std::string rs = jwttest::FromBase64(t.substr(head.size()));
  ASSERT_EQ(rs.size(), 64u);
  EXPECT_EQ(jwttest::Eval(head + jwttest::Base64(rs, true), s.key("p256.cert"), &i.info), JWT_RC_OK);
  for (const std::string& sig : {rs.substr(1), std::string(1, '\0') + rs, rs + std::string(1, '\0'),
                                 std::string(64, '\0'), std::string()})
    EXPECT_EQ(jwttest::Eval(head + jwttest::Base64(sig, true), s.key("p256.cert"), &i.info), JWT_RC_SIGNATURE) << sig.size();
}

TEST_F(JwtAlg, DegenerateKeysPassedOrLoadedVerifyNothing) {
  // Each token's signature verifies under its key by plain arithmetic
  // (make_weak_jwt_keys.py checks that), so only the key check refuses it.
  jwttest::TempDir dir;
  ASSERT_TRUE(jwttest::Sh("/usr/bin/python3 " QOR_TEST_TOOLS_DIR "/make_weak_jwt_keys.py " + dir.path()));
  const struct { const char* key; const char* alg; int32_t rc; } cases[] = {
      {"rsa2048_e_65537", "RS256", JWT_RC_OK},   {"rsa2048_e_65537", "PS256", JWT_RC_OK},
      {"rsa2048_e_1", "RS256", JWT_RC_SIGNATURE}, {"rsa2048_e_1", "PS256", JWT_RC_SIGNATURE},
      {"rsa1024_e_65537", "RS256", JWT_RC_OK},   {"rsa1024_e_3", "RS256", JWT_RC_OK},
      {"rsa1024_e_2", "RS256", JWT_RC_SIGNATURE}, {"rsa1024_e_65538", "RS256", JWT_RC_SIGNATURE},
      {"rsa1024_e_4294967297", "RS256", JWT_RC_SIGNATURE},
      {"rsa512_e_65537", "RS256", JWT_RC_SIGNATURE},
      {"ec_p256_ok", "ES256", JWT_RC_OK},        {"ec_p256_off_curve", "ES256", JWT_RC_SIGNATURE},
  };
  for (const auto& c : cases) {
    const std::string base = dir.file(c.key);
    const std::string token = jwttest::ReadFile(base + "." + c.alg + ".jwt");
    // Twice each: the second answer comes from the kept key.
    for (const char* form : {".der", ".pem", ".spki", ".der", ".spki"}) {
      SCOPED_TRACE(std::string(c.key) + form + " " + c.alg);
      Info i;
      EXPECT_EQ(jwttest::Eval(token, jwttest::ReadBytes(base + form), &i.info), c.rc) << i.error();
      EXPECT_EQ(i.error(), c.rc == JWT_RC_OK ? "" : "JWT signature validation failed");
    }
    // The certificate loaded as the ticket key fares the same.
    const Bytes der = jwttest::ReadBytes(base + ".der");
    // A point off the curve is no key at all: its certificate does not load (14).
    const bool decodes = strcmp(c.key, "ec_p256_off_curve") != 0;
    EXPECT_EQ(TavriLoadTicketKey(der.data(), static_cast<int32_t>(der.size()), nullptr, 0, 1), decodes ? 0 : 14)
        << c.key;
    Info i;
    EXPECT_EQ(TavriEvalJWToken(token.data(), token.size(), nullptr, 0, nullptr, &i.info),
              c.rc == JWT_RC_OK ? 0 : 5)
        << c.key << " " << c.alg;
  }
  TavriShutdown();
}

TEST_F(JwtAlg, EachCheckUsesItsOwnKeyRightAfterAnotherKey) {
  Signer s("make_jws.py");
  const char* const keys[] = {"a", "b", "ea", "eb"};  // two P-256 keys, two Ed25519 keys
  for (const char* k : keys) s.Add(k[0] == 'e' ? "EdDSA" : "ES256", std::string(k) + (k[0] == 'e' ? ":ed25519" : ":p256"), "{}", kBody);
  s.Run();
  for (int round = 0; round < 2; ++round)
    for (size_t t = 0; t < 4; ++t)
      for (size_t k = 0; k < 4; ++k) {
        if ((t < 2) != (k < 2)) continue;  // the other key type is another test's case
        Info i;
        EXPECT_EQ(jwttest::Eval(s.token(t), s.key(std::string(keys[k]) + ".spki"), &i.info),
                  t == k ? JWT_RC_OK : JWT_RC_SIGNATURE) << keys[t] << " with " << keys[k];
      }
}

}  // namespace
