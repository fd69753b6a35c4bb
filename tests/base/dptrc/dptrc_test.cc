#include "base/dptrc/dptrc.h"

#include <gtest/gtest.h>

#include <string.h>

#include <regex>
#include <string>

#include "base/thr/thr.h"
#include "testutil.h"

using qortest::Lines;
using qortest::ReadFile;
using qortest::TempDir;

namespace {

const char kRule[] = "---------------------------------------------------";
const std::regex kStamp(R"(\[Thr \d+\] \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})");
const std::regex kPrefix(R"(\[Thr \d+\] )");

std::string StripPrefix(const std::string& line) {
  return std::regex_replace(line, kPrefix, "", std::regex_constants::format_first_only);
}

// What `write` traced, under the trace lock, into a fresh file opened at `level`.
template <typename Fn>
std::string Traced(int level, Fn write) {
  TempDir dir;
  const std::string path = dir.file("t.trc");
  DPTRC_FILE_HDL f = CTrcInit(path.c_str(), 1, level);
  {
    DpLockGuard lock;
    write(f);
  }
  CTrcFileClose(f);
  return ReadFile(path);
}

// The entry texts of a trace, without stamp lines and prefixes.
std::vector<std::string> Texts(const std::string& text) {
  std::vector<std::string> texts;
  for (auto& line : Lines(text))
    if (std::regex_search(line, kPrefix) && !std::regex_match(line, kStamp)) texts.push_back(StripPrefix(line));
  return texts;
}

}  // namespace

TEST(DpTrc, FileStartsWithHeaderAndFirstOpenSetsTheLevel) {
  TempDir dir;
  std::string path = dir.file("header.trc");
  {
    FILE* pre = fopen(path.c_str(), "w");
    fputs("old content\n", pre);
    fclose(pre);
  }
  DPTRC_FILE_HDL f = CTrcInit(path.c_str(), 1, 2);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(ct_level.load(), 2);
  // A second stream does not change the level.
  DPTRC_FILE_HDL g = CTrcInit(dir.file("second.trc").c_str(), 0, 3);
  EXPECT_EQ(ct_level.load(), 2);
  CTrcFileClose(g);
  CTrcFileClose(f);

  EXPECT_EQ(Lines(ReadFile(path)), (std::vector<std::string>{
      "", kRule, "trc file: \"header.trc\", trc level: 2, release: \"" QOR_RELEASE "\"", kRule}));
}

TEST(DpTrc, EntriesCarryTheirPrefixAndOneStampPerSecond) {
  const std::string text = Traced(2, [](DPTRC_FILE_HDL f) {
    DpTrc(f, "first %d\n", 1);
    DpTrc(f, "formatted 100%%\n");
    DpTrc(f, "two\nlines\r\n");
  });
  // One stamp before the first entry; the following entries in the same second
  // share it (a change of second in between would add one more). Every
  // other line after the header carries the prefix.
  const auto lines = Lines(text);
  ASSERT_GE(lines.size(), 9u);
  EXPECT_TRUE(std::regex_match(lines[4], kStamp)) << lines[4];
  EXPECT_EQ(Texts(text), (std::vector<std::string>{"first 1", "formatted 100%", "two", "lines\r"}));
  EXPECT_LE(lines.size(), 4u + 4u + 2u);
}

TEST(DpTrc, FortyEntriesForceANewStamp) {
  int stamps = 0;
  for (auto& line : Lines(Traced(2, [](DPTRC_FILE_HDL f) {
         for (int i = 0; i < 81; ++i) DpTrc(f, "entry %d\n", i);
       })))
    stamps += std::regex_match(line, kStamp);
  // At least one at the start and one after each 40 entries; more if the
  // second changed.
  EXPECT_GE(stamps, 3);
}

// Error and warning entries end with the location saved for them; the
// warning macro saves its own, not the one of an earlier error.
TEST(DpTrc, ErrorAndWarningEntriesEndWithTheirOwnLocation) {
  int warn_line = 0;
  const auto texts = Texts(Traced(1, [&](DPTRC_FILE_HDL f) {
    CTrcSaveLocation("sec/tavrisso/ssoxxext", 1234567);
    DpTrcErr(f, "Mutex lock could not be applied!\n");
    CTrcSaveLocation("a/b/abcdefghijklmnopqr.c", 42);
    DpTrcWarn(f, "careful %s", "now");
    DPTRC_ERR(f, "sec/tavrisso/razuvalid", "earlier error\n");
    DPTRC_WARN(f, "sec/tavrisso/ssoxxext", "careful %s\n", "then"); warn_line = __LINE__;
  }));
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "*** ERROR => Mutex lock could not be applied! [ssoxxext     12345]");
  EXPECT_EQ(texts[1], "*** WARNING => careful now [abcdefghijkl 42]");
  EXPECT_EQ(texts[3], "*** WARNING => careful then [ssoxxext     " + std::to_string(warn_line) + "]");
}

TEST(DpTrc, LongMessagesAreCutAndAnnounced) {
  const std::string text = Traced(2, [](DPTRC_FILE_HDL f) {
    DpTrc(f, "%s\n", std::string(9000, 'x').c_str());
    CTrcSaveLocation("mod", 1);
    DpTrcErr(f, std::string(1100, 'y').c_str(), 0);
  });
  EXPECT_CONTAINS(text, std::string(8191, 'x') + "\n*** WARNING => data was truncated\n");
  EXPECT_LACKS(text, std::string(8192, 'x'));
  EXPECT_CONTAINS(text, "*** ERROR => Dptrc fmt string truncated\n");
  EXPECT_CONTAINS(text, std::string(1024, 'y') + " [mod          1]");
  EXPECT_LACKS(text, std::string(1025, 'y'));
}

// An error text that nearly fills the buffer keeps the location and the
// newline, and one that does not fit with them is cut and announced; the
// next entry starts a line of its own.
TEST(DpTrc, LongErrorEntriesKeepLocationAndNewline) {
  for (size_t len : {8100u, 8180u, 8191u, 9000u}) {
    const std::string text = Traced(1, [&](DPTRC_FILE_HDL f) {
      CTrcSaveLocation("mod", 7);
      DpTrcErr(f, "%s\n", std::string(len, 'e').c_str());
      DpTrc(f, "next\n");
    });
    const auto texts = Texts(text);
    ASSERT_EQ(texts.size(), 2u) << len;
    const std::string& err = texts[0];
    const std::string loc = " [mod          7]";
    ASSERT_GE(err.size(), loc.size());
    EXPECT_EQ(err.substr(err.size() - loc.size()), loc) << len;
    const bool cut = err.size() - loc.size() - strlen("*** ERROR => ") < len;
    EXPECT_EQ(cut, text.find("*** WARNING => data was truncated\n") != std::string::npos) << len;
    EXPECT_EQ(texts[1], "next") << len;
    if (len <= 8100) {
      EXPECT_FALSE(cut);
    }
  }
}

TEST(DpTrc, UnopenableFileFallsBackToStandardError) {
  testing::internal::CaptureStderr();
  DPTRC_FILE_HDL f = CTrcInit("/nonexistent-dir/x/y.trc", 1, 1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(f, stderr);
  EXPECT_CONTAINS(err, "*** ERROR => CTrcOpen: fopen /nonexistent-dir/x/y.trc\n");
  EXPECT_CONTAINS(err, "trc file: \"y.trc\", trc level: 1");
  EXPECT_EQ(CTrcFileClose(f), 0);  // standard error stays open
  EXPECT_NE(fputs("", stderr), EOF);
}

TEST(DpTrc, DumpBufferWritesSixteenBytesPerLineAtItsLevel) {
  TempDir dir;
  std::string path = dir.file("dump.trc");
  DPTRC_FILE_HDL f = CTrcInit(path.c_str(), 1, 2);
  unsigned char bytes[20];
  for (int i = 0; i < 20; ++i) bytes[i] = static_cast<unsigned char>(0x41 + i);
  bytes[1] = 0x00;
  DumpBuffer(f, bytes, sizeof bytes, 3);  // above the level: nothing
  DumpBuffer(f, bytes, sizeof bytes, 0);  // not a dump level: nothing
  DumpBuffer(f, bytes, sizeof bytes, 2);
  CTrcFileClose(f);
  const auto texts = Texts(ReadFile(path));
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0],
            "00000000  41 00 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50  A.CDEFGHIJKLMNOP");
  EXPECT_EQ(texts[1], "00000010  51 52 53 54 " + std::string(12 * 3 + 1, ' ') + " QRST" +
                          std::string(12, ' '));
}
