// jwt verify through TavriEvalJWToken.
#include <openssl/evp.h>
#include <string.h>

#include <regex>
#include <vector>

#include "commands.h"
#include "pki.h"
#include "qorjwt.h"
#include "sec/tavrisso/results.h"

namespace qortool {
namespace {

constexpr size_t kPayloadBuffer = 16384;

std::string base64url_decode(std::string s) {
  for (char& c : s) c = c == '-' ? '+' : (c == '_' ? '/' : c);
  size_t pad = (4 - s.size() % 4) % 4;
  if (pad == 3) return "";
  s.append(pad, '=');
  std::vector<unsigned char> out(s.size() / 4 * 3 + 1);
  int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(s.data()),
                          static_cast<int>(s.size()));
  if (n < 0) return "";
  return std::string(reinterpret_cast<char*>(out.data()), static_cast<size_t>(n) - pad);
}

std::string range(const unsigned char* p, size_t n) {
  return p ? std::string(reinterpret_cast<const char*>(p), n) : "";
}

const char* alg_name(JWT_ALG_TYPE alg) {
  switch (alg) {
    case JWT_ALG_HS256: return "HS256";
    case JWT_ALG_HS384: return "HS384";
    case JWT_ALG_HS512: return "HS512";
    case JWT_ALG_RS256: return "RS256";
    case JWT_ALG_RS384: return "RS384";
    case JWT_ALG_RS512: return "RS512";
    case JWT_ALG_ES256: return "ES256";
    case JWT_ALG_ES384: return "ES384";
    case JWT_ALG_ES512: return "ES512";
    case JWT_ALG_PS256: return "PS256";
    case JWT_ALG_PS384: return "PS384";
    case JWT_ALG_PS512: return "PS512";
    case JWT_ALG_EDDSA: return "EdDSA";
    default: return "undefined";
  }
}

void set_required(const std::string& v, const unsigned char** p, size_t* n) {
  if (v.empty()) return;
  *p = reinterpret_cast<const unsigned char*>(v.data());
  *n = v.size();
}

}  // namespace

int JwtVerify(const Global& g, const JwtVerifyArgs& a) {
  if (a.secret_file.empty() + a.cert.empty() + a.jwks.empty() != 2)
    return Fail("give exactly one of --secret-file, --cert and --jwks");
  std::string token, error;
  Bytes key;
  if (!ReadText(a.input, &token, &error)) return Fail(error);
  const std::string& key_file = !a.cert.empty() ? a.cert : !a.jwks.empty() ? a.jwks : a.secret_file;
  if (!ReadFileBytes(key_file, &key, &error)) return Fail(error);
  if (int rc = StartLibrary(g)) return rc;

  std::vector<unsigned char> payload(kPayloadBuffer);
  JWT_INFO info;
  memset(&info, 0, sizeof info);
  info.struct_size = sizeof info;
  info.pPayloadBuffer = payload.data();
  info.lPayLoadBuffer = payload.size();
  set_required(a.sub, &info.pSubject, &info.lSubject);
  set_required(a.iss, &info.pIssuer, &info.lIssuer);
  set_required(a.aud, &info.pAudience, &info.lAudience);
  set_required(a.jti, &info.pJTI, &info.lJTI);
  int32_t rc = TavriEvalJWToken(token.data(), token.size(), key.data(), key.size(), nullptr, &info);

  Report r;
  r.Section("header");
  size_t dot = token.find('.');
  const std::string header = base64url_decode(token.substr(0, dot == std::string::npos ? 0 : dot));
  r.Text("json", header);
  r.Text("alg", alg_name(info.tAlgId));
  r.Text("kid", range(info.pKeyId, info.lKeyId));
  if (rc == 0) {
    r.Section("claims");
    const std::string body = range(info.pPayloadBuffer, info.lPayLoadBuffer);
    r.Text("json", body);
    r.Text("sub", range(info.pSubject, info.lSubject));
    r.Text("iss", range(info.pIssuer, info.lIssuer));
    r.Text("jti", range(info.pJTI, info.lJTI));
    r.Text("aud", range(info.pAudience, info.lAudience));
    if (info.issuedAt != 0) r.Time("iat", info.issuedAt);
    for (const char* claim : {"exp", "nbf"}) {
      std::smatch m;
      if (std::regex_search(body, m, std::regex(std::string("\"") + claim + "\"\\s*:\\s*(\\d{1,12})")))
        r.Time(claim, std::stoll(m[1].str()));
    }
  }
  TavriShutdown();
  r.Section("result");
  r.Number("code", rc);
  r.Text("meaning", TavriResultMeaning(rc));
  if (rc != 0) r.Text("error", info.lastError);
  r.Print(g.json);
  return rc == 0 ? kExitValid : kExitRejected;
}

}  // namespace qortool
