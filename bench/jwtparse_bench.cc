// Tokenizing wide objects and long arrays of empty containers: the time per
// member must stay flat as the count grows (Google Benchmark fits the
// complexity; anything above O(N) is a parser an attacker can stall).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "sec/jwt/jwtparse.h"

namespace {

std::string WideObject(int64_t members) {
  std::string s = "{";
  for (int64_t i = 0; i < members; ++i) s += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":1";
  return s + "}";
}

std::string ArrayOfEmptyArrays(int64_t members) {
  std::string s = "[";
  for (int64_t i = 0; i < members; ++i) s += i ? ",[]" : "[]";
  return s + "]";
}

void Tokenize(benchmark::State& state, const std::string& json, size_t tokens) {
  std::vector<jwtok_t> toks(tokens);
  for (auto _ : state) {
    jwt_parser parser;
    jwtInit(&parser);
    int32_t rc = jwtParse(&parser, json.data(), json.size(), toks.data(), static_cast<uint32_t>(tokens));
    if (rc != static_cast<int32_t>(tokens)) state.SkipWithError("tokenizer refused the input");
    benchmark::DoNotOptimize(rc);
  }
  state.SetComplexityN(state.range(0));
}

void BM_JwtParse_WideObject(benchmark::State& state) {
  Tokenize(state, WideObject(state.range(0)), 2 * static_cast<size_t>(state.range(0)) + 1);
}
BENCHMARK(BM_JwtParse_WideObject)->RangeMultiplier(10)->Range(100, 100000)->Complexity(benchmark::oN);

void BM_JwtParse_ArrayOfEmptyArrays(benchmark::State& state) {
  Tokenize(state, ArrayOfEmptyArrays(state.range(0)), static_cast<size_t>(state.range(0)) + 1);
}
BENCHMARK(BM_JwtParse_ArrayOfEmptyArrays)->RangeMultiplier(10)->Range(100, 100000)->Complexity(benchmark::oN);

}  // namespace
