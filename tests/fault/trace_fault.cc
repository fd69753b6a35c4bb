// A trace file that cannot be opened or written never changes a result.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <vector>

#include "sec/tavrisso/tickettest.h"

using namespace qortest;

namespace {

// A small tmpfs filled up to the last byte, where the machine lets us mount
// one (root with the mount capability); unmounted when the test ends.
class FullTmpfs {
 public:
  explicit FullTmpfs(const std::string& dir) : dir_(dir) {
    if (mkdir(dir.c_str(), 0700) != 0 || mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0) return;
    mounted_ = true;
    FILE* f = fopen((dir + "/filler").c_str(), "w");
    if (f == nullptr) return;
    setvbuf(f, nullptr, _IONBF, 0);
    const std::vector<char> block(512, 'x');
    while (fwrite(block.data(), 1, block.size(), f) == block.size()) {
    }
    full_ = errno == ENOSPC;
    while (fputc('x', f) != EOF) {  // the last partial block
    }
    fclose(f);
  }
  ~FullTmpfs() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
  }
  bool full() const { return mounted_ && full_; }

 private:
  std::string dir_;
  bool mounted_ = false, full_ = false;
};

TEST(TraceFault, UnwritableTraceFilesLeaveEvaluationAlone) {
  Issuers issuers;
  ASSERT_TRUE(issuers.ok);
  const std::string good = issuers.Ticket("--user JDOE --sysid ABC --client 000 --hours 8");
  const std::string expired = issuers.Ticket("--user JDOE --sysid ABC --client 000 --hours 1 --age 120");
  TempDir dir;
  const std::string ro = dir.file("ro");
  ASSERT_EQ(mkdir(ro.c_str(), 0555), 0);  // a privileged user may still write there
  std::vector<std::string> files = {ro + "/trace.trc", dir.file("missing/dir/trace.trc"),
                                    "/proc/qorjwt-trace.trc", "/dev/full"};
  FullTmpfs tmpfs(dir.file("full"));
  if (tmpfs.full())
    files.push_back(dir.file("full/trace.trc"));
  else
    printf("no tmpfs could be mounted here: the full disk is /dev/full only\n");
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    for (const char* level : {"1", "3"}) {
      ASSERT_EQ(RavAreSetProperty("QOR_EXT_TRL", level), kRcOk);
      ASSERT_EQ(RavAreSetProperty("QOR_EXT_TRC", file.c_str()), kRcOk);
      ASSERT_EQ(TavriInitialize(nullptr), kRcOk);
      EXPECT_EQ(LoadCert(issuers.Der("ca")), kRcOk);
      Info out;
      EXPECT_EQ(TavriEvalLogonTicketEx(good.c_str(), nullptr, nullptr, nullptr, nullptr, &out.ti), kRcOk);
      EXPECT_EQ(out.User(), "JDOE");
      Info old;
      EXPECT_EQ(TavriEvalLogonTicketEx(expired.c_str(), nullptr, nullptr, nullptr, nullptr, &old.ti), kRcExpired);
      // Switched at run time as well, through the property.
      EXPECT_EQ(RavAreSetProperty("QOR_EXT_TRC", "/dev/full"), kRcOk);
      Info again;
      EXPECT_EQ(TavriEvalLogonTicketEx(good.c_str(), nullptr, nullptr, nullptr, nullptr, &again.ti), kRcOk);
      EXPECT_EQ(again.Sys(), "ABC");
      EXPECT_EQ(TavriShutdown(), kRcOk);
      EXPECT_EQ(RavAreSetProperty("QOR_EXT_TRC", nullptr), kRcOk);
    }
  }
}

}  // namespace
