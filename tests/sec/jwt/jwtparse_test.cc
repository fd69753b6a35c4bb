// The JSON tokenizer and the Base64url part decoder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <tuple>
#include <vector>

#include "sec/jwt/jwtparse.h"

namespace {

struct Parsed {
  int32_t rc;
  std::vector<jwtok_t> toks;
  uint64_t pos;
};

Parsed Parse(const std::string& json, uint32_t capacity = 64) {
  Parsed p;
  p.toks.resize(capacity + 1);  // never absent, even for capacity 0
  jwt_parser parser;
  jwtInit(&parser);
  p.rc = jwtParse(&parser, json.data(), json.size(), p.toks.data(), capacity);
  p.pos = parser.pos;
  return p;
}

int32_t Count(const std::string& json) {
  jwt_parser parser;
  jwtInit(&parser);
  return jwtParse(&parser, json.data(), json.size(), nullptr, 0);
}

std::string Text(const std::string& json, const jwtok_t& t) { return json.substr(t.begin, t.end - t.begin); }

TEST(JwtParse, ObjectWithOneStringValueGivesThreeLinkedTokens) {
  const std::string j = R"({"sub":"alice"})";
  Parsed p = Parse(j);
  ASSERT_EQ(p.rc, 3);
  // Type, children and parent of each token: the value hangs below its key.
  using Shape = std::tuple<jwtype_t, int32_t, int32_t>;
  auto shape = [&](int i) { return Shape{p.toks[i].type, p.toks[i].size, p.toks[i].parent}; };
  EXPECT_EQ(shape(0), Shape(JWT_OBJECT, 1, -1));
  EXPECT_EQ(shape(1), Shape(JWT_STRING, 1, 0));
  EXPECT_EQ(shape(2), Shape(JWT_STRING, 0, 1));
  EXPECT_EQ(Text(j, p.toks[0]), j);
  EXPECT_EQ(Text(j, p.toks[1]) + Text(j, p.toks[2]), "subalice");
}

TEST(JwtParse, NestedValuesAndArraysCountChildren) {
  const std::string j = R"({"a":[1,true,"x"],"b":{"c":null}, "d":-2.5e3 })";
  Parsed p = Parse(j);
  ASSERT_EQ(p.rc, 12);
  EXPECT_EQ(p.toks[0].size, 3);
  EXPECT_EQ(p.toks[2].type, JWT_ARRAY);
  EXPECT_EQ(p.toks[2].size, 3);
  EXPECT_EQ(Text(j, p.toks[2]), R"([1,true,"x"])");
  EXPECT_EQ(p.toks[3].type, JWT_PRIMITIVE);
  EXPECT_EQ(p.toks[3].parent, 2);
  EXPECT_EQ(Text(j, p.toks[11]), "-2.5e3");
  EXPECT_EQ(Count(j), p.rc);
  for (const std::string k : {R"({"a":[1,2,{"b":"c"}]})", R"([[],{},"x"])"}) EXPECT_EQ(Count(k), Parse(k).rc) << k;
}

TEST(JwtParse, EscapesAreCheckedButKeptRaw) {
  const std::string j = R"({"k":"a\"b\u00e9\/"})";
  Parsed p = Parse(j);
  ASSERT_EQ(p.rc, 3);
  EXPECT_EQ(Text(j, p.toks[2]), R"(a\"b\u00e9\/)");
  EXPECT_EQ(Parse(R"({"k":"\u00g0"})").rc, JWT_ERROR_INVAL);
  EXPECT_EQ(Parse(R"({"k":"\x"})").rc, JWT_ERROR_INVAL);
}

TEST(JwtParse, StrictFormsGiveTheirErrors) {
  EXPECT_EQ(Parse(R"({"a":1})").rc, 3);
  EXPECT_EQ(Parse(R"({1:"a"})").rc, JWT_ERROR_INVAL);        // number as key
  EXPECT_EQ(Parse(R"({"a":1 2})").rc, JWT_ERROR_INVAL);      // second value of one key
  EXPECT_EQ(Parse("12").rc, JWT_ERROR_PART);                 // no delimiter after a number
  EXPECT_EQ(Parse(R"({"a":"b")").rc, JWT_ERROR_PART);        // never closed
  EXPECT_EQ(Parse(R"({"a":"b])").rc, JWT_ERROR_PART);        // string never closed
  EXPECT_EQ(Parse(R"({"a":"b"])").rc, JWT_ERROR_INVAL);      // "]" closing an object
  EXPECT_EQ(Parse(R"(})").rc, JWT_ERROR_INVAL);              // nothing open
  EXPECT_EQ(Parse(R"({"a":x})").rc, JWT_ERROR_INVAL);        // not a value form
  EXPECT_EQ(Parse("{\"a\":tr\x01ue}").rc, JWT_ERROR_INVAL);  // control byte in a primitive
  EXPECT_EQ(Parse(R"({"a":nul})").rc, 3);                    // a primitive's content is not checked
}

TEST(JwtParse, TooFewTokensGivesMinus1AndResetsToTheValue) {
  const std::string j = R"({"a":"b","c":"d"})";
  Parsed p = Parse(j, 4);
  EXPECT_EQ(p.rc, JWT_ERROR_NOMEM);
  EXPECT_EQ(p.pos, 13u);  // start of "d"
  EXPECT_EQ(Parse(j, 5).rc, 5);
  EXPECT_EQ(Parse("{}", 0).rc, JWT_ERROR_NOMEM);
}

TEST(JwtParse, ZeroByteEndsTheInput) {
  const std::string j("{\"a\":\"b\"}\0garbage", 17);
  EXPECT_EQ(Parse(j).rc, 3);
  EXPECT_EQ(Parse(std::string("{\"a\":\"b\0\"}", 10)).rc, JWT_ERROR_PART);
}

TEST(JwtExtract2Json, DecodesBase64urlPartsIntoAFreshBuffer) {
  unsigned char* out = nullptr;
  size_t n = 0;
  // {"alg":"HS256"} without padding, and with a foreign character that is skipped.
  for (const std::string part : {"eyJhbGciOiJIUzI1NiJ9", "eyJhbGciOi.JIUzI1NiJ9"}) {
    ASSERT_EQ(jwtExtract2Json(part.data(), part.size(), &out, &n), JWT_EXTRACT_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), R"({"alg":"HS256"})");
    free(out);
  }
  ASSERT_EQ(jwtExtract2Json("", 0, &out, &n), JWT_EXTRACT_OK);
  EXPECT_EQ(n, 0u);
  free(out);
  EXPECT_EQ(jwtExtract2Json("eyJ9", 4, nullptr, &n), JWT_EXTRACT_NO_OUTPUT);
}

}  // namespace

// A wide body must cost one pass: a walk back over all earlier tokens at
// every "," or "]" makes 100,000 members take many seconds of CPU, a pass
// takes milliseconds. CPU time of this process, so a busy machine does
// not matter; the bound is a thousand times what one pass needs.
// How the cost grows with the member count is measured in bench/jwtparse_bench.cc.
TEST(JwtParse, WideAndManyContainersKeepTheirLinks) {
  constexpr int kMembers = 100000;
  std::string wide = "{";
  std::string arrays = "[";
  for (int i = 0; i < kMembers; ++i) {
    wide += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":1";
    arrays += i ? ",[]" : "[]";
  }
  wide += "}";
  arrays += "]";
  Parsed w = Parse(wide, 2 * kMembers + 1);
  Parsed a = Parse(arrays, kMembers + 1);
  ASSERT_EQ(w.rc, 2 * kMembers + 1);
  EXPECT_EQ(w.toks[0].size, kMembers);
  EXPECT_EQ(static_cast<size_t>(w.toks[0].end), wide.size());
  const jwtok_t& last_key = w.toks[2 * kMembers - 1];
  EXPECT_EQ(last_key.parent, 0);
  EXPECT_EQ(w.toks[2 * kMembers].parent, 2 * kMembers - 1);
  ASSERT_EQ(a.rc, kMembers + 1);
  EXPECT_EQ(a.toks[0].size, kMembers);
  EXPECT_EQ(a.toks[kMembers].parent, 0);
  EXPECT_EQ(a.toks[kMembers].end, static_cast<int32_t>(arrays.size()) - 1);
}

TEST(JwtParse, ContainersLeftOpenByAnErrorStillShowNoEnd) {
  const std::string j = R"({"a":[{"b":[1,2], "c":x)";
  Parsed p = Parse(j);
  EXPECT_EQ(p.rc, JWT_ERROR_INVAL);
  EXPECT_EQ(p.toks[0].end, -1);
  EXPECT_EQ(p.toks[2].end, -1);
  EXPECT_EQ(p.toks[3].end, -1);
  EXPECT_EQ(Text(j, p.toks[5]), "[1,2]");
  Parsed q = Parse(R"([[[]], [)");
  EXPECT_EQ(q.rc, JWT_ERROR_PART);
  EXPECT_EQ(q.toks[0].end, -1);
  EXPECT_EQ(q.toks[1].end, 5);
  EXPECT_EQ(q.toks[3].end, -1);
}
