#include "platform/core/threads.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/core/messages.h"

namespace {

TEST(ThreadsTest, WorkerRunsItsEntryAndReportsItsResult) {
  std::atomic<bool> release{false};
  auto worker = plat::BeginThread([&]() -> uint32_t {
    while (!release.load()) plat::Sleep(1);
    return 42;
  });
  EXPECT_FALSE(worker->Wait(20));
  EXPECT_FALSE(worker->Finished());
  release.store(true);
  EXPECT_TRUE(worker->Wait(plat::INFINITE));
  EXPECT_TRUE(worker->Finished());
  EXPECT_EQ(worker->ExitCode(), 42u);
}

TEST(ThreadsTest, TryEnterFailsWhileAnotherThreadHoldsTheLock) {
  plat::CriticalSection lock;
  std::atomic<int> phase{0};
  auto holder = plat::BeginThread([&]() -> uint32_t {
    lock.Enter();
    phase.store(1);
    while (phase.load() != 2) plat::Sleep(1);
    lock.Leave();
    return 0;
  });
  while (phase.load() != 1) plat::Sleep(1);
  EXPECT_FALSE(lock.TryEnter());
  phase.store(2);
  holder->Wait(plat::INFINITE);
  ASSERT_TRUE(lock.TryEnter());
  lock.Leave();
}

TEST(ThreadsTest, TickCountAdvancesWithSleep) {
  uint32_t before = plat::GetTickCount();
  plat::Sleep(30);
  uint32_t elapsed = plat::GetTickCount() - before;  // unsigned difference survives wrapping
  EXPECT_GE(elapsed, 29u);
  EXPECT_LT(elapsed, 10000u);
}

}  // namespace
