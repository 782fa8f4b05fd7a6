// Messages between threads and windows: posts from several threads keep
// each thread's order and all arrive while the window's loop runs; a sent
// message is handled before the call returns, a posted one only later.
// Runs on the built-in headless backend (no SDL), also under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/window/testing.h"
#include "platform/window/window.h"

namespace {

using namespace plat;

constexpr uint32_t WM_LOAD_PROGRESS = WM_USER + 301;
constexpr uint32_t WM_PROBE = WM_USER + 1;

struct Received {
  uintptr_t thread;
  intptr_t sequence;
};

TEST(WindowMessagesThreadsTest, PostsFromSeveralThreadsKeepEachThreadsOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 3000;
  std::vector<Received> received;
  WNDCLASSW c;
  c.name = u"ThreadTarget";
  c.proc = [&](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (m == WM_LOAD_PROGRESS) {
      received.push_back(Received{w, l});
      if (received.size() == size_t(kThreads) * kPerThread) PostQuitMessage(3);
    }
    return DefWindowProcW(h, m, w, l);
  };
  RegisterClassW(c);
  HWND target = CreateWindowExW(0, u"ThreadTarget", u"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, HWND{}, 0);
  ASSERT_TRUE(target);

  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kPerThread; ++i) PostMessageW(target, WM_LOAD_PROGRESS, uintptr_t(t), i);
    });
  }
  go = true;
  EXPECT_EQ(RunMessageLoop(), 3);
  for (auto& th : threads) th.join();

  ASSERT_EQ(received.size(), size_t(kThreads) * kPerThread);
  std::vector<intptr_t> next(kThreads, 0);
  for (const Received& r : received) {
    ASSERT_LT(r.thread, uintptr_t(kThreads));
    EXPECT_EQ(r.sequence, next[r.thread]) << "thread " << r.thread;
    next[r.thread] = r.sequence + 1;
  }
  ResetWindowState();
}

TEST(WindowMessagesThreadsTest, SentMessageIsHandledBeforeTheCallReturnsAndPostedOnesLater) {
  std::vector<int> order;
  WNDCLASSW c;
  c.name = u"SendTarget";
  c.proc = [&](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
    if (m == WM_PROBE) {
      order.push_back(int(w));
      if (w == 1) {
        // A send inside a handler runs at once, nested.
        SendMessageW(h, WM_PROBE, 2, 0);
        order.push_back(3);
      }
      return 40 + intptr_t(w);
    }
    return DefWindowProcW(h, m, w, l);
  };
  RegisterClassW(c);
  HWND target = CreateWindowExW(0, u"SendTarget", u"", WS_POPUP, 0, 0, 50, 50, HWND{}, 0);

  EXPECT_TRUE(PostMessageW(target, WM_PROBE, 9, 0));
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(SendMessageW(target, WM_PROBE, 1, 0), 41);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  PumpPendingMessages();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 9}));

  // A message posted from another thread to a window destroyed before the
  // loop reads it is dropped, never delivered to a stale window.
  std::thread poster([&] { PostMessageW(target, WM_PROBE, 7, 0); });
  poster.join();
  DestroyWindow(target);
  PumpPendingMessages();
  EXPECT_EQ(order.back(), 9);
  EXPECT_FALSE(PostMessageW(target, WM_PROBE, 8, 0));
  ResetWindowState();
}

}  // namespace
