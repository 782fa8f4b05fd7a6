#include "platform/core/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/core/threads.h"

namespace {

using plat::HWND;
using plat::MSG;

struct Seen {
  HWND window;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { plat::DiscardQueuedMessages(); }
  void TearDown() override { plat::DiscardQueuedMessages(); }

  // A window that records what reaches its procedure.
  HWND Recorder(std::vector<Seen>& seen, intptr_t result = 0) {
    return plat::CreateMessageWindow([&seen, result](HWND w, uint32_t m, uintptr_t wp, intptr_t lp) {
      seen.push_back({w, m, wp, lp});
      return result;
    });
  }
};

TEST_F(MessagesTest, HandlesAreValuesThatDieWithTheirWindow) {
  std::vector<Seen> seen;
  HWND a = Recorder(seen);
  HWND b = Recorder(seen);
  EXPECT_TRUE(a);
  EXPECT_NE(a, b);
  EXPECT_TRUE(plat::IsWindow(a));
  EXPECT_FALSE(plat::IsWindow(plat::kNullWindow));

  EXPECT_TRUE(plat::DestroyWindow(a));
  EXPECT_FALSE(plat::IsWindow(a));
  EXPECT_TRUE(plat::IsWindow(b));
  EXPECT_FALSE(plat::DestroyWindow(a));
  // The procedure heard WM_DESTROY then WM_NCDESTROY, and nothing after.
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, plat::WM_DESTROY);
  EXPECT_EQ(seen[1].message, plat::WM_NCDESTROY);

  // A dead handle accepts nothing, and a new window never takes its number.
  EXPECT_FALSE(plat::PostMessageW(a, plat::WM_USER, 1, 2));
  EXPECT_EQ(plat::SendMessageW(a, plat::WM_USER, 1, 2), 0);
  EXPECT_EQ(seen.size(), 2u);
  HWND c = Recorder(seen);
  EXPECT_NE(c, a);
  EXPECT_EQ(plat::GetWindowExtension(a), nullptr);
  plat::DestroyWindow(b);
  plat::DestroyWindow(c);
}

TEST_F(MessagesTest, SentMessageIsHandledBeforeSendReturns) {
  std::vector<Seen> seen;
  HWND w = Recorder(seen, 77);
  plat::PostMessageW(w, plat::WM_USER + 1, 0, 0);  // queued, must not run first
  EXPECT_EQ(plat::SendMessageW(w, plat::WM_USER + 2, 5, -6), 77);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, plat::WM_USER + 2u);
  EXPECT_EQ(seen[0].wParam, 5u);
  EXPECT_EQ(seen[0].lParam, -6);
  EXPECT_EQ(plat::QueuedMessageCount(), 1u);
  plat::DestroyWindow(w);
}

TEST_F(MessagesTest, ProceduresMayReenterTheLayer) {
  // A procedure that posts, sends and destroys while it runs: no lock of the
  // layer is held around procedures.
  std::vector<uint32_t> order;
  HWND other = plat::CreateMessageWindow([&](HWND, uint32_t m, uintptr_t, intptr_t) {
    order.push_back(m);
    return 0;
  });
  HWND self{};
  self = plat::CreateMessageWindow([&](HWND me, uint32_t m, uintptr_t, intptr_t) -> intptr_t {
    if (m == plat::WM_USER) {
      plat::SendMessageW(other, plat::WM_USER + 10, 0, 0);
      plat::PostMessageW(other, plat::WM_USER + 11, 0, 0);
      plat::DestroyWindow(me);
    }
    return 1;
  });
  EXPECT_EQ(plat::SendMessageW(self, plat::WM_USER, 0, 0), 1);
  EXPECT_FALSE(plat::IsWindow(self));
  MSG msg;
  ASSERT_EQ(plat::GetMessageW(&msg, 0), 1);
  plat::DispatchMessageW(&msg);
  EXPECT_EQ(order, (std::vector<uint32_t>{plat::WM_USER + 10, plat::WM_USER + 11}));
  plat::DestroyWindow(other);
}

TEST_F(MessagesTest, QueueKeepsOrderAndDropsMessagesOfDestroyedWindows) {
  std::vector<Seen> seen;
  HWND a = Recorder(seen);
  HWND b = Recorder(seen);
  plat::PostMessageW(a, plat::WM_USER, 1, 0);
  plat::PostMessageW(b, plat::WM_USER, 2, 0);
  plat::PostMessageW(a, plat::WM_USER, 3, 0);
  plat::PostQuitMessage(9);
  plat::PostMessageW(b, plat::WM_USER, 4, 0);

  MSG peeked;
  ASSERT_TRUE(plat::PeekMessageW(&peeked, plat::PM_NOREMOVE));
  EXPECT_EQ(peeked.wParam, 1u);
  EXPECT_EQ(plat::QueuedMessageCount(), 5u);

  plat::DestroyWindow(a);  // its two messages vanish; b's stay in order
  seen.clear();
  MSG msg;
  ASSERT_EQ(plat::GetMessageW(&msg, 0), 1);
  EXPECT_EQ(msg.hwnd, b);
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_EQ(plat::GetMessageW(&msg, 0), 0);  // WM_QUIT in its place
  EXPECT_EQ(msg.message, plat::WM_QUIT);
  EXPECT_EQ(msg.wParam, 9u);
  EXPECT_EQ(plat::DispatchMessageW(&msg), 0);
  ASSERT_EQ(plat::GetMessageW(&msg, 0), 1);
  EXPECT_EQ(msg.wParam, 4u);
  EXPECT_EQ(plat::GetMessageW(&msg, 20), -1);
  EXPECT_FALSE(plat::PeekMessageW(&msg));
  plat::DestroyWindow(b);
}

TEST_F(MessagesTest, PumpWaitsInsteadOfTheQueueAndPostsWakeIt) {
  std::vector<Seen> seen;
  HWND w = Recorder(seen);
  std::atomic<int> waits{0};
  std::atomic<int> wakes{0};
  plat::SetMessagePump({[&](uint32_t) {
                          // The outside world delivers one event per wait.
                          ++waits;
                          plat::PostMessageW(w, plat::WM_USER + 5, 0, 0);
                        },
                        [&] { ++wakes; }});
  MSG msg;
  ASSERT_EQ(plat::GetMessageW(&msg, 1000), 1);
  EXPECT_EQ(msg.message, plat::WM_USER + 5u);
  EXPECT_EQ(waits.load(), 1);
  EXPECT_EQ(wakes.load(), 1);
  plat::SetMessagePump({});
  plat::PostMessageW(w, plat::WM_USER + 6, 0, 0);
  EXPECT_EQ(wakes.load(), 1);
  ASSERT_EQ(plat::GetMessageW(&msg, 1000), 1);
  EXPECT_EQ(msg.message, plat::WM_USER + 6u);
  plat::DestroyWindow(w);
}

TEST_F(MessagesTest, ExtensionSlotFollowsTheHandle) {
  int record = 0;
  int other = 0;
  HWND w = plat::CreateMessageWindow(nullptr, &record);
  EXPECT_EQ(plat::GetWindowExtension(w), &record);
  EXPECT_TRUE(plat::SetWindowExtension(w, &other));
  EXPECT_EQ(plat::GetWindowExtension(w), &other);
  // A window without a procedure swallows what it gets.
  EXPECT_EQ(plat::SendMessageW(w, plat::WM_USER, 0, 0), 0);
  EXPECT_TRUE(plat::SetWindowProc(w, [](HWND, uint32_t m, uintptr_t, intptr_t) { return intptr_t(m); }));
  EXPECT_EQ(plat::SendMessageW(w, plat::WM_USER + 3, 0, 0), intptr_t(plat::WM_USER + 3));
  plat::DestroyWindow(w);
  EXPECT_FALSE(plat::SetWindowExtension(w, &record));
}

}  // namespace
