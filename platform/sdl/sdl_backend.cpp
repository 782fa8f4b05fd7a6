// SDL2 windows for the top-level windows, and the translation of SDL's events
// into the window layer's input events.
//
// Waiting on X11. SDL's own blocking wait (SDL_WaitEventTimeout) lets any
// thread that pushes an event wake it by sending an X client message to the
// newest window, over a second X connection. When that window is a modal box
// that is destroyed a moment later, the message may reach the server after
// the window is gone: a BadWindow error, which Xlib's default handler turns
// into the end of the process. So on X11 the user-interface thread never
// blocks inside SDL: it waits in poll() on the X connection and on a pipe of
// its own, and other threads wake it through that pipe; SDL's events are only
// ever polled. An X error handler makes any remaining protocol error about a
// window that no longer exists harmless.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>

#include "platform/core/text.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/window/backend.h"
#include "platform/window/testing.h"

namespace plat {

namespace {

// Virtual keys and SDL key codes, one row per key. The first row of a
// virtual key is the one injection uses.
struct KeyRow {
  SDL_Keycode sdl;
  uint32_t vk;
};

constexpr KeyRow kKeys[] = {
    {SDLK_RETURN, VK_RETURN},   {SDLK_KP_ENTER, VK_RETURN}, {SDLK_ESCAPE, VK_ESCAPE},
    {SDLK_TAB, VK_TAB},         {SDLK_BACKSPACE, VK_BACK},  {SDLK_SPACE, VK_SPACE},
    {SDLK_UP, VK_UP},           {SDLK_DOWN, VK_DOWN},       {SDLK_LEFT, VK_LEFT},
    {SDLK_RIGHT, VK_RIGHT},     {SDLK_HOME, VK_HOME},       {SDLK_END, VK_END},
    {SDLK_PAGEUP, VK_PRIOR},    {SDLK_PAGEDOWN, VK_NEXT},   {SDLK_INSERT, VK_INSERT},
    {SDLK_DELETE, VK_DELETE},   {SDLK_LSHIFT, VK_SHIFT},    {SDLK_RSHIFT, VK_SHIFT},
    {SDLK_LCTRL, VK_CONTROL},   {SDLK_RCTRL, VK_CONTROL},   {SDLK_LALT, VK_MENU},
    {SDLK_RALT, VK_MENU},       {SDLK_PAUSE, VK_PAUSE},     {SDLK_CAPSLOCK, VK_CAPITAL},
    {SDLK_F1, VK_F1},           {SDLK_F1 + 1, VK_F1 + 1},   {SDLK_F1 + 2, VK_F1 + 2},
    {SDLK_F1 + 3, VK_F1 + 3},   {SDLK_F1 + 4, VK_F1 + 4},   {SDLK_F1 + 5, VK_F1 + 5},
    {SDLK_F1 + 6, VK_F1 + 6},   {SDLK_F1 + 7, VK_F1 + 7},   {SDLK_F1 + 8, VK_F1 + 8},
    {SDLK_F1 + 9, VK_F1 + 9},   {SDLK_F11, VK_F1 + 10},     {SDLK_F12, VK_F1 + 11},
};

uint32_t VirtualKey(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return uint32_t('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return uint32_t('0' + (key - SDLK_0));
  for (const KeyRow& row : kKeys) {
    if (row.sdl == key) return row.vk;
  }
  return 0;
}

SDL_Keycode SdlKey(uint32_t vk) {
  if (vk >= 'A' && vk <= 'Z') return SDLK_a + SDL_Keycode(vk - 'A');
  if (vk >= '0' && vk <= '9') return SDLK_0 + SDL_Keycode(vk - '0');
  for (const KeyRow& row : kKeys) {
    if (row.vk == vk) return row.sdl;
  }
  return SDLK_UNKNOWN;
}

uintptr_t ModifierFlags(Uint16 mod) {
  uintptr_t flags = 0;
  if (mod & KMOD_SHIFT) flags |= MK_SHIFT;
  if (mod & KMOD_CTRL) flags |= MK_CONTROL;
  return flags;
}

Uint16 SdlModifiers(uintptr_t flags, bool alt) {
  Uint16 mod = 0;
  if (flags & MK_SHIFT) mod |= KMOD_LSHIFT;
  if (flags & MK_CONTROL) mod |= KMOD_LCTRL;
  if (alt) mod |= KMOD_LALT;
  return mod;
}

constexpr int kButtonOf[] = {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE};

int ButtonIndex(Uint8 sdlButton) {
  for (int i = 0; i < 3; ++i) {
    if (kButtonOf[i] == sdlButton) return i;
  }
  return -1;
}

class SdlBackend final : public WindowBackend {
  struct Native;

 public:
  explicit SdlBackend(bool headless) : headless_(headless) {
    wakeEvent_ = SDL_RegisterEvents(1);
    if (pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe_[0] = wakePipe_[1] = -1;
  }
  ~SdlBackend() override {
    for (int fd : wakePipe_) {
      if (fd >= 0) close(fd);
    }
  }

  bool headless() const { return headless_; }

  // The SDL window is made when the window is first shown, at its place
  // then: a window system without a window manager keeps a window where it
  // was created, whatever it is told while hidden.
  void CreateNative(HWND window) override {
    uint32_t style = static_cast<uint32_t>(GetWindowLongW(window, GWL_STYLE));
    uint32_t exStyle = static_cast<uint32_t>(GetWindowLongW(window, GWL_EXSTYLE));
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if ((style & WS_CAPTION) != WS_CAPTION) flags |= SDL_WINDOW_BORDERLESS;
    if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    if (exStyle & WS_EX_TOOLWINDOW) flags |= SDL_WINDOW_SKIP_TASKBAR;
    if (exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    std::u16string cls = GetClassNameW(window);
    if (cls == TOOLTIPS_CLASS) flags |= SDL_WINDOW_TOOLTIP;
    if (cls == u"#32768") flags |= SDL_WINDOW_POPUP_MENU;
    RECT client;
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    Native& n = natives_[window.id];
    n.handle = window.id;
    n.flags = flags;
    n.requestedSize = SIZE{std::max(1, int(client.right)), std::max(1, int(client.bottom))};
    n.requestedPos = origin;
  }

  void Realize(Native& n) {
    if (n.window != nullptr) return;
    n.window = SDL_CreateWindow(n.title.c_str(), n.requestedPos.x, n.requestedPos.y, n.requestedSize.cx,
                                n.requestedSize.cy, n.flags);
    if (n.window == nullptr) {
      std::fprintf(stderr, "tesmer: cannot create a window: %s\n", SDL_GetError());
      return;
    }
    // The window system may report the creation place and size back later.
    n.expectedSizes.push_back(n.requestedSize);
    n.expectedMoves.push_back(n.requestedPos);
    if (n.minimum.cx > 0) SDL_SetWindowMinimumSize(n.window, n.minimum.cx, n.minimum.cy);
    if (n.icon != nullptr) ApplyIcon(n.window, n.icon);
    byId_[SDL_GetWindowID(n.window)] = HWND{n.handle};
    if (xDisplay_ == nullptr) AdoptXConnection(n.window);
  }

  // The first window tells which X connection SDL reads its events from.
  void AdoptXConnection(SDL_Window* window) {
    if (headless_ || wakePipe_[0] < 0) return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11 || info.info.x11.display == nullptr)
      return;
    xDisplay_ = info.info.x11.display;
    xFd_.store(ConnectionNumber(xDisplay_));
  }

  void DestroyNative(HWND window) override {
    auto it = natives_.find(window.id);
    if (it == natives_.end()) return;
    if (it->second.window != nullptr) {
      byId_.erase(SDL_GetWindowID(it->second.window));
      SDL_DestroyWindow(it->second.window);
    }
    natives_.erase(it);
  }

  void ShowNative(HWND window, bool show) override {
    auto it = natives_.find(window.id);
    if (it == natives_.end()) return;
    Native& n = it->second;
    if (!show) {
      if (n.window != nullptr) SDL_HideWindow(n.window);
      return;
    }
    Realize(n);
    if (n.window != nullptr) SDL_ShowWindow(n.window);
  }

  void PlaceNative(HWND window, const RECT& client) override {
    auto it = natives_.find(window.id);
    if (it == natives_.end()) return;
    Native& n = it->second;
    SIZE size{std::max(1, int(client.right - client.left)), std::max(1, int(client.bottom - client.top))};
    POINT place{client.left, client.top};
    n.requestedSize = size;
    n.requestedPos = place;
    if (n.window == nullptr) return;
    int cw = 0, ch = 0, cx = 0, cy = 0;
    SDL_GetWindowSize(n.window, &cw, &ch);
    SDL_GetWindowPosition(n.window, &cx, &cy);
    if (cw != size.cx || ch != size.cy) {
      n.expectedSizes.push_back(size);
      SDL_SetWindowSize(n.window, size.cx, size.cy);
    }
    if (cx != place.x || cy != place.y) {
      n.expectedMoves.push_back(place);
      SDL_SetWindowPosition(n.window, place.x, place.y);
    }
  }

  void SetTitle(HWND window, std::u16string_view title) override {
    auto it = natives_.find(window.id);
    if (it == natives_.end()) return;
    it->second.title = Utf16ToUtf8(title);
    if (it->second.window != nullptr) SDL_SetWindowTitle(it->second.window, it->second.title.c_str());
  }

  void SetIcon(HWND window, HICON icon) override {
    auto it = natives_.find(window.id);
    if (it == natives_.end() || icon == nullptr) return;
    it->second.icon = icon;
    if (it->second.window != nullptr) ApplyIcon(it->second.window, icon);
  }

  static void ApplyIcon(SDL_Window* w, HICON icon) {
    SIZE size = GetIconSize(icon);
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(GetIconPixels(icon)), size.cx,
                                                              size.cy, 32, size.cx * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface == nullptr) return;
    SDL_SetWindowIcon(w, surface);
    SDL_FreeSurface(surface);
  }

  void SetMinimumSize(HWND window, SIZE size) override {
    auto it = natives_.find(window.id);
    if (it == natives_.end()) return;
    it->second.minimum = SIZE{std::max(1, int(size.cx)), std::max(1, int(size.cy))};
    if (it->second.window != nullptr) SDL_SetWindowMinimumSize(it->second.window, it->second.minimum.cx, it->second.minimum.cy);
  }

  void Raise(HWND window) override {
    if (headless_) return;
    if (SDL_Window* w = NativeOf(window); w != nullptr && (SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN)) {
      SDL_RaiseWindow(w);
    }
  }
  void Minimize(HWND window) override {
    if (SDL_Window* w = NativeOf(window)) SDL_MinimizeWindow(w);
  }
  void Maximize(HWND window) override {
    if (SDL_Window* w = NativeOf(window)) SDL_MaximizeWindow(w);
  }
  void Restore(HWND window) override {
    if (SDL_Window* w = NativeOf(window)) SDL_RestoreWindow(w);
  }

  void Present(HWND window, const PixelView& pixels) override {
    SDL_Window* w = NativeOf(window);
    if (w == nullptr || pixels.data == nullptr) return;
    SDL_Surface* surface = SDL_GetWindowSurface(w);
    if (surface == nullptr) return;
    int width = std::min(surface->w, int(pixels.width));
    int height = std::min(surface->h, int(pixels.height));
    if (width <= 0 || height <= 0) return;
    if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
    SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_RGB888, pixels.data, pixels.stride, surface->format->format,
                      surface->pixels, surface->pitch);
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(w);
  }

  RECT ScreenRect() override {
    if (!headless_) {
      SDL_Rect r;
      if (SDL_GetDisplayBounds(0, &r) == 0) return RECT{r.x, r.y, r.x + r.w, r.y + r.h};
    }
    return RECT{0, 0, 1920, 1080};
  }

  // Events are translated only until one of them produced a message: the
  // window an event goes to (the focus, the capture) is decided when the
  // messages before it have been handled, as if it were read from the queue
  // right then.
  void WaitEvents(uint32_t timeoutMs) override {
    SDL_Event e;
    if (QueuedMessageCount() == 0 && timeoutMs != 0) {
      if (!WaitForEvent(e, timeoutMs)) return;
      Translate(e);
    }
    while (QueuedMessageCount() == 0 && SDL_PollEvent(&e)) Translate(e);
  }

  void Wake() override {
    // One wake-up at a time is enough; a burst of posts from the loader
    // must not flood the pipe or SDL's queue.
    if (wakePending_.exchange(true)) return;
    if (xFd_.load() >= 0) {
      const char byte = 1;
      if (write(wakePipe_[1], &byte, 1) != 1) wakePending_ = false;
      return;
    }
    SDL_Event e;
    SDL_zero(e);
    e.type = wakeEvent_;
    if (SDL_PushEvent(&e) != 1) wakePending_ = false;
  }

  HWND WindowOfId(Uint32 id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? HWND{} : it->second;
  }

  Uint32 IdOf(HWND window) {
    SDL_Window* w = NativeOf(GetAncestorRoot(window));
    return w != nullptr ? SDL_GetWindowID(w) : 0;
  }

  bool StaleWindowRequest() {
    if (xDisplay_ == nullptr) return false;
    Window gone = XCreateSimpleWindow(xDisplay_, DefaultRootWindow(xDisplay_), 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(xDisplay_, gone);
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = gone;
    event.xclient.format = 8;
    XSendEvent(xDisplay_, gone, False, NoEventMask, &event);
    XSync(xDisplay_, False);
    return true;
  }

  void DestroyEveryNative() {
    for (auto& [id, n] : natives_) {
      if (n.window != nullptr) SDL_DestroyWindow(n.window);
    }
    natives_.clear();
    byId_.clear();
  }

 private:
  struct Native {
    SDL_Window* window = nullptr;
    uint32_t handle = 0;
    Uint32 flags = 0;
    std::string title;
    HICON icon = nullptr;
    SIZE minimum;
    SIZE requestedSize;
    POINT requestedPos;
    // Sizes and places this program asked for: SDL reports them back as
    // events, which must not be taken for the user's own resizing.
    std::deque<SIZE> expectedSizes;
    std::deque<POINT> expectedMoves;
  };

  // Waits up to `timeoutMs` for one SDL event; false when none came. Without
  // an X connection of our own (no window yet, the dummy driver) SDL's wait
  // is used: it has no window to send wake-ups to then.
  bool WaitForEvent(SDL_Event& e, uint32_t timeoutMs) {
    if (xFd_.load() < 0) {
      int got = timeoutMs == INFINITE ? SDL_WaitEvent(&e)
                                      : SDL_WaitEventTimeout(&e, int(std::min<uint32_t>(timeoutMs, 0x7FFFFFFF)));
      return got != 0;
    }
    const Uint64 start = SDL_GetTicks64();
    for (;;) {
      if (SDL_PollEvent(&e)) return true;
      // Reads whatever the X connection holds, so that Xlib's own queue is
      // empty before poll() looks at the socket.
      SDL_PumpEvents();
      if (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) return true;
      if (XEventsQueued(xDisplay_, QueuedAlready) > 0) continue;
      int slice = kWaitSliceMs;
      if (timeoutMs != INFINITE) {
        const Uint64 waited = SDL_GetTicks64() - start;
        if (waited >= timeoutMs) return false;
        slice = int(std::min<Uint64>(timeoutMs - waited, kWaitSliceMs));
      }
      pollfd fds[2] = {{xFd_.load(), POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
      poll(fds, 2, slice);
      if (fds[1].revents & POLLIN) {
        char drain[64];
        while (read(wakePipe_[0], drain, sizeof drain) > 0) {
        }
        // Cleared before the caller looks at the queue: a post made after
        // this wakes the next wait.
        wakePending_ = false;
        return false;
      }
    }
  }

  SDL_Window* NativeOf(HWND window) {
    auto it = natives_.find(window.id);
    return it == natives_.end() ? nullptr : it->second.window;
  }

  bool Expected(HWND window, SIZE size) {
    auto it = natives_.find(window.id);
    if (it == natives_.end()) return false;
    auto& q = it->second.expectedSizes;
    auto match = std::find_if(q.begin(), q.end(), [&](SIZE s) { return s.cx == size.cx && s.cy == size.cy; });
    if (match == q.end()) return false;
    q.erase(q.begin(), match + 1);
    return true;
  }

  bool ExpectedMove(HWND window, POINT p) {
    auto it = natives_.find(window.id);
    if (it == natives_.end()) return false;
    auto& q = it->second.expectedMoves;
    auto match = std::find_if(q.begin(), q.end(), [&](POINT s) { return s.x == p.x && s.y == p.y; });
    if (match == q.end()) return false;
    q.erase(q.begin(), match + 1);
    return true;
  }

  // The one place SDL's events are read.
  void Translate(const SDL_Event& e) {
    if (e.type == wakeEvent_) {
      wakePending_ = false;
      return;
    }
    InputEvent in;
    switch (e.type) {
      case SDL_MOUSEMOTION:
        in.kind = InputEvent::MouseMove;
        in.window = WindowOfId(e.motion.windowID);
        in.point = POINT{e.motion.x, e.motion.y};
        in.modifiers = modifiers_;
        in.time = e.motion.timestamp;
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        in.kind = e.type == SDL_MOUSEBUTTONDOWN ? InputEvent::ButtonDown : InputEvent::ButtonUp;
        in.window = WindowOfId(e.button.windowID);
        in.point = POINT{e.button.x, e.button.y};
        in.button = ButtonIndex(e.button.button);
        in.modifiers = modifiers_;
        in.time = e.button.timestamp;
        if (in.button < 0) return;
        break;
      case SDL_MOUSEWHEEL: {
        in.kind = InputEvent::Wheel;
        in.window = WindowOfId(e.wheel.windowID);
        in.point = POINT{e.wheel.mouseX, e.wheel.mouseY};
        float notches = e.wheel.preciseY != 0.0f ? e.wheel.preciseY : float(e.wheel.y);
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
        in.wheelDelta = int(std::lround(notches * WHEEL_DELTA));
        in.modifiers = modifiers_;
        in.time = e.wheel.timestamp;
        if (in.wheelDelta == 0) return;
        break;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        modifiers_ = ModifierFlags(e.key.keysym.mod);
        in.kind = e.type == SDL_KEYDOWN ? InputEvent::KeyDown : InputEvent::KeyUp;
        in.window = WindowOfId(e.key.windowID);
        in.key = VirtualKey(e.key.keysym.sym);
        in.repeat = e.key.repeat != 0;
        in.modifiers = modifiers_;
        in.alt = (e.key.keysym.mod & KMOD_ALT) != 0;
        in.time = e.key.timestamp;
        if (in.key == 0) return;
        break;
      case SDL_TEXTINPUT:
        in.kind = InputEvent::Text;
        in.window = WindowOfId(e.text.windowID);
        in.text = Utf8ToUtf16(e.text.text);
        break;
      case SDL_DROPBEGIN:
        dropping_.clear();
        return;
      case SDL_DROPFILE:
        if (e.drop.file != nullptr) {
          dropping_.push_back(PathFromNative(e.drop.file));
          SDL_free(e.drop.file);
        }
        dropWindow_ = e.drop.windowID;
        return;
      case SDL_DROPTEXT:
        if (e.drop.file != nullptr) SDL_free(e.drop.file);
        return;
      case SDL_DROPCOMPLETE:
        in.kind = InputEvent::Drop;
        in.window = WindowOfId(e.drop.windowID != 0 ? e.drop.windowID : dropWindow_);
        in.paths = std::move(dropping_);
        dropping_.clear();
        break;
      case SDL_WINDOWEVENT:
        if (!TranslateWindowEvent(e.window, in)) return;
        break;
      default:
        return;
    }
    if (!in.window) {
      // Keys and drops without a window of ours go to the active window.
      if (in.kind == InputEvent::KeyDown || in.kind == InputEvent::KeyUp || in.kind == InputEvent::Text ||
          in.kind == InputEvent::Drop) {
        in.window = GetActiveWindow() ? GetActiveWindow() : GetMainWindow();
      }
      if (!in.window) return;
    }
    DeliverInput(in);
  }

  bool TranslateWindowEvent(const SDL_WindowEvent& w, InputEvent& in) {
    in.window = WindowOfId(w.windowID);
    if (!in.window) return false;
    switch (w.event) {
      case SDL_WINDOWEVENT_MOVED:
        if (ExpectedMove(in.window, POINT{w.data1, w.data2})) return false;
        in.kind = InputEvent::Moved;
        in.point = POINT{w.data1, w.data2};
        return true;
      case SDL_WINDOWEVENT_SIZE_CHANGED:
        if (Expected(in.window, SIZE{w.data1, w.data2})) return false;
        in.kind = InputEvent::Resized;
        in.size = SIZE{w.data1, w.data2};
        return true;
      default:
        break;
    }
    // Window events that carry nothing but their kind.
    static constexpr struct {
      Uint8 event;
      InputEvent::Kind kind;
    } kPlainEvents[] = {
        {SDL_WINDOWEVENT_CLOSE, InputEvent::Close},         {SDL_WINDOWEVENT_MINIMIZED, InputEvent::Minimized},
        {SDL_WINDOWEVENT_MAXIMIZED, InputEvent::Maximized}, {SDL_WINDOWEVENT_RESTORED, InputEvent::Restored},
        {SDL_WINDOWEVENT_FOCUS_GAINED, InputEvent::FocusGained}, {SDL_WINDOWEVENT_EXPOSED, InputEvent::Exposed},
        {SDL_WINDOWEVENT_LEAVE, InputEvent::PointerLeft},
    };
    for (const auto& plain : kPlainEvents) {
      if (w.event == plain.event) {
        in.kind = plain.kind;
        return true;
      }
    }
    return false;
  }

  // The longest single sleep of a wait on X11: events SDL gathers from
  // sources other than the X connection (input methods) are read at least
  // this often.
  static constexpr int kWaitSliceMs = 100;

  bool headless_;
  Uint32 wakeEvent_ = 0;
  int wakePipe_[2] = {-1, -1};
  Display* xDisplay_ = nullptr;
  std::atomic<int> xFd_{-1};
  std::atomic<bool> wakePending_{false};
  std::map<uint32_t, Native> natives_;
  std::map<Uint32, HWND> byId_;
  uintptr_t modifiers_ = 0;
  std::vector<std::u16string> dropping_;
  Uint32 dropWindow_ = 0;
};

SdlBackend* g_sdl = nullptr;

// X protocol errors are reported asynchronously, long after the request
// that caused them; one about a window or drawable that is already gone
// (a stale event, a late wake-up) concerns nothing that still exists. Any
// other error is reported, but never ends the program the way Xlib's
// default handler does.
int HandleXError(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow || error->error_code == BadDrawable) return 0;
  char text[160] = "";
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::fprintf(stderr, "tesmer: X error %s (request %d.%d)\n", text, int(error->request_code),
               int(error->minor_code));
  return 0;
}

void Push(SDL_Event& e) {
  if (g_sdl == nullptr) return;
  SDL_PushEvent(&e);
}

// The top-level window's SDL id and the point in its client coordinates.
bool Address(HWND window, POINT client, Uint32& id, POINT& rootPoint) {
  if (g_sdl == nullptr || !IsWindow(window)) return false;
  HWND root = GetAncestorRoot(window);
  id = g_sdl->IdOf(root);
  POINT p = client;
  MapWindowPoints(window, root, &p, 1);
  rootPoint = p;
  return id != 0;
}

}  // namespace

bool HeadlessRequested(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--headless") == 0) return true;
  }
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  return driver != nullptr && std::strcmp(driver, "dummy") == 0;
}

bool StartSdlPlatform(bool headless) {
  if (g_sdl != nullptr) return true;
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver != nullptr && std::strcmp(driver, "dummy") == 0) headless = true;
  if (headless) SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "tesmer: cannot start the display: %s\n", SDL_GetError());
    return false;
  }
  // SDL's X11 driver installs a handler of its own while it starts, which
  // ends in Xlib's default one; ours replaces it.
  const char* video = SDL_GetCurrentVideoDriver();
  if (video != nullptr && std::strcmp(video, "x11") == 0) XSetErrorHandler(HandleXError);
  SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
  SDL_EventState(SDL_DROPBEGIN, SDL_ENABLE);
  SDL_EventState(SDL_DROPCOMPLETE, SDL_ENABLE);
  g_sdl = new SdlBackend(headless);
  SetWindowBackend(g_sdl);
  return true;
}

void StopSdlPlatform() {
  if (g_sdl == nullptr) return;
  ResetWindowState();
  SetWindowBackend(nullptr);
  g_sdl->DestroyEveryNative();
  delete g_sdl;
  g_sdl = nullptr;
  SDL_Quit();
}

bool SdlPlatformHeadless() { return g_sdl != nullptr && g_sdl->headless(); }

void InjectMouseMove(HWND window, POINT client, uint32_t heldButtons) {
  Uint32 id;
  POINT p;
  if (!Address(window, client, id, p)) return;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = id;
  e.motion.x = p.x;
  e.motion.y = p.y;
  e.motion.state = heldButtons;
  Push(e);
}

void InjectMouseButton(HWND window, POINT client, int button, bool down) {
  Uint32 id;
  POINT p;
  if (!Address(window, client, id, p) || button < 0 || button > 2) return;
  SDL_Event e;
  SDL_zero(e);
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.windowID = id;
  e.button.button = Uint8(kButtonOf[button]);
  e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = 1;
  e.button.x = p.x;
  e.button.y = p.y;
  Push(e);
}

void InjectClick(HWND window, POINT client, int button) {
  InjectMouseMove(window, client);
  InjectMouseButton(window, client, button, true);
  InjectMouseButton(window, client, button, false);
}

void InjectWheel(HWND window, POINT client, int notches) {
  Uint32 id;
  POINT p;
  if (!Address(window, client, id, p)) return;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_MOUSEWHEEL;
  e.wheel.windowID = id;
  e.wheel.y = notches;
  e.wheel.preciseY = float(notches);
  e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  e.wheel.mouseX = p.x;
  e.wheel.mouseY = p.y;
  Push(e);
}

// Pushes a window event of `window` with its two data fields.
static void InjectWindowEvent(HWND window, Uint8 event, int32_t data1 = 0, int32_t data2 = 0) {
  Uint32 id;
  POINT p;
  if (!Address(window, POINT{}, id, p)) return;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = id;
  e.window.event = event;
  e.window.data1 = data1;
  e.window.data2 = data2;
  Push(e);
}

void InjectPointerLeave(HWND window) { InjectWindowEvent(window, SDL_WINDOWEVENT_LEAVE); }

void InjectKey(uint32_t virtualKey, bool down, uintptr_t modifiers, bool alt) {
  if (g_sdl == nullptr) return;
  SDL_Event e;
  SDL_zero(e);
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  HWND active = GetActiveWindow();
  e.key.windowID = active ? g_sdl->IdOf(active) : 0;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.sym = SdlKey(virtualKey);
  e.key.keysym.scancode = SDL_GetScancodeFromKey(e.key.keysym.sym);
  e.key.keysym.mod = SdlModifiers(modifiers, alt);
  Push(e);
}

void InjectKeyPress(uint32_t virtualKey, uintptr_t modifiers, bool alt) {
  InjectKey(virtualKey, true, modifiers, alt);
  InjectKey(virtualKey, false, modifiers, alt);
}

void InjectText(std::u16string_view text) {
  if (g_sdl == nullptr) return;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_TEXTINPUT;
  HWND active = GetActiveWindow();
  e.text.windowID = active ? g_sdl->IdOf(active) : 0;
  std::string utf8 = Utf16ToUtf8(text);
  std::strncpy(e.text.text, utf8.c_str(), sizeof e.text.text - 1);
  Push(e);
}

void InjectDrop(HWND window, const std::vector<std::u16string>& paths) {
  Uint32 id;
  POINT p;
  if (!Address(window, POINT{}, id, p)) return;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_DROPBEGIN;
  e.drop.windowID = id;
  Push(e);
  for (const std::u16string& path : paths) {
    SDL_zero(e);
    e.type = SDL_DROPFILE;
    e.drop.windowID = id;
    e.drop.file = SDL_strdup(PathToNative(path).c_str());
    if (SDL_PushEvent(&e) != 1) SDL_free(e.drop.file);
  }
  SDL_zero(e);
  e.type = SDL_DROPCOMPLETE;
  e.drop.windowID = id;
  Push(e);
}

void InjectClose(HWND window) { InjectWindowEvent(window, SDL_WINDOWEVENT_CLOSE); }

bool InjectStaleWindowRequest() { return g_sdl != nullptr && g_sdl->StaleWindowRequest(); }

void InjectResize(HWND window, SIZE clientSize) {
  InjectWindowEvent(window, SDL_WINDOWEVENT_SIZE_CHANGED, clientSize.cx, clientSize.cy);
}

}  // namespace plat
