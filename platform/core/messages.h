// Window handles and the user-interface thread's message queue.
//
// A window here is a small value handle looked up in a registry, so that a
// destroyed window's handle is simply invalid (IsWindow false), never a
// dangling pointer; handle numbers are never reused. Each live handle has a
// window procedure and an opaque extension slot that the window layer uses for
// its own record (geometry, parent and owner, the SDL window).
//
// There is one message queue, read by the user-interface thread. PostMessageW
// is safe from any thread and keeps the order of posts (a post from thread A
// that happens before a post from thread B is retrieved first). SendMessageW
// calls the window procedure at once on the calling thread, which must be the
// user-interface thread. Procedures run without any lock of this layer held,
// so they may create, destroy, post and send freely.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>

namespace plat {

struct HWND {
  uint32_t id = 0;

  explicit operator bool() const { return id != 0; }
  friend bool operator==(HWND, HWND) = default;
  friend auto operator<=>(HWND, HWND) = default;
};

inline constexpr HWND kNullWindow{};

// Message numbers this layer knows itself. The window layer adds its own (the
// input, paint and control messages) beside these.
enum : uint32_t {
  WM_NULL = 0x0000,
  WM_DESTROY = 0x0002,
  WM_QUIT = 0x0012,
  WM_NCDESTROY = 0x0082,
  WM_USER = 0x0400,
};

using WindowProc = std::function<intptr_t(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam)>;

struct MSG {
  HWND hwnd;
  uint32_t message = WM_NULL;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  uint32_t time = 0;  // GetTickCount() when posted
};

// --- Registry -------------------------------------------------------------

// Registers a window with its procedure and extension slot and returns its
// new handle.
HWND CreateMessageWindow(WindowProc proc, void* extension = nullptr);

// Sends WM_DESTROY and then WM_NCDESTROY to the window's procedure (the
// window layer destroys child windows and frees its extension there), then
// removes the handle. Messages still queued for it are discarded. Returns
// false for a handle that is not (or no longer) a window, and for a window
// already being destroyed.
bool DestroyWindow(HWND window);

bool IsWindow(HWND window);

// Replaces the procedure of a live window; false for an invalid handle.
bool SetWindowProc(HWND window, WindowProc proc);

// The extension slot given at creation (or set later); nullptr for an invalid
// handle.
void* GetWindowExtension(HWND window);
bool SetWindowExtension(HWND window, void* extension);

// --- Queue ----------------------------------------------------------------

// Appends a message for a live window to the queue. Safe from any thread.
// Returns false (and queues nothing) when the handle is not a window.
bool PostMessageW(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Calls the window's procedure now, on the calling thread, and returns its
// result; 0 for an invalid handle.
intptr_t SendMessageW(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Queues WM_QUIT (hwnd null, wParam the exit code) behind what is queued.
void PostQuitMessage(int32_t exitCode);

inline constexpr uint32_t INFINITE = 0xFFFFFFFF;

// Takes the next message, waiting up to `timeoutMs` for one. Returns 1 for a
// message, 0 for WM_QUIT (which is removed like any other message) and -1
// when the time ran out with the queue still empty.
int32_t GetMessageW(MSG* msg, uint32_t timeoutMs = INFINITE);

enum : uint32_t { PM_NOREMOVE = 0, PM_REMOVE = 1 };

// Looks at the next message without waiting; false when the queue is empty.
// With PM_REMOVE the message is taken off the queue.
bool PeekMessageW(MSG* msg, uint32_t removeFlags = PM_REMOVE);

// Calls the procedure of msg->hwnd with the message; 0 when that window no
// longer exists or the message has no window (WM_QUIT).
intptr_t DispatchMessageW(const MSG* msg);

// Number of messages waiting.
size_t QueuedMessageCount();

// Throws away every queued message (test set-up, and a process that ends its
// user interface).
void DiscardQueuedMessages();

// Takes the queued messages `first` to `last` (inclusive) addressed to
// `window` off the queue, keeping every other one in its order; returns how
// many went. For posts of a producer that has stopped and whose news is no
// longer true.
size_t RemoveQueuedMessages(HWND window, uint32_t first, uint32_t last);

// --- Pump -----------------------------------------------------------------

// A source of messages outside this queue (the SDL event loop). When a pump
// is installed, GetMessageW calls `wait` with the queue unlocked whenever the
// queue is empty, instead of sleeping on its own; `wait` returns after at
// most `timeoutMs` (INFINITE: whenever it likes), usually after it has posted
// what the outside world delivered. Every post calls `wake`, from the posting
// thread, so that a `wait` that blocks outside this layer returns.
struct MessagePump {
  std::function<void(uint32_t timeoutMs)> wait;
  std::function<void()> wake;
};

// Installs (or, with an empty pump, removes) the pump.
void SetMessagePump(MessagePump pump);

}  // namespace plat
