// JWT test helpers: tokens from the outside signer (tests/tools/make_jwt.py),
// a pinned clock, and a JWT_INFO with its payload buffer.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "crypto/cryptotest.h"
#include "qorjwt.h"
#include "sec/jwt/jwt.h"

namespace jwttest {
using namespace qortest;

inline std::string RfcExamples() { return std::string(QOR_TEST_DATA_DIR) + "/jwt/rfc7515-examples.json"; }

// Collects requests, then signs all of them in one run of the outside signer.
class Signer {
 public:
  // `script`: a signer in tests/tools with the same lines in and out
  // (make_jws.py signs ES, PS and EdDSA with PyJWT and has its own KEYREFs).
  explicit Signer(std::string script = "make_jwt.py") : script_(std::move(script)) {}
  // `key`: "secret:<hex>", "rsa:<name>:<bits>", "rfc" (RFC 7515 A.2 key) or "raw:<hex>".
  size_t Add(const std::string& alg, const std::string& key, const std::string& header,
             const std::string& payload) {
    const std::string ref = key == "rfc" ? "rfc:" + RfcExamples() : key;
    requests_ << alg << ' ' << ref << ' ' << Hex(header) << ' ' << Hex(payload) << '\n';
    return count_++;
  }
  size_t AddHs(const std::string& alg, const std::string& secret, const std::string& payload,
               const std::string& header = "") {
    return Add(alg, "secret:" + Hex(secret), header.empty() ? R"({"alg":")" + alg + R"(","typ":"JWT"})" : header,
               payload);
  }
  void Run() {
    TempDir dir;
    const std::string in = dir.file("requests");
    FILE* f = fopen(in.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs(requests_.str().c_str(), f);
    fclose(f);
    std::istringstream lines(ShOut("/usr/bin/python3 " QOR_TEST_TOOLS_DIR "/" + script_ + " < " + in));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream w(line);
      std::string kind, name, field, value;
      w >> kind;
      if (kind == "token") {
        w >> value;
        tokens_.push_back(value);
      } else if (kind == "key") {
        w >> name >> field >> value;
        keys_[name + "." + field] = FromHex(value);
      }
    }
    ASSERT_EQ(tokens_.size(), count_) << "outside signer failed";
  }
  const std::string& token(size_t i) const { return tokens_.at(i); }
  // "<name>.cert" (DER certificate), "<name>.spki" (DER public key), "<name>.pem",
  // and from make_jws.py "<name>.jwk" (public JWK, JSON).
  const Bytes& key(const std::string& which) const { return keys_.at(which); }

 private:
  std::string script_;
  std::ostringstream requests_;
  size_t count_ = 0;
  std::vector<std::string> tokens_;
  std::map<std::string, Bytes> keys_;
};

// The evaluation's clock, pinned for the time claims.
inline int64_t& PinnedNow() {
  static int64_t now = 0;
  return now;
}
inline void PinClock(int64_t now) {
  PinnedNow() = now;
  JwtSetClock([] { return PinnedNow(); });
}

// A full JWT_INFO with a payload buffer of its own.
struct Info {
  explicit Info(size_t payload_capacity = 4096) : payload(payload_capacity + 1, 0xAA) {
    memset(&info, 0, sizeof info);
    info.struct_size = sizeof info;
    info.pPayloadBuffer = payload.data();
    info.lPayLoadBuffer = payload_capacity;
  }
  std::string Out(const unsigned char* p, size_t n) const { return p ? std::string(reinterpret_cast<const char*>(p), n) : "<none>"; }
  std::string sub() const { return Out(info.pSubject, info.lSubject); }
  std::string iss() const { return Out(info.pIssuer, info.lIssuer); }
  std::string jti() const { return Out(info.pJTI, info.lJTI); }
  std::string aud() const { return Out(info.pAudience, info.lAudience); }
  std::string kid() const { return Out(info.pKeyId, info.lKeyId); }
  std::string user() const { return Out(info.pNameIdValue, info.lNameIdValue); }
  std::string body() const { return Out(info.pPayloadBuffer, info.lPayLoadBuffer); }
  std::string error() const { return info.lastError; }
  // The returned claims and key id in one line, for one comparison.
  std::string Claims() const {
    return sub() + "|" + iss() + "|" + jti() + "|" + aud() + "|" + user() + "|" + kid();
  }
  Bytes payload;
  JWT_INFO info;
};

// The library started for each test, the clock released after it.
class Started : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(TavriInitialize(nullptr), 0); }
  void TearDown() override { JwtSetClock(nullptr); }
};

inline int32_t Eval(const std::string& token, const Bytes& key, JWT_INFO* info, const char* name_id = nullptr) {
  return JwtEvalToken(token.data(), token.size(), key.data(), key.size(), name_id,
                      name_id ? strlen(name_id) : 0, info);
}

}  // namespace jwttest
