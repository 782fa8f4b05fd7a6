#include "platform/core/threads.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/core/drop.h"
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

TEST(DropTest, QueryFollowsTheShellConventions) {
  plat::HDROP drop = plat::CreateDrop({u"/data/a.dcm", u"/data/文件夹"});
  EXPECT_EQ(plat::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 2u);
  EXPECT_EQ(plat::DragQueryFileW(drop, 1, nullptr, 0), 9u);
  char16_t buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(plat::DragQueryFileW(drop, 1, buffer, 10), 9u);
  EXPECT_EQ(std::u16string(buffer), u"/data/文件夹");
  // A short buffer gets what fits and a terminator.
  EXPECT_EQ(plat::DragQueryFileW(drop, 0, buffer, 5), 4u);
  EXPECT_EQ(std::u16string(buffer), u"/dat");
  EXPECT_EQ(plat::DragQueryFileW(drop, 2, buffer, 16), 0u);
  EXPECT_EQ(plat::DragQueryFileW(nullptr, 0xFFFFFFFF, nullptr, 0), 0u);
  plat::DragFinish(drop);
}

}  // namespace
