// The code page layer against Python's codecs (tests/data/codepages, made by
// tests/tools/make_codepage_vectors.py) and its substitution rules.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "krn/rscp/rscp.h"
#include "krn/rscp/rscptab.h"
#include "testutil.h"

namespace {

using Bytes = std::string;

// Empty when equal, else where the two first differ (the tables are long).
std::string FirstDifference(const Bytes& got, const Bytes& want) {
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) i++;
  if (i == got.size() && i == want.size()) return "";
  auto hex = [&](const Bytes& b) { return qortest::Hex(b.substr(i, 8)); };
  return "at " + std::to_string(i) + ": got " + hex(got) + " want " + hex(want);
}

// Runs one of the UTF-8 helpers over `in` into a buffer of `cap` bytes.
template <typename Fn>
RSCP_RC RunHelper(Fn fn, const char* cp, const Bytes& in, Bytes* out, size_t cap = 4096) {
  std::vector<unsigned char> buf(cap);
  unsigned char* o = buf.data();
  auto* i = reinterpret_cast<const unsigned char*>(in.data());
  RSCP_RC rc = fn(cp, &o, buf.data() + cap, &i, i + in.size());
  out->assign(reinterpret_cast<char*>(buf.data()), o - buf.data());
  return rc;
}

// A converter with the ticket engine's settings and the given control code rule.
RSCP_RC Convert(const char* from, const char* to, const Bytes& in, Bytes* out,
                CtrlCodeCv_t ctrl = CtrlCodeCv_illegal, size_t cap = 256,
                rscpMiss_t miss = miss_substitute, bool filter = false) {
  rscpCObj_t c{};
  RSCP_RC rc = rscpCInit(&c, from, to, miss, broken_like_miss, fill_never);
  if (rc == RSCP_OK) rc = rscpCSetFilter(&c, filter);
  if (rc == RSCP_OK) rc = rscpCSetCtrlCodeCv(&c, ctrl);
  if (rc == RSCP_OK) rc = rscpCActivate(&c);
  std::vector<unsigned char> buf(cap);
  unsigned char* o = buf.data();
  auto* i = reinterpret_cast<const unsigned char*>(in.data());
  if (rc == RSCP_OK) rc = rscpCConvert(&c, &o, buf.data() + cap, &i, i + in.size());
  out->assign(reinterpret_cast<char*>(buf.data()), o - buf.data());
  rscpCFinish(&c);
  return rc;
}

// Every code page of the table, each once, converts as Python's codecs do.
TEST(RscpVectors, EveryCodePageMatchesPythonCodecs) {
  auto lines = qortest::Lines(qortest::ReadFile(QOR_TEST_DATA_DIR "/codepages/vectors.tsv"));
  ASSERT_EQ(lines.size(), 90u);
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1), t3 = line.find('\t', t2 + 1);
    std::string cp = line.substr(0, t1), dir = line.substr(t1 + 1, t2 - t1 - 1);
    Bytes native = qortest::FromHex<Bytes>(line.substr(t2 + 1, t3 - t2 - 1)), utf8 = qortest::FromHex<Bytes>(line.substr(t3 + 1));
    SCOPED_TRACE(cp + " " + dir);
    seen.insert(cp);
    Bytes out;
    EXPECT_EQ(RunHelper(UcnToUtf8nCP, cp.c_str(), native, &out), RSCP_OK);
    EXPECT_EQ(FirstDifference(out, utf8), "");
    if (dir == "both") {
      EXPECT_EQ(RunHelper(Utf8nToUcnCP, cp.c_str(), utf8, &out), RSCP_OK);
      EXPECT_EQ(FirstDifference(out, native), "");
    }
  }
  EXPECT_EQ(seen.size(), kRscpCodepageCount);
}

TEST(RscpVectors, OneSourceCharacterMayGiveTwoCodePoints) {
  // Python: b"\x88\x62".decode("big5hkscs") == "\u00ca\u0304"
  Bytes out;
  EXPECT_EQ(RunHelper(UcnToUtf8nCP, "8340", "A\x88\x62" "B", &out), RSCP_OK);
  EXPECT_EQ(out, "A\xC3\x8A\xCC\x84" "B");
}

TEST(RscpSubstitution, UnmappableCharactersBecomeHashInTheTargetsOwnForm) {
  Bytes out;
  EXPECT_EQ(Convert("4110", "1101", "J\xC3\xB6rg \xE2\x82\xAC", &out), RSCP_OK);
  EXPECT_EQ(out, "J#rg #");
  EXPECT_EQ(Convert("4110", "0120", "\xC3\xA9\xE2\x82\xAC", &out), RSCP_OK);
  EXPECT_EQ(out, "\x51\x7B");  // EBCDIC: e-acute, then "#" as EBCDIC writes it
  EXPECT_EQ(Convert("4110", "4102", "\xF0\x9F\x98\x80" "A", &out), RSCP_OK);
  EXPECT_EQ(out, Bytes("\xD8\x3D\xDE\x00\x00\x41", 6));
  // A shifted target keeps the header it wrote before the first unmappable character.
  EXPECT_EQ(Convert("4110", "8599", "\xF0\x9F\x98\x80" "A", &out), RSCP_OK);
  EXPECT_EQ(out, "\x1B$)C#A");
  EXPECT_EQ(Convert("4110", "8599", "\xF0\x9F\x98\x80" "A", &out, CtrlCodeCv_illegal, 256, miss_substitute, true),
            RSCP_OK);
  EXPECT_EQ(out, "\x1B$)CA");
  EXPECT_EQ(Convert("4110", "1101", "J\xC3\xB6rg", &out, CtrlCodeCv_illegal, 256, miss_substitute, true),
            RSCP_OK);
  EXPECT_EQ(out, "Jrg");  // filtered instead of substituted
  EXPECT_EQ(Convert("4110", "1101", "J\xC3\xB6rg", &out, CtrlCodeCv_illegal, 256, miss_error),
            RSCPE_MISSING);
  EXPECT_EQ(out, "J");
  EXPECT_EQ(rscple_last_error()->rc, RSCPE_MISSING);
}

TEST(RscpSubstitution, BrokenUtf8CountsAsUnmappableByteByByte) {
  Bytes out;
  EXPECT_EQ(Convert("4110", "1100", "A\xC3" "B", &out), RSCP_OK);
  EXPECT_EQ(out, "A#B");
  EXPECT_EQ(Convert("4110", "1100", "\xC0\xAF|\xED\xA0\x80|\xF0\x9F\x98", &out), RSCP_OK);
  EXPECT_EQ(out, "##|###|###");  // overlong, surrogate, cut at the end
  EXPECT_EQ(Convert("4103", "4110", Bytes("A\x00\x00\xD8", 4), &out), RSCP_OK);
  EXPECT_EQ(out, "A#");  // unpaired surrogate: one code unit

  rscpCObj_t c{};
  ASSERT_EQ(rscpCInit(&c, "4110", "1100", miss_substitute, broken_error, fill_never), RSCP_OK);
  ASSERT_EQ(rscpCActivate(&c), RSCP_OK);
  const unsigned char in[] = {'A', 0xC3, 'B'};
  unsigned char buf[8];
  unsigned char* o = buf;
  const unsigned char* i = in;
  EXPECT_EQ(rscpCConvert(&c, &o, buf + sizeof buf, &i, in + sizeof in), RSCPE_BROKEN);
  EXPECT_EQ(o - buf, 1);
  EXPECT_EQ(i - in, 1);
  rscpCFinish(&c);
}

TEST(RscpSubstitution, ControlCodesAndOwnCharactersFollowTheirSettings) {
  Bytes out;
  EXPECT_EQ(Convert("1100", "4110", "\x01" "A\x85", &out), RSCP_OK);
  EXPECT_EQ(out, "#A#");
  EXPECT_EQ(Convert("1100", "4110", "\x01" "A\x85", &out, CtrlCodeCv_try), RSCP_OK);
  EXPECT_EQ(out, "\x01" "A\xC2\x85");
  EXPECT_EQ(Convert("4110", "4102", "\xEE\x80\x80", &out, CtrlCodeCv_try), RSCP_OK);
  EXPECT_EQ(out, Bytes("\x00#", 2));  // own characters are off unless asked for
  EXPECT_EQ(RunHelper(Utf8nToUcnCP, "4102", "\xEE\x80\x80", &out), RSCP_OK);
  EXPECT_EQ(out, Bytes("\xE0\x00", 2));
}

TEST(RscpPrivateSets, ShareAsciiAndSubstituteEverythingElse) {
  for (const char* cp : {"6100", "6200", "6300"}) {
    SCOPED_TRACE(cp);
    Bytes out;
    EXPECT_EQ(RunHelper(UcnToUtf8nCP, cp, "User 01\xE9", &out), RSCP_OK);
    EXPECT_EQ(out, "User 01#");
    EXPECT_EQ(RunHelper(Utf8nToUcnCP, cp, "J\xC3\xB6rg", &out), RSCP_OK);
    EXPECT_EQ(out, "J#rg");
  }
}

TEST(RscpOutputEnd, NothingIsWrittenPastItAndWholeCharactersOnly) {
  Bytes out;
  EXPECT_EQ(Convert("1100", "4110", "\xE9\xE9", &out, CtrlCodeCv_illegal, 3), RSCPE_OUTPUT_FULL);
  EXPECT_EQ(out, "\xC3\xA9");
  EXPECT_EQ(Convert("1100", "4110", "\xE9\xE9", &out, CtrlCodeCv_illegal, 4), RSCP_OK);
  // A shifted target needs room for its closing reset sequence too.
  const Bytes nihon = "\xE6\x97\xA5\xE6\x9C\xAC";
  EXPECT_EQ(Convert("4110", "8200", nihon, &out, CtrlCodeCv_illegal, 10), RSCP_OK);
  EXPECT_EQ(out, "\x1B$BF|K\\\x1B(B");
  EXPECT_EQ(Convert("4110", "8200", nihon, &out, CtrlCodeCv_illegal, 9), RSCPE_OUTPUT_FULL);

  rscpCObj_t c{};
  ASSERT_EQ(rscpCInit(&c, "1100", "4110", miss_substitute, broken_like_miss, fill_never), RSCP_OK);
  ASSERT_EQ(rscpCActivate(&c), RSCP_OK);
  const unsigned char in[] = {'A', 0xE9, 'B'};
  unsigned char buf[3] = {0, 0, 0x55};
  unsigned char* o = buf;
  const unsigned char* i = in;
  EXPECT_EQ(rscpCConvert(&c, &o, buf + 2, &i, in + sizeof in), RSCPE_OUTPUT_FULL);
  EXPECT_EQ(o - buf, 1);
  EXPECT_EQ(i - in, 1);
  EXPECT_EQ(buf[2], 0x55);
  rscpCFinish(&c);
}

TEST(RscpConverter, RefusesMisuseWithTheLayersCodes) {
  rscpCObj_t c{};
  unsigned char buf[4] = {};
  unsigned char* o = buf;
  const unsigned char* i = buf + 1;
  EXPECT_EQ(rscpCConvert(&c, &o, buf + 4, &i, buf + 2), RSCPE_STATE);
  EXPECT_EQ(rscpCSetFilter(&c, true), RSCPE_STATE);
  EXPECT_EQ(rscpCInit(&c, "4110", "9999", miss_substitute, broken_like_miss, fill_never), RSCPE_CODEPAGE);
  EXPECT_EQ(rscple_last_error()->rc, RSCPE_CODEPAGE);
  EXPECT_STREQ(rscple_last_error()->text, "unknown code page 9999");
  EXPECT_EQ(rscpCInit(&c, "4110", "1100", miss_substitute, broken_like_miss, static_cast<rscpFill_t>(1)),
            RSCPE_PARAM);
  ASSERT_EQ(rscpCInit(&c, nullptr, "1100", miss_substitute, broken_like_miss, fill_never), RSCP_OK);
  EXPECT_EQ(rscpCSetCtrlCodeCv(&c, static_cast<CtrlCodeCv_t>(7)), RSCPE_PARAM);
  ASSERT_EQ(rscpCActivate(&c), RSCP_OK);
  EXPECT_EQ(rscpCSetSubstQOR(&c, '?'), RSCPE_STATE);
  EXPECT_EQ(rscpCConvert(&c, &o, buf, &i, buf + 2), RSCPE_OUTPUT_FULL);
  EXPECT_EQ(rscpCConvert(&c, &o, buf + 4, &i, buf), RSCPE_PARAM);  // input end before its start
  EXPECT_EQ(rscpCFinish(&c), RSCP_OK);
  EXPECT_EQ(rscpi_init(-1), RSCP_OK);
  EXPECT_EQ(rscpi_init(-1), RSCP_OK);
}

TEST(RscpUtf8s, CutsAtTheCapacityOnWholeCharactersAndTerminates) {
  char buf[8];
  size_t n = 99;
  EXPECT_EQ(Utf8sToUcs(buf, 4, &n, reinterpret_cast<const unsigned char*>("portal")), RSCP_OK);
  EXPECT_STREQ(buf, "por");
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(Utf8sToUcs(buf, 3, &n, reinterpret_cast<const unsigned char*>("a\xC3\xA9")), RSCP_OK);
  EXPECT_STREQ(buf, "a");
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(Utf8sToUcs(buf, 0, &n, reinterpret_cast<const unsigned char*>("x")), RSCP_OK);
  EXPECT_EQ(n, 0u);
}

}  // namespace
