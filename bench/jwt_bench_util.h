// Token material shared by the JWT benchmarks: the claims every benchmark
// signs, Base64url as the tokens carry it, and the evaluation they time.
#pragma once

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "qorjwt.h"

namespace jwtbench {

using Bytes = std::vector<unsigned char>;

inline const std::string kBody =
    R"({"sub":"alice","iss":"https://idp.example","aud":"app","jti":"4f1d","iat":1700000000,"exp":4102444800})";

inline std::string b64url(const unsigned char* p, size_t n) {
  std::string out(4 * ((n + 2) / 3) + 1, '\0');
  out.resize(static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]), p, static_cast<int>(n))));
  for (char& c : out) c = c == '+' ? '-' : c == '/' ? '_' : c;
  while (!out.empty() && out.back() == '=') out.pop_back();
  return out;
}
inline std::string b64url(const std::string& s) {
  return b64url(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}
inline std::string b64url(const Bytes& b) { return b64url(b.data(), b.size()); }

// TavriEvalJWToken of `token` with `key`; an empty `key` means the key
// loaded before.
inline void EvalToken(benchmark::State& state, const std::string& token, const Bytes& key) {
  TavriInitialize(nullptr);
  std::vector<unsigned char> payload(1024);
  for (auto _ : state) {
    JWT_INFO info{};
    info.struct_size = sizeof info;
    info.pPayloadBuffer = payload.data();
    info.lPayLoadBuffer = payload.size();
    if (TavriEvalJWToken(token.data(), token.size(), key.empty() ? nullptr : key.data(), key.size(), nullptr,
                         &info) != 0)
      state.SkipWithError("token rejected");
    benchmark::DoNotOptimize(info.pSubject);
  }
}

}  // namespace jwtbench
