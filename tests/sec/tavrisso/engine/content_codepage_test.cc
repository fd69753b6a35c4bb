// Content code page conversion: list and node conversion, the 256-byte
// field limit, and UTF-8 fields made from caller text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qorjwt.h"
#include "sec/tavrisso/engine/content_codepage.h"
#include "sec/tavrisso/engine/listtest.h"
#include "testutil.h"

namespace {

using listtest::List;
using listtest::Value;

TEST(ConvertCList, ConvertsOnlyTextFieldsWithATableRow) {
  List list;
  PCookieContent user = list.Add(cIUnitUser, "ABC");
  PCookieContent lang = list.Add(cIUnitLanguage, "\xE9");
  PCookieContent utf8 = list.Add(cIUnitUserUTF8, "\xE9");
  PCookieContent flags = list.Add(cIUnitFlags, "\x01");
  PCookieContent unknown = list.Add(40, "\xE9");
  PCookieContent empty = list.Add(cIUnitCrCli, "");
  EXPECT_EQ(HRazuConvertCList("1100", "4110", list.head), kRcOk);
  // Value and character length of each node: only user and language are converted.
  std::string got;
  for (PCookieContent n : {user, lang, utf8, flags, unknown, empty})
    got += Value(n) + "/" + std::to_string(n->iContentLChars) + " ";
  EXPECT_EQ(got, "ABC/3 \xC3\xA9/2 \xE9/0 \x01/0 \xE9/0 /0 ");
  EXPECT_EQ(HRazuConvertCList("1100", "4110", nullptr), kRcOk);
}

TEST(ConvertCList, StopsAtTheFirstFieldThatDoesNotFit) {
  List list;
  PCookieContent user = list.Add(cIUnitUser, "JDOE");
  PCookieContent sysid = list.Add(cIUnitCrName, std::string(200, '\xE9'));
  PCookieContent lang = list.Add(cIUnitLanguage, "\xE9");
  EXPECT_EQ(HRazuConvertCList("1100", "4110", list.head), kRcInvalid);
  EXPECT_EQ(user->iContentLChars, 4);
  EXPECT_EQ(sysid->iContentLBytes, 0);  // nothing half-converted left behind
  EXPECT_EQ(Value(lang), "\xE9");
}

TEST(ConvertContent, TheFieldEndIsTheLimitExactly) {
  List list;
  // 128 two-byte characters fill the 256-byte field exactly; one more byte fails.
  PCookieContent fits = list.Add(cIUnitUser, std::string(128, '\xE9'));
  EXPECT_EQ(HRazuConvertContent("1100", "4110", fits), kRcOk);
  EXPECT_EQ(fits->iContentLBytes, 256);
  EXPECT_EQ(fits->iContentLChars, 256);
  EXPECT_EQ(Value(fits).substr(254), "\xC3\xA9");
  PCookieContent over = list.Add(cIUnitUser, std::string(128, '\xE9') + "A");
  EXPECT_EQ(HRazuConvertContent("1100", "4110", over), kRcInvalid);
  // Into UTF-16 a 128-character value fits, a 129-character one does not.
  PCookieContent wide = list.Add(cIUnitUser, std::string(128, 'A'));
  EXPECT_EQ(HRazuConvertContent("1100", "4102", wide), kRcOk);
  EXPECT_EQ(wide->iContentLBytes, 256);
  PCookieContent wider = list.Add(cIUnitUser, std::string(129, 'A'));
  EXPECT_EQ(HRazuConvertContent("1100", "4102", wider), kRcInvalid);
}

TEST(ConvertContent, SubstitutesAndReportsUnknownCodePages) {
  List list;
  PCookieContent user = list.Add(cIUnitUser, "J\xC3\xB6rg\xC3");
  EXPECT_EQ(HRazuConvertContent("4110", "1101", user), kRcOk);
  EXPECT_EQ(Value(user), "J#rg#");
  PCookieContent other = list.Add(cIUnitUser, "ABC");
  EXPECT_EQ(HRazuConvertContent("4110", "9999", other), kRcInvalid);
}

TEST(GetUTFEncodedContent, MakesAnUnlinkedUtf8Node) {
  const struct { const char* text; InfoUnitID id; const char* codepage; std::string utf8; } rows[] = {
      {"J\xF6rg", cIUnitRecptName, "1100", "J\xC3\xB6rg"},
      {"\x93\xfa\x96\x7b", cIUnitAuthScheme, "8000", "\xE6\x97\xA5\xE6\x9C\xAC"},  // two characters in Shift_JIS
  };
  for (const auto& r : rows) {
    List one;  // releases the node
    ASSERT_EQ(HRazuGetUTFEncodedContent(&one.head, r.text, 4, r.id, r.codepage), 0);
    EXPECT_EQ(Value(one.head), r.utf8);
    EXPECT_EQ(one.head->InfoId, r.id);
  }
}

TEST(GetUTFEncodedContent, FailsBeyondTheFieldSize) {
  PCookieContent node = nullptr;
  std::string text(300, 'a');
  EXPECT_EQ(HRazuGetUTFEncodedContent(&node, text.data(), 300, cIUnitPortalUser, "1100"), -1);
  EXPECT_EQ(node, nullptr);
  std::string big(65535, 'a');  // far beyond, must not wrap the 16-bit length
  EXPECT_EQ(HRazuGetUTFEncodedContent(&node, big.data(), 65535, cIUnitPortalUser, "1100"), -1);
  EXPECT_EQ(HRazuGetUTFEncodedContent(&node, "abc", 3, cIUnitPortalUser, "XXXX"), -1);
}

TEST(ConvertCList, ThreadsConvertTheirOwnListsAtOnce) {
  EXPECT_EQ(qortest::FailuresOnThreads(4, 100, [](int t, int) {
              List list;
              PCookieContent user = list.Add(cIUnitUser, "J\xF6rg" + std::to_string(t));
              return HRazuConvertCList("1100", "4110", list.head) == 0 &&
                     Value(user) == "J\xC3\xB6rg" + std::to_string(t);
            }),
            0);
}

TEST(ConvertCList, TracesEachFailingStep) {
  const std::string trace = qortest::Traced("3", [] {
    List list;
    list.Add(cIUnitCrName, std::string(200, '\xE9'));
    EXPECT_EQ(HRazuConvertCList("1100", "4110", list.head), kRcInvalid);
    list.Add(cIUnitUser, "A");
    EXPECT_EQ(HRazuConvertCList("XXXX", "4110", list.head), kRcInvalid);
  });
  for (const char* line : {"Convert ticket content from QOR_CODEPAGE >1100< to >4110< \n",
                           "Error in rscpCConvert rc = 7",
                           "Code page conversion error 7 (output buffer full): output full converting to code page 4110\n",
                           "Couldn't convert ticket content. rc = -4",
                           "Error in converting content Creator system id \n",
                           "Error in rscpCInit rc = 2"}) {
    EXPECT_CONTAINS(trace, line);
  }
}

}  // namespace
