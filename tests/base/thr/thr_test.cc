#include "base/thr/thr.h"

#include <gtest/gtest.h>

#include <thread>

#include "testutil.h"

// These run in their own process, so "before ThrProcInit" is real.
TEST(ThrBeforeInit, StaticSectionLocksAsNoOpAndDeleteNeedsInit) {
  THR_CS_TYPE cs = THR_CS_STATIC_INIT;
  EXPECT_EQ(ThrCSLock(&cs), THR_ERR_OK);
  EXPECT_EQ(cs.depth, 0);
  EXPECT_NE(cs.cs_init_done, kThrCsInitDone);
  EXPECT_EQ(ThrCSUnlock(&cs), THR_ERR_OK);

  THR_RECMTX_TYPE m;
  ASSERT_EQ(ThrRecMtxInit(&m, "early"), THR_ERR_OK);
  EXPECT_EQ(ThrRecMtxLock(&m), THR_ERR_OK);  // recursive mutexes always lock
  EXPECT_EQ(m.depth, 1);
  EXPECT_EQ(ThrRecMtxUnlock(&m), THR_ERR_OK);
  EXPECT_EQ(ThrRecMtxDelete(&m), THR_ERR_NOT_INITED);
  ASSERT_EQ(ThrProcInit(), THR_ERR_OK);
  EXPECT_EQ(ThrRecMtxDelete(&m), THR_ERR_OK);
}

TEST(Thr, CriticalSectionInitialisesOnceAndOnFirstLock) {
  ASSERT_EQ(ThrProcInit(), THR_ERR_OK);
  THR_CS_TYPE cs = THR_CS_STATIC_INIT;
  ASSERT_EQ(ThrCSInit2(&cs, "section"), THR_ERR_OK);
  EXPECT_EQ(ThrCSInit2(&cs, "section"), THR_ERR_EXISTS);
  EXPECT_EQ(ThrCSDelete(&cs), THR_ERR_OK);
  EXPECT_EQ(ThrCSDelete(&cs), THR_ERR_NOT_INITED);
  EXPECT_EQ(ThrCSUnlock(&cs), THR_ERR_NOT_INITED);

  THR_CS_TYPE lazy = THR_CS_STATIC_INIT;
  ASSERT_EQ(ThrCSLock(&lazy), THR_ERR_OK);
  EXPECT_EQ(lazy.cs_init_done, kThrCsInitDone);
  ASSERT_EQ(ThrCSLock(&lazy), THR_ERR_OK);
  EXPECT_EQ(lazy.depth, 2);
  ASSERT_EQ(ThrCSUnlock(&lazy), THR_ERR_OK);
  ASSERT_EQ(ThrCSUnlock(&lazy), THR_ERR_OK);
  EXPECT_EQ(ThrCSDelete(&lazy), THR_ERR_OK);
}

TEST(Thr, CriticalSectionExcludesOtherThreads) {
  ASSERT_EQ(ThrProcInit(), THR_ERR_OK);
  static THR_CS_TYPE cs = THR_CS_STATIC_INIT;
  long counter = 0;
  EXPECT_EQ(qortest::FailuresOnThreads(4, 2000, [&](int, int) {
              ThrCSGuard g(&cs);
              counter += g.ok();
              return g.ok();
            }),
            0);
  EXPECT_EQ(counter, 8000);
}

TEST(Thr, PlainMutexTryLockInAnotherThreadReportsItTaken) {
  ASSERT_EQ(ThrProcInit(), THR_ERR_OK);
  THR_MTX_TYPE m;
  ASSERT_EQ(ThrMtxInit(&m, "plain"), THR_ERR_OK);
  ASSERT_EQ(ThrMtxLock(&m), THR_ERR_OK);
  THR_ERR_TYPE other = THR_ERR_OK;
  std::thread([&] { other = ThrMtxTryLock(&m); }).join();
  EXPECT_EQ(other, THR_ERR_OS);
  EXPECT_EQ(ThrMtxUnlock(&m), THR_ERR_OK);
  EXPECT_EQ(ThrMtxDelete(&m), THR_ERR_OK);
}

TEST(Thr, KeysHoldPerThreadValues) {
  ASSERT_EQ(ThrProcInit(), THR_ERR_OK);
  THR_KEY_TYPE key = kThrNoKey;
  ASSERT_EQ(ThrKeyGet(&key, nullptr), THR_ERR_OK);
  EXPECT_EQ(ThrKeyGet(&key, nullptr), THR_ERR_EXISTS);
  int mine = 1, theirs = 2;
  ASSERT_EQ(ThrKeyVarSet(key, &mine), THR_ERR_OK);
  void* seen_there = &theirs;
  std::thread([&] { ThrKeyVarGet(key, &seen_there); }).join();
  EXPECT_EQ(seen_there, nullptr);
  void* seen_here = nullptr;
  ASSERT_EQ(ThrKeyVarGet(key, &seen_here), THR_ERR_OK);
  EXPECT_EQ(seen_here, &mine);
  EXPECT_EQ(ThrKeyDel(&key), THR_ERR_OK);
  EXPECT_EQ(key, kThrNoKey);
  EXPECT_EQ(ThrKeyDel(&key), THR_ERR_BAD_PARM);
}

void UnbalancedRecursiveUnlock() {
  THR_RECMTX_TYPE m;
  ThrRecMtxInit(&m, "unbalanced");
  ThrRecMtxUnlock(&m);
}

void UnbalancedSectionUnlock() {
  ThrProcInit();
  THR_CS_TYPE cs = THR_CS_STATIC_INIT;
  ThrCSInit2(&cs, nullptr);
  ThrCSUnlock(&cs);
}

TEST(ThrDeathTest, UnbalancedUnlockPanicsWithTheTag) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(UnbalancedRecursiveUnlock(),
               "ThrRecMtxUnlock: PANIC: #unlock > #lock, tag: \"unbalanced\"");
  EXPECT_DEATH(UnbalancedSectionUnlock(), "ThrCSUnlock: PANIC: #unlock > #lock, tag: \"not set\"");
}
