// The SSF error dump and the signer record copy of the binding.
#include <gtest/gtest.h>

#include <string>

#include "qorjwt.h"
#include "sec/tavrisso/ssf/table.h"
#include "sec/tavrisso/api/state.h"
#include "testutil.h"

using namespace qortest;

TEST(SsfBinding, ErrorDumpWritesTheKnownLines) {
  TempDir dir;
  const std::string path = dir.file("dump.trc");
  DPTRC_FILE_HDL f = CTrcInit(path.c_str(), 1, 3);
  ASSERT_NE(f, nullptr);
  ct_level = 3;
  for (int32_t rc : {14, 16, 22, 99}) DumpSsfError(f, "T", rc, nullptr);
  CTrcFileClose(f);
  const std::string text = ReadFile(path);
  EXPECT_CONTAINS(text, "T 14 :: SSF_API_SECTK_NO_ENCRYPTION :: SSF lib does not support encryption.\n");
  EXPECT_CONTAINS(text, "T 16 :: SSF_API_SECTK_NO_ENCRYPTION :: SSF lib does not support encryption.\n");
  EXPECT_CONTAINS(text, "T 22 :: SSF_API_UNKNOWN_SIGNER :: Unknown signer. Security profile does not "
                        "contain the correct key.\n");
  EXPECT_CONTAINS(text, "T 99 :: unknown SSF error  :: no further, internal error occured in SSF.\n");
  // Numbers outside the tables are named as such, not as a neighbour.
  EXPECT_STREQ(SsfSupErrorName(7), "<unknown SUP RC>");
  EXPECT_STREQ(SsfErrorDescription(0x1234), "Unknown SSF-RC 0x00001234");
}

namespace {
std::string g_seen_id;
int32_t RecordId(const char* id, SsfCharlen idL, const char*, SsfCharlen, const char*, SsfCharlen,
                 const unsigned char*, SsfOctetlen, uint32_t, SigRcpSsfInformation** out) {
  g_seen_id.assign(id, static_cast<size_t>(idL));
  *out = nullptr;
  return 0;
}
}  // namespace

// With the identifier conversion on, the crypto library sees the 514-byte
// copy and a length that stays inside it.
TEST(SsfBinding, SignerRecordIdentifierIsCutToTheCopy) {
  SsfLib lib = {};
  lib.lsSsfCodepage = 1;
  lib.fp_SsfNEWSigRcpSsfInfo = &RecordId;
  SigRcpSsfInformation* rec = nullptr;
  const std::string id(600, 'i');
  ASSERT_EQ(SsfLibNEWSigRcpSsfInfo(&lib, id.data(), 600, nullptr, 0, nullptr, 0, nullptr, 0, 0, &rec), 0);
  EXPECT_EQ(g_seen_id, std::string(514, 'i'));
  ASSERT_EQ(SsfLibNEWSigRcpSsfInfo(&lib, id.data(), 20, nullptr, 0, nullptr, 0, nullptr, 0, 0, &rec), 0);
  EXPECT_EQ(g_seen_id, std::string(20, 'i'));
}
