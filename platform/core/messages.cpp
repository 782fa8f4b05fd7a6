#include "platform/core/messages.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/core/threads.h"

namespace plat {
namespace {

struct WindowRecord {
  // Shared so that a call in progress keeps its procedure alive while the
  // window is destroyed or its procedure replaced.
  std::shared_ptr<const WindowProc> proc;
  void* extension = nullptr;
  bool destroying = false;
};

// The registry and the queue have separate locks and are never held
// together, except that the queue reader asks the registry whether a queued
// message's window still lives (queue lock, then registry lock; nothing takes
// them in the other order).
struct Registry {
  std::mutex mutex;
  std::unordered_map<uint32_t, WindowRecord> windows;
  uint32_t lastId = 0;
};

struct Queue {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<MSG> messages;
  std::shared_ptr<const MessagePump> pump;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // never destroyed: posts may come late
  return *registry;
}

Queue& TheQueue() {
  static Queue* queue = new Queue;
  return *queue;
}

std::shared_ptr<const WindowProc> ProcOf(HWND window) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.mutex);
  auto it = r.windows.find(window.id);
  if (it == r.windows.end()) return nullptr;
  return it->second.proc;
}

// Whether a queued message may still be delivered: window messages only
// while their window lives; WM_QUIT and other window-less messages always.
bool Deliverable(const MSG& msg) { return !msg.hwnd || IsWindow(msg.hwnd); }

// Takes (or, without `remove`, copies) the first deliverable message; the
// caller holds the queue lock. Undeliverable messages ahead of it are dropped.
bool TakeLocked(Queue& q, MSG* msg, bool remove) {
  while (!q.messages.empty()) {
    if (!Deliverable(q.messages.front())) {
      q.messages.pop_front();
      continue;
    }
    if (msg != nullptr) *msg = q.messages.front();
    if (remove) q.messages.pop_front();
    return true;
  }
  return false;
}

void Enqueue(const MSG& msg) {
  Queue& q = TheQueue();
  std::shared_ptr<const MessagePump> pump;
  {
    std::lock_guard<std::mutex> hold(q.mutex);
    q.messages.push_back(msg);
    pump = q.pump;
  }
  q.arrived.notify_all();
  if (pump && pump->wake) pump->wake();
}

}  // namespace

HWND CreateMessageWindow(WindowProc proc, void* extension) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.mutex);
  // Handle numbers are never reused, so an old handle can never name a new
  // window; zero is the null handle.
  do {
    ++r.lastId;
  } while (r.lastId == 0 || r.windows.count(r.lastId) != 0);
  WindowRecord record;
  record.proc = std::make_shared<const WindowProc>(std::move(proc));
  record.extension = extension;
  r.windows.emplace(r.lastId, std::move(record));
  return HWND{r.lastId};
}

bool DestroyWindow(HWND window) {
  Registry& r = TheRegistry();
  {
    std::lock_guard<std::mutex> hold(r.mutex);
    auto it = r.windows.find(window.id);
    if (it == r.windows.end() || it->second.destroying) return false;
    it->second.destroying = true;
  }
  SendMessageW(window, WM_DESTROY, 0, 0);
  SendMessageW(window, WM_NCDESTROY, 0, 0);
  {
    std::lock_guard<std::mutex> hold(r.mutex);
    r.windows.erase(window.id);
  }
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> hold(q.mutex);
  std::erase_if(q.messages, [window](const MSG& m) { return m.hwnd == window; });
  return true;
}

bool IsWindow(HWND window) {
  if (!window) return false;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.mutex);
  return r.windows.count(window.id) != 0;
}

bool SetWindowProc(HWND window, WindowProc proc) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.mutex);
  auto it = r.windows.find(window.id);
  if (it == r.windows.end()) return false;
  it->second.proc = std::make_shared<const WindowProc>(std::move(proc));
  return true;
}

void* GetWindowExtension(HWND window) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.mutex);
  auto it = r.windows.find(window.id);
  return it == r.windows.end() ? nullptr : it->second.extension;
}

bool SetWindowExtension(HWND window, void* extension) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.mutex);
  auto it = r.windows.find(window.id);
  if (it == r.windows.end()) return false;
  it->second.extension = extension;
  return true;
}

bool PostMessageW(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (!IsWindow(window)) return false;
  Enqueue(MSG{window, message, wParam, lParam, GetTickCount()});
  return true;
}

intptr_t SendMessageW(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::shared_ptr<const WindowProc> proc = ProcOf(window);
  if (!proc || !*proc) return 0;
  return (*proc)(window, message, wParam, lParam);
}

void PostQuitMessage(int32_t exitCode) {
  Enqueue(MSG{kNullWindow, WM_QUIT, static_cast<uintptr_t>(static_cast<uint32_t>(exitCode)), 0, GetTickCount()});
}

int32_t GetMessageW(MSG* msg, uint32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const bool forever = timeoutMs == INFINITE;
  const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
  Queue& q = TheQueue();
  std::unique_lock<std::mutex> hold(q.mutex);
  for (;;) {
    MSG got;
    if (TakeLocked(q, &got, true)) {
      if (msg != nullptr) *msg = got;
      return got.message == WM_QUIT ? 0 : 1;
    }
    uint32_t remaining = INFINITE;
    if (!forever) {
      auto now = Clock::now();
      if (now >= deadline) return -1;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
      remaining = static_cast<uint32_t>(left > 0 ? left : 1);
    }
    std::shared_ptr<const MessagePump> pump = q.pump;
    if (pump && pump->wait) {
      hold.unlock();
      pump->wait(remaining);
      hold.lock();
    } else if (forever) {
      q.arrived.wait(hold);
    } else {
      q.arrived.wait_until(hold, deadline);
    }
  }
}

bool PeekMessageW(MSG* msg, uint32_t removeFlags) {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> hold(q.mutex);
  return TakeLocked(q, msg, (removeFlags & PM_REMOVE) != 0);
}

intptr_t DispatchMessageW(const MSG* msg) {
  if (msg == nullptr || !msg->hwnd) return 0;
  return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

size_t QueuedMessageCount() {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> hold(q.mutex);
  return q.messages.size();
}

void DiscardQueuedMessages() {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> hold(q.mutex);
  q.messages.clear();
}

size_t RemoveQueuedMessages(HWND window, uint32_t first, uint32_t last) {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> hold(q.mutex);
  const size_t before = q.messages.size();
  std::erase_if(q.messages, [&](const MSG& m) {
    return m.hwnd == window && m.message >= first && m.message <= last;
  });
  return before - q.messages.size();
}

void SetMessagePump(MessagePump pump) {
  Queue& q = TheQueue();
  std::shared_ptr<const MessagePump> installed;
  if (pump.wait || pump.wake) installed = std::make_shared<const MessagePump>(std::move(pump));
  {
    std::lock_guard<std::mutex> hold(q.mutex);
    q.pump = std::move(installed);
  }
  // A reader sleeping on the old arrangement re-checks under the new one.
  q.arrived.notify_all();
}

}  // namespace plat
