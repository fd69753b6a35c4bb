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
  auto hex = [&](const Bytes& b) {
    std::string out;
    char buf[4];
    for (size_t j = i; j < b.size() && j < i + 8; j++) snprintf(buf, sizeof buf, "%02x", b[j] & 0xFF), out += buf;
    return out;
  };
  return "at " + std::to_string(i) + ": got " + hex(got) + " want " + hex(want);
}

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
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

TEST(RscpTable, NamesEveryIdentifierOnceAndEachOpensInTheCLibrary) {
  for (const rscpCodepageRow& row : kRscpCodepages) {
    SCOPED_TRACE(row.id);
    EXPECT_EQ(rscpFindCodepage(row.id), &row);
    Bytes out;
    EXPECT_EQ(Convert(row.id, "4110", "", &out), RSCP_OK);
  }
  EXPECT_EQ(rscpFindCodepage("9999"), nullptr);
}

TEST(RscpVectors, EveryCodePageMatchesPythonCodecs) {
  auto lines = qortest::Lines(qortest::ReadFile(QOR_TEST_DATA_DIR "/codepages/vectors.tsv"));
  ASSERT_EQ(lines.size(), 90u);
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1), t3 = line.find('\t', t2 + 1);
    std::string cp = line.substr(0, t1), dir = line.substr(t1 + 1, t2 - t1 - 1);
    Bytes native = FromHex(line.substr(t2 + 1, t3 - t2 - 1)), utf8 = FromHex(line.substr(t3 + 1));
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

}  // namespace
