// A window that records the loader's messages, and a pump that plays the
// user-interface thread's message loop until a condition holds.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "intake/messages.h"
#include "platform/core/messages.h"
#include "platform/core/threads.h"

namespace fixture {

struct LoaderMessage {
  uint32_t message;
  intptr_t wParam;
  intptr_t lParam;
  bool operator==(const LoaderMessage&) const = default;
};

inline LoaderMessage Progress(intptr_t loaded, intptr_t total) { return {WM_LOAD_PROGRESS, loaded, total}; }
inline LoaderMessage Redraw() { return {WM_WORK_REDRAW, 0, 0}; }

class MessageRecorder {
 public:
  MessageRecorder() {
    plat::DiscardQueuedMessages();
    window = plat::CreateMessageWindow([this](plat::HWND, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
      if (m == WM_LOAD_PROGRESS || m == WM_WORK_REDRAW) {
        seen.push_back({m, static_cast<intptr_t>(w), l});
        if (onMessage) onMessage(seen.back());
      }
      return 0;
    });
  }
  ~MessageRecorder() {
    plat::DestroyWindow(window);
    plat::DiscardQueuedMessages();
  }
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  // Dispatches queued messages until `done` holds; false when that took
  // longer than `timeoutMs`.
  bool PumpUntil(const std::function<bool()>& done, uint32_t timeoutMs = 30000) {
    uint32_t start = plat::GetTickCount();
    while (!done()) {
      if (plat::GetTickCount() - start > timeoutMs) return false;
      plat::MSG msg;
      if (plat::GetMessageW(&msg, 50) == 1) plat::DispatchMessageW(&msg);
    }
    return true;
  }

  // Pumps until `runs` runs have ended, including the two repaints that
  // follow each end message.
  bool PumpRuns(int runs, uint32_t timeoutMs = 30000) {
    return PumpUntil([&] { return EndsSeen() >= runs && RedrawsAfterLastEnd() >= 2; }, timeoutMs);
  }

  int EndsSeen() const {
    int n = 0;
    for (const auto& m : seen) n += (m.message == WM_LOAD_PROGRESS && m.lParam == -1) ? 1 : 0;
    return n;
  }

  int RedrawsAfterLastEnd() const {
    int n = 0;
    for (auto it = seen.rbegin(); it != seen.rend(); ++it) {
      if (it->message == WM_LOAD_PROGRESS && it->lParam == -1) return n;
      if (it->message == WM_WORK_REDRAW) ++n;
    }
    return 0;
  }

  // The progress messages alone, in order.
  std::vector<LoaderMessage> ProgressOnly() const {
    std::vector<LoaderMessage> out;
    for (const auto& m : seen)
      if (m.message == WM_LOAD_PROGRESS) out.push_back(m);
    return out;
  }

  plat::HWND window;
  std::vector<LoaderMessage> seen;
  std::function<void(const LoaderMessage&)> onMessage;
};

}  // namespace fixture
