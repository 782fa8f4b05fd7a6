// The message queue between threads: posts from any thread arrive whole
// and in order at the user-interface thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/core/messages.h"
#include "platform/core/threads.h"

namespace {

using plat::HWND;
using plat::MSG;

class MessagesThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override { plat::DiscardQueuedMessages(); }
  void TearDown() override { plat::DiscardQueuedMessages(); }

  // A window that counts what reaches its procedure.
  HWND Counter(std::atomic<int>& count) {
    return plat::CreateMessageWindow([&count](HWND, uint32_t, uintptr_t, intptr_t) {
      ++count;
      return intptr_t(0);
    });
  }
};

TEST_F(MessagesThreadsTest, PostsFromManyThreadsArriveCompleteAndInEachThreadsOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 500;
  std::atomic<int> handled{0};
  HWND w = Counter(handled);
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([w, t] {
      for (int i = 0; i < kPerThread; ++i) plat::PostMessageW(w, plat::WM_USER, t, i);
    });
  }
  // The reader blocks in GetMessageW while the posters run.
  std::vector<int> next(kThreads, 0);
  int received = 0;
  MSG msg;
  while (received < kThreads * kPerThread) {
    ASSERT_EQ(plat::GetMessageW(&msg, 5000), 1);
    plat::DispatchMessageW(&msg);
    int t = static_cast<int>(msg.wParam);
    ASSERT_EQ(msg.lParam, next[t]) << "thread " << t << " out of order";
    ++next[t];
    ++received;
  }
  for (auto& p : posters) p.join();
  EXPECT_EQ(handled.load(), kThreads * kPerThread);
  EXPECT_EQ(plat::QueuedMessageCount(), 0u);
  plat::DestroyWindow(w);
}

TEST_F(MessagesThreadsTest, PostOrderedBeforeAnotherThreadsPostIsReceivedFirst) {
  std::atomic<int> handled{0};
  HWND w = Counter(handled);
  std::atomic<bool> firstPosted{false};
  std::thread a([&] {
    plat::PostMessageW(w, plat::WM_USER, 1, 0);
    firstPosted.store(true);
  });
  std::thread b([&] {
    while (!firstPosted.load()) std::this_thread::yield();
    plat::PostMessageW(w, plat::WM_USER, 2, 0);
  });
  a.join();
  b.join();
  MSG m1, m2;
  ASSERT_EQ(plat::GetMessageW(&m1, 1000), 1);
  ASSERT_EQ(plat::GetMessageW(&m2, 1000), 1);
  EXPECT_EQ(m1.wParam, 1u);
  EXPECT_EQ(m2.wParam, 2u);
  plat::DestroyWindow(w);
}

}  // namespace
