// A trace file that cannot be opened or written never changes a result.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "sec/tavrisso/tickettest.h"

using namespace qortest;

namespace {

TEST(TraceFault, UnwritableTraceFilesLeaveEvaluationAlone) {
  Issuers issuers;
  ASSERT_TRUE(issuers.ok);
  const std::string good = issuers.Ticket("--user JDOE --sysid ABC --client 000 --hours 8");
  const std::string expired = issuers.Ticket("--user JDOE --sysid ABC --client 000 --hours 1 --age 120");
  TempDir dir;
  const std::string ro = dir.file("ro");
  ASSERT_EQ(mkdir(ro.c_str(), 0555), 0);  // a privileged user may still write there
  const std::string files[] = {ro + "/trace.trc", dir.file("missing/dir/trace.trc"), "/proc/qorjwt-trace.trc",
                               "/dev/full"};
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    for (const char* level : {"1", "3"}) {
      ASSERT_EQ(RavAreSetProperty("QOR_EXT_TRL", level), 0);
      ASSERT_EQ(RavAreSetProperty("QOR_EXT_TRC", file.c_str()), 0);
      ASSERT_EQ(TavriInitialize(nullptr), 0);
      EXPECT_EQ(LoadCert(issuers.Der("ca")), 0);
      Info out;
      EXPECT_EQ(TavriEvalLogonTicketEx(good.c_str(), nullptr, nullptr, nullptr, nullptr, &out.ti), 0);
      EXPECT_EQ(out.User(), "JDOE");
      Info old;
      EXPECT_EQ(TavriEvalLogonTicketEx(expired.c_str(), nullptr, nullptr, nullptr, nullptr, &old.ti), 4);
      // Switched at run time as well, through the property.
      EXPECT_EQ(RavAreSetProperty("QOR_EXT_TRC", "/dev/full"), 0);
      Info again;
      EXPECT_EQ(TavriEvalLogonTicketEx(good.c_str(), nullptr, nullptr, nullptr, nullptr, &again.ti), 0);
      EXPECT_EQ(again.Sys(), "ABC");
      EXPECT_EQ(TavriShutdown(), 0);
      EXPECT_EQ(RavAreSetProperty("QOR_EXT_TRC", nullptr), 0);
    }
  }
}

}  // namespace
