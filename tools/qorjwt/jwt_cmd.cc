// jwt inspect (no key, nothing trusted) and jwt verify through TavriEvalJWToken.
#include <openssl/evp.h>
#include <string.h>
#include <time.h>

#include <vector>

#include "commands.h"
#include "pki.h"
#include "qorjwt.h"
#include "sec/tavrisso/results.h"

namespace qortool {
namespace {

constexpr size_t kPayloadBuffer = 16384;

bool base64url_decode(std::string s, std::string* out) {
  for (char& c : s) {
    if (c == '-') c = '+';
    else if (c == '_') c = '/';
    else if (c == '+' || c == '/' || c == '=') return false;
  }
  size_t pad = (4 - s.size() % 4) % 4;
  if (pad == 3) return false;
  s.append(pad, '=');
  std::vector<unsigned char> bytes(s.size() / 4 * 3 + 1);
  int n = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(s.data()),
                          static_cast<int>(s.size()));
  if (n < 0) return false;
  out->assign(reinterpret_cast<char*>(bytes.data()), static_cast<size_t>(n) - pad);
  return true;
}

std::string range(const unsigned char* p, size_t n) {
  return p ? std::string(reinterpret_cast<const char*>(p), n) : "";
}

void set_required(const std::string& v, const unsigned char** p, size_t* n) {
  if (v.empty()) return;
  *p = reinterpret_cast<const unsigned char*>(v.data());
  *n = v.size();
}

// The header and claims of a compact token as read, without any check.
struct TokenParts {
  std::string header_text, claims_text;
  Json header, claims;  // discarded when the text is not a JSON object
};

bool split_token(const std::string& token, TokenParts* t, std::string* error) {
  size_t d1 = token.find('.');
  size_t d2 = d1 == std::string::npos ? d1 : token.find('.', d1 + 1);
  if (d2 == std::string::npos || token.find('.', d2 + 1) != std::string::npos) {
    *error = "not a compact token (three parts separated by dots)";
    return false;
  }
  if (!base64url_decode(token.substr(0, d1), &t->header_text) ||
      !base64url_decode(token.substr(d1 + 1, d2 - d1 - 1), &t->claims_text)) {
    *error = "token header or claims are not Base64url";
    return false;
  }
  t->header = Json::parse(t->header_text, nullptr, false);
  t->claims = Json::parse(t->claims_text, nullptr, false);
  return true;
}

// Header and claims as JSON objects (or as text when they are none), the
// time claims also as dates.
void add_parts(Report* r, const TokenParts& t) {
  r->Section("header");
  if (t.header.is_object())
    for (const auto& [k, v] : t.header.items()) r->Value(k, v);
  else
    r->Text("text", t.header_text);
  r->Section("claims");
  if (t.claims.is_object())
    for (const auto& [k, v] : t.claims.items()) r->Value(k, v);
  else
    r->Text("text", t.claims_text);
  if (!t.claims.is_object()) return;
  bool any = false;
  for (const char* name : {"iat", "nbf", "exp"}) {
    const auto it = t.claims.find(name);
    if (it == t.claims.end() || !it->is_number_integer()) continue;
    if (!any) r->Section("times");
    any = true;
    r->Time(name, it->get<int64_t>());
  }
  if (any) r->Time("now", time(nullptr));
}

}  // namespace

int JwtInspect(const Global& g, const JwtInspectArgs& a) {
  std::string token, error;
  TokenParts t;
  if (!ReadText(a.input, &token, &error) || !split_token(token, &t, &error)) return Fail(error);
  Report r;
  r.Section("token");
  r.Bool("verified", false);
  r.Text("note", "unverified: header and claims as the token carries them, signature not checked");
  add_parts(&r, t);
  r.Print(g.json, kExitValid);
  return kExitValid;
}

int JwtVerify(const Global& g, const JwtVerifyArgs& a) {
  const int keys = !a.secret_file.empty() + !a.secret_b64.empty() + !a.cert.empty() + !a.jwks.empty();
  if (keys != 1) return Fail("give exactly one of --secret-file, --secret-b64, --cert and --jwks");
  std::string token, error;
  Bytes key;
  if (!ReadText(a.input, &token, &error)) return Fail(error);
  if (!a.secret_b64.empty()) {
    std::string text;
    if (!ReadText(a.secret_b64, &text, &error)) return Fail(error);
    key.assign(text.begin(), text.end());
  } else if (!ReadFileBytes(!a.cert.empty() ? a.cert : !a.jwks.empty() ? a.jwks : a.secret_file, &key,
                            &error)) {
    return Fail(error);
  }
  error = !a.cert.empty()
              ? WrongKeyFile(a.cert, key, "--cert", {"a certificate", "a public key"},
                             "the signer's certificate or public key")
          : !a.jwks.empty() ? WrongKeyFile(a.jwks, key, "--jwks", {"a JWK Set"}, "a JWK Set")
          : WrongKeyFile(a.secret_file.empty() ? a.secret_b64 : a.secret_file, key,
                         a.secret_file.empty() ? "--secret-b64" : "--secret-file", {},
                         "an HMAC secret; give certificates and public keys with --cert");
  if (!error.empty()) return Fail(error);
  if (int rc = StartLibrary(g)) return rc;
  // A Base64 secret is decoded by the library (key type 3) and used as the loaded key.
  if (!a.secret_b64.empty()) {
    int32_t lrc = TavriLoadTicketKey(key.data(), static_cast<int32_t>(key.size()), nullptr, 0, 3);
    if (lrc != 0) {
      TavriShutdown();
      return Fail(a.secret_b64 + " is not a Base64 secret (result " + std::to_string(lrc) + ")");
    }
  }

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
  const bool loaded = !a.secret_b64.empty();
  int32_t rc = TavriEvalJWToken(token.data(), token.size(), loaded ? nullptr : key.data(),
                                loaded ? 0 : key.size(), a.claim.empty() ? nullptr : a.claim.c_str(),
                                &info);
  const std::string claim_value = range(info.pNameIdValue, info.lNameIdValue);
  TavriShutdown();

  Report r;
  r.Section("token");
  r.Bool("verified", rc == 0);
  if (!a.claim.empty() && rc == 0) {
    r.Text("claim", a.claim);
    r.Text("claim_value", claim_value);
  }
  // On a rejection the header and claims are the evidence, marked unverified above.
  TokenParts t;
  if (split_token(token, &t, &error)) add_parts(&r, t);
  r.Section("result");
  r.Number("code", rc);
  r.Text("meaning", TavriResultMeaning(rc));
  if (rc != 0) r.Text("error", info.lastError);
  const int exit_code = rc == 0 ? kExitValid : kExitRejected;
  r.Print(g.json, exit_code);
  return exit_code;
}

}  // namespace qortool
