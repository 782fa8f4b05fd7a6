// The window tree, geometry, painting, focus, capture, timers and the message
// pump of the window layer.
#include "platform/window/window.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/core/threads.h"
#include "platform/window/backend.h"
#include "platform/window/internal/window_impl.h"
#include "platform/window/internal/state.h"
#include "platform/window/testing.h"

namespace plat {
namespace internal {

// --- The headless backend ---------------------------------------------------

// Keeps nothing but a screen size; waiting sleeps until a post wakes it.
class HeadlessBackend final : public WindowBackend {
 public:
  RECT ScreenRect() override { return screen; }
  void WaitEvents(uint32_t timeoutMs) override {
    std::unique_lock<std::mutex> hold(mutex_);
    if (timeoutMs == INFINITE) {
      woken_.wait(hold, [this] { return wake_; });
    } else if (timeoutMs > 0) {
      woken_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [this] { return wake_; });
    }
    wake_ = false;
  }
  void Wake() override {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      wake_ = true;
    }
    woken_.notify_all();
  }
  RECT screen{0, 0, 1920, 1080};

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool wake_ = false;
};

HeadlessBackend& Headless() {
  static HeadlessBackend* backend = new HeadlessBackend;
  return *backend;
}

std::atomic<WindowBackend*> g_backend{nullptr};

WindowBackend& Backend() {
  WindowBackend* b = g_backend.load();
  return b != nullptr ? *b : static_cast<WindowBackend&>(Headless());
}

State& S() {
  static State* state = new State;
  return *state;
}

MouseState& Mouse() { return S().mouse; }
HWND& TrackedWindow() { return S().tracked; }

Window* Find(HWND window) {
  if (!window) return nullptr;
  return static_cast<Window*>(GetWindowExtension(window));
}

DialogData* DialogOf(HWND window) {
  Window* w = Find(window);
  return w != nullptr ? w->dialog.get() : nullptr;
}

bool IsTopLevel(const Window& w) { return (w.style & WS_CHILD) == 0; }
bool IsVisibleFlag(const Window& w) { return (w.style & WS_VISIBLE) != 0; }

RECT NonClientInsets(uint32_t style, uint32_t exStyle) {
  if (style & WS_CHILD) return RECT{};
  int border = 0;
  if (style & WS_THICKFRAME) {
    border = 4;
  } else if ((style & WS_DLGFRAME) || (style & DS_MODALFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) {
    border = 3;
  } else if (style & WS_BORDER) {
    border = 1;
  }
  int caption = (style & WS_CAPTION) == WS_CAPTION ? 23 : 0;
  return RECT{border, border + caption, border, border};
}

SIZE ClientSize(const Window& w) {
  RECT in = NonClientInsets(w.style, w.exStyle);
  SIZE s{w.rect.right - w.rect.left - in.left - in.right, w.rect.bottom - w.rect.top - in.top - in.bottom};
  if (s.cx < 0) s.cx = 0;
  if (s.cy < 0) s.cy = 0;
  return s;
}

POINT ClientOrigin(HWND window) {
  POINT p{};
  for (Window* w = Find(window); w != nullptr; w = Find(w->parent)) {
    if (IsTopLevel(*w)) {
      RECT in = NonClientInsets(w->style, w->exStyle);
      p.x += w->rect.left + in.left;
      p.y += w->rect.top + in.top;
      break;
    }
    p.x += w->rect.left;
    p.y += w->rect.top;
  }
  return p;
}

HBRUSH SysColorBrush(int index) {
  auto& brushes = S().sysBrushes;
  auto it = brushes.find(index);
  if (it != brushes.end()) return it->second;
  HBRUSH b = CreateSolidBrush(GetSysColor(index));
  brushes[index] = b;
  return b;
}

void FrameRectColor(HDC dc, const RECT& r, COLORREF color) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  HPEN pen = CreatePen(PS_SOLID, 1, color);
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, r.left, r.top);
  LineTo(dc, r.right - 1, r.top);
  LineTo(dc, r.right - 1, r.bottom - 1);
  LineTo(dc, r.left, r.bottom - 1);
  LineTo(dc, r.left, r.top);
  SelectObject(dc, old);
  DeleteObject(pen);
}

namespace {

using Clock = std::chrono::steady_clock;

bool RectEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (RectEmpty(r)) return RECT{};
  return r;
}

RECT Union(const RECT& a, const RECT& b) {
  if (RectEmpty(a)) return b;
  if (RectEmpty(b)) return a;
  RECT r = a;
  UnionInto(r, b);
  return r;
}

RECT ClientRectOf(const Window& w) {
  SIZE s = ClientSize(w);
  return RECT{0, 0, s.cx, s.cy};
}

HWND RootOf(HWND window) {
  Window* w = Find(window);
  while (w != nullptr && !IsTopLevel(*w)) {
    Window* p = Find(w->parent);
    if (p == nullptr) break;
    w = p;
  }
  return w != nullptr ? w->handle : HWND{};
}

// Whether the window and all its ancestors are shown.
bool ShownAll(HWND window) {
  for (Window* w = Find(window); w != nullptr; w = IsTopLevel(*w) ? nullptr : Find(w->parent)) {
    if (!IsVisibleFlag(*w)) return false;
    if (IsTopLevel(*w) && w->minimized) return false;
  }
  return Find(window) != nullptr;
}

void ResizeBuffer(Window& w) {
  SIZE s = ClientSize(w);
  if (s.cx == w.bufferWidth && s.cy == w.bufferHeight && !w.pixels.empty()) return;
  std::vector<uint32_t> fresh(size_t(s.cx) * size_t(s.cy), 0);
  int rows = std::min(s.cy, w.bufferHeight);
  int cols = std::min(s.cx, w.bufferWidth);
  for (int y = 0; y < rows; ++y) {
    std::memcpy(&fresh[size_t(y) * size_t(s.cx)], &w.pixels[size_t(y) * size_t(w.bufferWidth)],
                size_t(cols) * 4);
  }
  w.pixels = std::move(fresh);
  w.bufferWidth = s.cx;
  w.bufferHeight = s.cy;
}

void PlaceNative(Window& w) {
  POINT o = ClientOrigin(w.handle);
  SIZE s = ClientSize(w);
  Backend().PlaceNative(w.handle, RECT{o.x, o.y, o.x + s.cx, o.y + s.cy});
}

// Sends WM_GETMINMAXINFO and limits a top-level window's size to the
// tracking sizes it answers, as the platform does for resizable windows.
void ClampTrackSize(HWND window, int& width, int& height) {
  Window* w = Find(window);
  if (w == nullptr || !IsTopLevel(*w) || (w->style & WS_THICKFRAME) == 0) return;
  RECT screen = Backend().ScreenRect();
  MINMAXINFO info;
  info.ptMaxSize = POINT{screen.right - screen.left, screen.bottom - screen.top};
  info.ptMaxPosition = POINT{screen.left, screen.top};
  info.ptMinTrackSize = POINT{112, 27};
  info.ptMaxTrackSize = POINT{32767, 32767};
  SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<intptr_t>(&info));
  width = std::clamp(width, int(info.ptMinTrackSize.x), std::max(int(info.ptMinTrackSize.x), int(info.ptMaxTrackSize.x)));
  height = std::clamp(height, int(info.ptMinTrackSize.y), std::max(int(info.ptMinTrackSize.y), int(info.ptMaxTrackSize.y)));
  if (Window* again = Find(window)) {
    RECT in = NonClientInsets(again->style, again->exStyle);
    Backend().SetMinimumSize(window, SIZE{std::max(0, int(info.ptMinTrackSize.x) - in.left - in.right),
                                          std::max(0, int(info.ptMinTrackSize.y) - in.top - in.bottom)});
  }
}

void ForgetWindow(HWND h, Window* w) {
  State& s = S();
  if (!IsTopLevel(*w)) {
    if (Window* p = Find(w->parent)) {
      std::erase(p->children, h);
      if (IsVisibleFlag(*w)) InvalidateRect(p->handle, &w->rect, true);
    }
  } else {
    std::erase(s.topLevels, h);
    Backend().DestroyNative(h);
  }
  if (s.focus == h) s.focus = HWND{};
  if (s.capture == h) s.capture = HWND{};
  if (s.tracked == h) s.tracked = HWND{};
  if (s.mainWindow == h) s.mainWindow = HWND{};
  if (s.lastClick.window == h) s.lastClick = State::Click{};
  std::erase_if(s.timers, [h](const State::Timer& t) { return t.window == h; });
  if (s.active == h) {
    s.active = HWND{};
    // The owner, or else the next shown top-level window, becomes active.
    HWND next;
    if (Window* o = Find(w->owner); o != nullptr && IsVisibleFlag(*o) && !(o->style & WS_DISABLED)) next = o->handle;
    for (HWND t : s.topLevels) {
      if (next) break;
      Window* tw = Find(t);
      if (tw != nullptr && IsVisibleFlag(*tw) && !(tw->exStyle & WS_EX_TOOLWINDOW) && !(tw->style & WS_DISABLED)) next = t;
    }
    if (next) SetActiveWindow(next);
  }
  if (w->dialog && w->dialog->font != nullptr) DeleteObject(w->dialog->font);
  if (w->systemMenu) s.menus.erase(w->systemMenu.id);
  SetWindowExtension(h, nullptr);
  delete w;
}

// The one procedure the message registry knows for every window: it calls
// the window's current procedure and keeps the tree in order around
// destruction and painting.
intptr_t Dispatch(HWND h, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  Window* w = Find(h);
  if (w == nullptr) return 0;
  WindowProc proc = w->proc;
  switch (message) {
    case WM_PAINT: {
      w->paintPosted = false;
      if (!w->invalid) return 0;
      intptr_t r = proc ? proc(h, message, wParam, lParam) : 0;
      // A procedure that did not paint must not be asked again and again.
      if (Window* again = Find(h); again != nullptr && again->invalid) ValidateRect(h, nullptr);
      return r;
    }
    case WM_DESTROY: {
      // Owned windows go first, then the window itself hears of it, then
      // its children.
      std::vector<HWND> owned;
      for (HWND t : S().topLevels) {
        Window* tw = Find(t);
        if (tw != nullptr && tw->owner == h) owned.push_back(t);
      }
      for (HWND o : owned) DestroyWindow(o);
      if (Window* again = Find(h); again != nullptr && IsTopLevel(*again) && IsVisibleFlag(*again)) {
        Backend().ShowNative(h, false);
      }
      if (S().capture == h) ReleaseCapture();
      intptr_t r = proc ? proc(h, message, wParam, lParam) : 0;
      if (Window* again = Find(h)) {
        std::vector<HWND> children = again->children;
        for (HWND c : children) DestroyWindow(c);
      }
      return r;
    }
    case WM_NCDESTROY: {
      intptr_t r = proc ? proc(h, message, wParam, lParam) : 0;
      if (Window* again = Find(h)) ForgetWindow(h, again);
      return r;
    }
    default:
      return proc ? proc(h, message, wParam, lParam) : 0;
  }
}

// Posts WM_PAINT for the first window (parents before children) that needs
// one; true when it did.
bool PostPaintIn(HWND h) {
  Window* w = Find(h);
  if (w == nullptr || !IsVisibleFlag(*w)) return false;
  if (w->invalid && !w->paintPosted) {
    w->paintPosted = true;
    PostMessageW(h, WM_PAINT, 0, 0);
    return true;
  }
  std::vector<HWND> children = w->children;
  // Children beneath others paint first, so the topmost one ends on top.
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (PostPaintIn(*it)) return true;
  }
  return false;
}

bool PostNextPaint() {
  std::vector<HWND> roots = S().topLevels;
  for (HWND r : roots) {
    Window* w = Find(r);
    if (w == nullptr || w->minimized) continue;
    if (PostPaintIn(r)) return true;
  }
  return false;
}

bool PostDueTimers() {
  auto now = Clock::now();
  bool posted = false;
  for (auto& t : S().timers) {
    if (t.due <= now) {
      t.due = now + std::chrono::milliseconds(std::max<uint32_t>(t.interval, 1));
      PostMessageW(t.window, WM_TIMER, t.id, 0);
      posted = true;
    }
  }
  return posted;
}

uint32_t MillisecondsToNextTimer(uint32_t limit) {
  auto now = Clock::now();
  uint32_t best = limit;
  for (const auto& t : S().timers) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t.due - now).count();
    uint32_t ms = left <= 0 ? 0 : static_cast<uint32_t>(std::min<long long>(left, 0x7FFFFFFF));
    if (ms < best) best = ms;
  }
  return best;
}

void PresentDirty() {
  std::vector<HWND> roots = S().topLevels;
  for (HWND r : roots) {
    Window* w = Find(r);
    if (w == nullptr || !w->dirty) continue;
    w->dirty = false;
    if (!IsVisibleFlag(*w)) continue;
    PixelView view{reinterpret_cast<uint8_t*>(w->pixels.data()), w->bufferWidth, w->bufferHeight, w->bufferWidth * 4};
    Backend().Present(r, view);
  }
}

// The pump the message queue calls when it is empty: paints and timers are
// generated only then, as the platform does, and the screen is brought up to
// date before the thread sleeps.
void PumpWait(uint32_t timeoutMs) {
  if (PostNextPaint()) return;
  if (PostDueTimers()) return;
  PresentDirty();
  Backend().WaitEvents(MillisecondsToNextTimer(timeoutMs));
  PostDueTimers();
}

void EnsureInit() {
  State& s = S();
  if (s.initialised) return;
  s.initialised = true;
  SetMessagePump(MessagePump{PumpWait, [] { Backend().Wake(); }});
  EnsureBuiltInClasses();
}

void ProcessMessage(MSG& msg) {
  if (PreTranslateMessage(msg)) return;
  HWND root = RootOf(msg.hwnd);
  if (DialogOf(root) != nullptr && IsDialogMessageW(root, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace

HWND HitTest(HWND root, POINT screen) {
  Window* w = Find(root);
  if (w == nullptr || !IsVisibleFlag(*w) || w->minimized) return HWND{};
  POINT o = ClientOrigin(root);
  POINT p{screen.x - o.x, screen.y - o.y};
  if (!PtInRect(ClientRectOf(*w), p)) return HWND{};
  HWND current = root;
  for (;;) {
    Window* cw = Find(current);
    HWND next;
    for (HWND c : cw->children) {
      Window* child = Find(c);
      if (child == nullptr || !IsVisibleFlag(*child) || !PtInRect(child->rect, p)) continue;
      bool transparent = child->windowClass->name == WC_STATIC && (child->style & SS_NOTIFY) == 0;
      if (transparent) continue;
      if (child->style & WS_DISABLED) return current;
      next = c;
      break;
    }
    if (!next) return current;
    Window* nw = Find(next);
    p.x -= nw->rect.left;
    p.y -= nw->rect.top;
    current = next;
  }
}

HWND CreateWindowWithProc(uint32_t exStyle, std::u16string_view className, std::u16string_view text,
                          uint32_t style, int x, int y, int width, int height, HWND parent, int id,
                          void* createParam, WindowProc proc) {
  EnsureInit();
  State& s = S();
  auto cls = s.classes.find(std::u16string(className));
  if (cls == s.classes.end()) return HWND{};
  const bool child = (style & WS_CHILD) != 0;
  Window* pw = Find(parent);
  if (child && pw == nullptr) return HWND{};

  exStyle |= cls->second->exStyle;
  auto* w = new Window;
  w->windowClass = cls->second;
  w->proc = proc ? std::move(proc) : cls->second->proc;
  w->style = style & ~WS_VISIBLE;
  w->exStyle = exStyle;
  w->id = id;
  w->text = std::u16string(text);
  w->rect = RECT{x, y, x + std::max(0, width), y + std::max(0, height)};
  if (child) {
    w->parent = parent;
  } else if (pw != nullptr) {
    w->owner = RootOf(parent);
  }
  HWND h = CreateMessageWindow(Dispatch, w);
  w->handle = h;
  if (child) {
    pw->children.push_back(h);
  } else {
    // New top-level windows open above the others, below topmost ones
    // unless they are topmost themselves.
    auto pos = s.topLevels.begin();
    if (!(exStyle & WS_EX_TOPMOST)) {
      while (pos != s.topLevels.end()) {
        Window* tw = Find(*pos);
        if (tw == nullptr || !(tw->exStyle & WS_EX_TOPMOST)) break;
        ++pos;
      }
    }
    s.topLevels.insert(pos, h);
    int cw = width, ch = height;
    ClampTrackSize(h, cw, ch);
    if (Window* again = Find(h)) {
      again->rect.right = again->rect.left + cw;
      again->rect.bottom = again->rect.top + ch;
      ResizeBuffer(*again);
      Backend().CreateNative(h);
      Backend().SetTitle(h, again->text);
      PlaceNative(*again);
    }
  }
  if (SendMessageW(h, WM_CREATE, 0, reinterpret_cast<intptr_t>(createParam)) == -1) {
    DestroyWindow(h);
    return HWND{};
  }
  Window* again = Find(h);
  if (again == nullptr) return HWND{};
  SIZE cs = ClientSize(*again);
  SendMessageW(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cs.cx, cs.cy));
  if (style & WS_VISIBLE) ShowWindow(h, SW_SHOW);
  return IsWindow(h) ? h : HWND{};
}

}  // namespace internal

using namespace internal;

// --- Classes and creation -------------------------------------------------

bool RegisterClassW(const WNDCLASSW& windowClass) {
  if (windowClass.name.empty() || !windowClass.proc) return false;
  auto cls = std::make_shared<WindowClass>();
  cls->name = windowClass.name;
  cls->proc = windowClass.proc;
  cls->style = windowClass.style;
  cls->background = windowClass.background;
  S().classes[windowClass.name] = std::move(cls);
  return true;
}

HWND CreateWindowExW(uint32_t exStyle, std::u16string_view className, std::u16string_view text, uint32_t style,
                     int x, int y, int width, int height, HWND parent, int id, void* createParam) {
  return CreateWindowWithProc(exStyle, className, text, style, x, y, width, height, parent, id, createParam,
                              WindowProc{});
}

HWND GetParent(HWND window) {
  Window* w = Find(window);
  if (w == nullptr) return HWND{};
  return IsTopLevel(*w) ? w->owner : w->parent;
}

HWND GetOwner(HWND window) {
  Window* w = Find(window);
  return w != nullptr && IsTopLevel(*w) ? w->owner : HWND{};
}

HWND GetAncestorRoot(HWND window) { return RootOf(window); }

bool IsChild(HWND parent, HWND window) {
  Window* w = Find(window);
  while (w != nullptr && !IsTopLevel(*w)) {
    if (w->parent == parent) return true;
    w = Find(w->parent);
  }
  return false;
}

std::vector<HWND> GetChildWindows(HWND window) {
  Window* w = Find(window);
  return w != nullptr ? w->children : std::vector<HWND>{};
}

std::vector<HWND> GetTopLevelWindows() { return S().topLevels; }

void SetMainWindow(HWND window) { S().mainWindow = window; }
HWND GetMainWindow() { return IsWindow(S().mainWindow) ? S().mainWindow : HWND{}; }

// --- Procedures and the loop ------------------------------------------------

WindowProc GetWindowProcedure(HWND window) {
  Window* w = Find(window);
  return w != nullptr ? w->proc : WindowProc{};
}

WindowProc SubclassWindow(HWND window, WindowProc proc) {
  Window* w = Find(window);
  if (w == nullptr) return WindowProc{};
  WindowProc old = std::move(w->proc);
  w->proc = std::move(proc);
  return old;
}

intptr_t CallWindowProcW(const WindowProc& proc, HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return proc ? proc(window, message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

void SetPreTranslateFilter(HWND window, PreTranslateFilter filter) {
  if (Window* w = Find(window)) w->filter = std::move(filter);
}

bool PreTranslateMessage(MSG& msg) {
  HWND h = msg.hwnd;
  while (Window* w = Find(h)) {
    if (w->filter) {
      PreTranslateFilter filter = w->filter;  // the filter may replace itself
      if (filter(msg)) return true;
    }
    if (IsTopLevel(*w)) break;
    h = w->parent;
  }
  return false;
}

bool TranslateMessage(const MSG* msg) { return msg != nullptr; }

int RunMessageLoop() {
  EnsureInit();
  MSG msg;
  for (;;) {
    int32_t r = GetMessageW(&msg);
    if (r == 0) return static_cast<int>(static_cast<int32_t>(msg.wParam));
    if (r < 0) continue;
    ProcessMessage(msg);
  }
}

int internal::RunModalLoopUntil(const std::function<bool()>& done) {
  EnsureInit();
  MSG msg;
  while (!done()) {
    int32_t r = GetMessageW(&msg);
    if (r == 0) {
      // Leave the quit request for the outer loop.
      PostQuitMessage(static_cast<int32_t>(msg.wParam));
      return 0;
    }
    if (r < 0) continue;
    ProcessMessage(msg);
  }
  return 1;
}

int PumpPendingMessages() {
  EnsureInit();
  int handled = 0;
  for (int guard = 0; guard < 1000000; ++guard) {
    Backend().WaitEvents(0);
    MSG msg;
    if (PeekMessageW(&msg, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int32_t>(msg.wParam));
        break;
      }
      ProcessMessage(msg);
      ++handled;
      continue;
    }
    if (PostNextPaint()) continue;
    if (PostDueTimers()) continue;
    break;
  }
  PresentDirty();
  return handled;
}

// --- Attributes -------------------------------------------------------------

int32_t GetWindowLongW(HWND window, int index) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  switch (index) {
    case GWL_STYLE:
      return static_cast<int32_t>(w->style | (IsVisibleFlag(*w) ? uint32_t(WS_VISIBLE) : 0u));
    case GWL_EXSTYLE:
      return static_cast<int32_t>(w->exStyle);
    case GWL_ID:
      return w->id;
    case GWLP_USERDATA:
      return static_cast<int32_t>(w->userData);
    default:
      return 0;
  }
}

int32_t SetWindowLongW(HWND window, int index, int32_t value) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  int32_t old = GetWindowLongW(window, index);
  switch (index) {
    case GWL_STYLE: {
      // Visibility and the disabled state change only through ShowWindow
      // and EnableWindow.
      uint32_t keep = w->style & (WS_VISIBLE | WS_DISABLED);
      w->style = (static_cast<uint32_t>(value) & ~(WS_VISIBLE | WS_DISABLED)) | keep;
      break;
    }
    case GWL_EXSTYLE:
      w->exStyle = static_cast<uint32_t>(value);
      break;
    case GWL_ID:
      w->id = value;
      break;
    case GWLP_USERDATA:
      w->userData = value;
      break;
    default:
      break;
  }
  return old;
}

intptr_t GetWindowLongPtrW(HWND window, int index) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  return index == GWLP_USERDATA ? w->userData : GetWindowLongW(window, index);
}

intptr_t SetWindowLongPtrW(HWND window, int index, intptr_t value) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  if (index == GWLP_USERDATA) {
    intptr_t old = w->userData;
    w->userData = value;
    return old;
  }
  return SetWindowLongW(window, index, static_cast<int32_t>(value));
}

std::u16string GetClassNameW(HWND window) {
  Window* w = Find(window);
  return w != nullptr ? w->windowClass->name : std::u16string{};
}

bool SetWindowTextW(HWND window, std::u16string_view text) {
  if (!IsWindow(window)) return false;
  std::u16string copy(text);
  SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<intptr_t>(copy.c_str()));
  return true;
}

std::u16string GetWindowTextW(HWND window) {
  Window* w = Find(window);
  return w != nullptr ? w->text : std::u16string{};
}

int GetWindowTextLengthW(HWND window) { return static_cast<int>(GetWindowTextW(window).size()); }

int GetDlgCtrlID(HWND window) {
  Window* w = Find(window);
  return w != nullptr ? w->id : 0;
}

HWND GetDlgItem(HWND dialog, int id) {
  Window* w = Find(dialog);
  if (w == nullptr) return HWND{};
  for (HWND c : w->children) {
    Window* cw = Find(c);
    if (cw != nullptr && cw->id == id) return c;
  }
  return HWND{};
}

bool SetDlgItemTextW(HWND dialog, int id, std::u16string_view text) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SetWindowTextW(item, text) : false;
}

std::u16string GetDlgItemTextW(HWND dialog, int id) { return GetWindowTextW(GetDlgItem(dialog, id)); }

// --- Geometry ---------------------------------------------------------------

bool GetClientRect(HWND window, RECT* rect) {
  Window* w = Find(window);
  if (w == nullptr || rect == nullptr) return false;
  *rect = ClientRectOf(*w);
  return true;
}

bool GetWindowRect(HWND window, RECT* rect) {
  Window* w = Find(window);
  if (w == nullptr || rect == nullptr) return false;
  *rect = w->rect;
  if (!IsTopLevel(*w)) {
    POINT o = ClientOrigin(w->parent);
    OffsetRect(*rect, o.x, o.y);
  }
  return true;
}

bool ClientToScreen(HWND window, POINT* point) {
  if (Find(window) == nullptr || point == nullptr) return false;
  POINT o = ClientOrigin(window);
  point->x += o.x;
  point->y += o.y;
  return true;
}

bool ScreenToClient(HWND window, POINT* point) {
  if (Find(window) == nullptr || point == nullptr) return false;
  POINT o = ClientOrigin(window);
  point->x -= o.x;
  point->y -= o.y;
  return true;
}

void MapWindowPoints(HWND from, HWND to, POINT* points, int count) {
  POINT a = from ? ClientOrigin(from) : POINT{};
  POINT b = to ? ClientOrigin(to) : POINT{};
  for (int i = 0; i < count; ++i) {
    points[i].x += a.x - b.x;
    points[i].y += a.y - b.y;
  }
}

HWND WindowFromPoint(POINT screenPoint) {
  for (HWND r : S().topLevels) {
    Window* w = Find(r);
    if (w == nullptr || !IsVisibleFlag(*w) || w->minimized) continue;
    if (!PtInRect(w->rect, screenPoint)) continue;
    HWND hit = HitTest(r, screenPoint);
    return hit ? hit : r;
  }
  return HWND{};
}

bool SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, uint32_t flags) {
  Window* w = Find(window);
  if (w == nullptr) return false;
  RECT old = w->rect;
  RECT next = old;
  if (!(flags & SWP_NOMOVE)) OffsetRect(next, x - old.left, y - old.top);
  if (!(flags & SWP_NOSIZE)) {
    int cw = std::max(0, width), ch = std::max(0, height);
    if (IsTopLevel(*w)) ClampTrackSize(window, cw, ch);
    if ((w = Find(window)) == nullptr) return false;
    next.right = next.left + cw;
    next.bottom = next.top + ch;
  }
  const bool moved = next.left != old.left || next.top != old.top;
  const bool sized = (next.right - next.left) != (old.right - old.left) || (next.bottom - next.top) != (old.bottom - old.top);
  w->rect = next;
  if (!IsTopLevel(*w)) {
    if ((moved || sized) && IsVisibleFlag(*w) && !(flags & SWP_NOREDRAW)) {
      RECT both = Union(old, next);
      InvalidateRect(w->parent, &both, true);
    }
  } else if (moved || sized) {
    if (sized) {
      ResizeBuffer(*w);
      InvalidateRect(window, nullptr, true);
    }
    PlaceNative(*w);
  }
  if (flags & SWP_SHOWWINDOW) ShowWindow(window, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(window, SW_HIDE);
  if ((w = Find(window)) == nullptr) return true;
  if (moved) {
    POINT o = IsTopLevel(*w) ? ClientOrigin(window) : POINT{next.left, next.top};
    SendMessageW(window, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
  }
  if (sized && (w = Find(window)) != nullptr) {
    SIZE cs = ClientSize(*w);
    SendMessageW(window, WM_SIZE, w->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED, MAKELPARAM(cs.cx, cs.cy));
  }
  return true;
}

bool MoveWindow(HWND window, int x, int y, int width, int height, bool repaint) {
  return SetWindowPos(window, HWND{}, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : uint32_t(SWP_NOREDRAW)));
}

bool CenterWindow(HWND window, HWND over) {
  Window* w = Find(window);
  if (w == nullptr) return false;
  RECT screen = Backend().ScreenRect();
  if (!over) over = IsTopLevel(*w) ? w->owner : w->parent;
  RECT area = screen;
  if (Window* ow = Find(over); ow != nullptr && IsVisibleFlag(*ow) && !(IsTopLevel(*ow) && ow->minimized)) {
    GetWindowRect(over, &area);
  }
  int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
  int x = area.left + (area.right - area.left - width) / 2;
  int y = area.top + (area.bottom - area.top - height) / 2;
  if (IsTopLevel(*w)) {
    x = std::max(screen.left, std::min(x, screen.right - width));
    y = std::max(screen.top, std::min(y, screen.bottom - height));
  } else {
    POINT o = ClientOrigin(w->parent);
    x -= o.x;
    y -= o.y;
  }
  return SetWindowPos(window, HWND{}, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool ShowWindow(HWND window, int command) {
  Window* w = Find(window);
  if (w == nullptr) return false;
  const bool was = IsVisibleFlag(*w);
  State& s = S();
  switch (command) {
    case SW_HIDE: {
      if (!was) return false;
      if (s.capture && (s.capture == window || IsChild(window, s.capture))) ReleaseCapture();
      if ((w = Find(window)) == nullptr) return was;
      w->style &= ~WS_VISIBLE;
      SendMessageW(window, WM_SHOWWINDOW, 0, 0);
      if ((w = Find(window)) == nullptr) return was;
      if (!IsTopLevel(*w)) {
        if (s.focus && (s.focus == window || IsChild(window, s.focus))) SetFocus(HWND{});
        InvalidateRect(w->parent, &w->rect, true);
      } else {
        Backend().ShowNative(window, false);
        if (s.active == window) {
          s.active = HWND{};
          if (Window* o = Find(w->owner); o != nullptr && IsVisibleFlag(*o)) SetActiveWindow(o->handle);
        }
      }
      return was;
    }
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED: {
      if (!IsTopLevel(*w)) return was;
      w->style |= WS_VISIBLE;
      if (!w->minimized) {
        w->minimized = true;
        Backend().ShowNative(window, true);
        Backend().Minimize(window);
        SendMessageW(window, WM_SIZE, SIZE_MINIMIZED, 0);
      }
      return was;
    }
    case SW_MAXIMIZE: {
      if (!IsTopLevel(*w)) return was;
      if (!w->maximized) {
        w->restoreRect = w->rect;
        w->maximized = true;
        w->minimized = false;
        RECT screen = Backend().ScreenRect();
        RECT in = NonClientInsets(w->style, w->exStyle);
        w->rect = RECT{screen.left - in.left, screen.top - in.top, screen.right + in.right, screen.bottom + in.bottom};
        ResizeBuffer(*w);
        Backend().Maximize(window);
      }
      w->style |= WS_VISIBLE;
      Backend().ShowNative(window, true);
      PlaceNative(*w);
      InvalidateRect(window, nullptr, true);
      SIZE cs = ClientSize(*w);
      SendMessageW(window, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(cs.cx, cs.cy));
      SetActiveWindow(window);
      return was;
    }
    case SW_RESTORE:
      if (IsTopLevel(*w) && (w->minimized || w->maximized)) {
        bool wasMax = w->maximized;
        w->minimized = false;
        w->maximized = false;
        if (wasMax) w->rect = w->restoreRect;
        ResizeBuffer(*w);
        Backend().Restore(window);
        PlaceNative(*w);
        InvalidateRect(window, nullptr, true);
        SIZE cs = ClientSize(*w);
        SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cs.cx, cs.cy));
        if ((w = Find(window)) == nullptr) return was;
      }
      [[fallthrough]];
    default: {
      if (!was) {
        w->style |= WS_VISIBLE;
        SendMessageW(window, WM_SHOWWINDOW, 1, 0);
        if ((w = Find(window)) == nullptr) return was;
        if (IsTopLevel(*w)) {
          // By now the procedure knows its tracking sizes (a dialog answers
          // them after WM_INITDIALOG): the window manager hears the minimum
          // before the window appears, not at the first resize.
          int cw = w->rect.right - w->rect.left, ch = w->rect.bottom - w->rect.top;
          ClampTrackSize(window, cw, ch);
          if ((w = Find(window)) == nullptr) return was;
          ResizeBuffer(*w);
          Backend().ShowNative(window, true);
          PlaceNative(*w);
        }
        InvalidateRect(window, nullptr, true);
      }
      bool activate = command != SW_SHOWNA && command != SW_SHOWNOACTIVATE && IsTopLevel(*w) &&
                      !(w->exStyle & WS_EX_TOOLWINDOW);
      if (activate) SetActiveWindow(window);
      return was;
    }
  }
}

bool IsWindowVisible(HWND window) { return ShownAll(window); }

bool IsIconic(HWND window) {
  Window* w = Find(window);
  return w != nullptr && w->minimized;
}

bool IsZoomed(HWND window) {
  Window* w = Find(window);
  return w != nullptr && w->maximized;
}

bool EnableWindow(HWND window, bool enable) {
  Window* w = Find(window);
  if (w == nullptr) return false;
  const bool wasDisabled = (w->style & WS_DISABLED) != 0;
  if (wasDisabled == !enable) return wasDisabled;
  State& s = S();
  if (!enable) {
    // A window being disabled stops whatever mode it is in (a capture, a
    // drag) first.
    SendMessageW(window, WM_CANCELMODE, 0, 0);
    if ((w = Find(window)) == nullptr) return wasDisabled;
    w->style |= WS_DISABLED;
    if (s.focus && (s.focus == window || IsChild(window, s.focus))) {
      // The focus comes back to the same control when the window is enabled
      // and activated again (a modal dialog's owner, for one).
      HWND root = RootOf(window);
      if (Window* r = Find(root)) r->lastFocus = s.focus;
      if (DialogData* d = DialogOf(root); d != nullptr && s.focus != root) d->lastFocus = s.focus;
      SetFocus(HWND{});
    }
  } else {
    w->style &= ~WS_DISABLED;
  }
  SendMessageW(window, WM_ENABLE, enable ? 1 : 0, 0);
  return wasDisabled;
}

bool IsWindowEnabled(HWND window) {
  Window* w = Find(window);
  return w != nullptr && (w->style & WS_DISABLED) == 0;
}

int GetSystemMetrics(int index) {
  RECT screen = Backend().ScreenRect();
  switch (index) {
    case SM_CXSCREEN:
      return screen.right - screen.left;
    case SM_CYSCREEN:
      return screen.bottom - screen.top;
    case SM_CYCAPTION:
      return 23;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return 4;
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
      return 16;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
      return 4;
    default:
      return 0;
  }
}

// --- Painting ---------------------------------------------------------------

bool InvalidateRect(HWND window, const RECT* rect, bool erase) {
  Window* w = Find(window);
  if (w == nullptr) return false;
  if (!IsVisibleFlag(*w)) return true;
  RECT client = ClientRectOf(*w);
  RECT r = rect != nullptr ? Intersect(*rect, client) : client;
  if (RectEmpty(r)) return true;
  w->update = w->invalid ? Union(w->update, r) : r;
  w->invalid = true;
  w->erase = w->erase || erase;
  // What lies beneath the children is painted over, so they paint again.
  std::vector<HWND> children = w->children;
  for (HWND c : children) {
    Window* cw = Find(c);
    if (cw == nullptr || !IsVisibleFlag(*cw)) continue;
    RECT part = Intersect(r, cw->rect);
    if (RectEmpty(part)) continue;
    OffsetRect(part, -cw->rect.left, -cw->rect.top);
    InvalidateRect(c, &part, erase);
  }
  return true;
}

bool ValidateRect(HWND window, const RECT* rect) {
  Window* w = Find(window);
  if (w == nullptr) return false;
  // The update region is kept as one rectangle, so any validation clears it.
  w->invalid = false;
  w->erase = false;
  w->update = RECT{};
  return true;
}

bool GetUpdateRect(HWND window, RECT* rect, bool erase) {
  Window* w = Find(window);
  if (w == nullptr) return false;
  if (rect != nullptr) *rect = w->invalid ? w->update : RECT{};
  return w->invalid;
}

bool UpdateWindow(HWND window) {
  Window* w = Find(window);
  if (w == nullptr) return false;
  if (w->invalid && ShownAll(window)) SendMessageW(window, WM_PAINT, 0, 0);
  return true;
}

namespace {

// The part of the window's client area that can be seen, in its own client
// coordinates, and its origin in the top-level back buffer.
bool VisibleClient(HWND window, RECT& clip, POINT& origin, Window*& root) {
  Window* w = Find(window);
  if (w == nullptr) return false;
  root = Find(RootOf(window));
  if (root == nullptr) return false;
  POINT ro = ClientOrigin(root->handle);
  POINT wo = ClientOrigin(window);
  origin = POINT{wo.x - ro.x, wo.y - ro.y};
  clip = ClientRectOf(*w);
  if (!ShownAll(window)) {
    clip = RECT{};
    return true;
  }
  for (Window* a = Find(w->parent); a != nullptr && !IsTopLevel(*w); a = IsTopLevel(*a) ? nullptr : Find(a->parent)) {
    POINT ao = ClientOrigin(a->handle);
    RECT ac = ClientRectOf(*a);
    OffsetRect(ac, ao.x - wo.x, ao.y - wo.y);
    clip = Intersect(clip, ac);
  }
  RECT buffer{-origin.x, -origin.y, root->bufferWidth - origin.x, root->bufferHeight - origin.y};
  clip = Intersect(clip, buffer);
  return true;
}

HDC MakeWindowDC(HWND window, const RECT* limit) {
  RECT clip;
  POINT origin;
  Window* root = nullptr;
  if (!VisibleClient(window, clip, origin, root)) return nullptr;
  if (limit != nullptr) clip = Intersect(clip, *limit);
  PixelView view{reinterpret_cast<uint8_t*>(root->pixels.data()), root->bufferWidth, root->bufferHeight,
                 root->bufferWidth * 4};
  HDC dc = CreateSurfaceDC(view, origin, clip);
  if (dc != nullptr) SelectObject(dc, GetWindowFont(window));
  return dc;
}

}  // namespace

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  Window* w = Find(window);
  if (w == nullptr || paint == nullptr) return nullptr;
  RECT area = w->invalid ? w->update : RECT{};
  bool erase = w->erase;
  ValidateRect(window, nullptr);
  HDC dc = MakeWindowDC(window, &area);
  paint->hdc = dc;
  paint->rcPaint = area;
  paint->fErase = false;
  if (dc != nullptr && erase) paint->fErase = SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<uintptr_t>(dc), 0) == 0;
  return dc;
}

bool EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (paint == nullptr || paint->hdc == nullptr) return false;
  ReleaseDC(window, paint->hdc);
  return true;
}

HDC GetDC(HWND window) { return MakeWindowDC(window, nullptr); }

int ReleaseDC(HWND window, HDC dc) {
  if (dc == nullptr) return 0;
  DeleteDC(dc);
  if (Window* root = Find(RootOf(window))) root->dirty = true;
  return 1;
}

HFONT GetWindowFont(HWND window) {
  Window* w = Find(window);
  if (w != nullptr && w->font != nullptr && GetObjectType(w->font) == OBJ_FONT) return w->font;
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// --- Focus, activation, capture ---------------------------------------------

HWND SetFocus(HWND window) {
  State& s = S();
  HWND old = s.focus;
  if (window == s.focus) return old;
  if (window && Find(window) == nullptr) return HWND{};
  if (window) {
    HWND root = RootOf(window);
    if (root != s.active) SetActiveWindow(root);
    if (window == s.focus) return old;
    if (Find(window) == nullptr) return old;
  }
  HWND previous = s.focus;
  s.focus = window;
  if (previous && IsWindow(previous)) SendMessageW(previous, WM_KILLFOCUS, window.id, 0);
  if (window && s.focus == window && IsWindow(window)) SendMessageW(window, WM_SETFOCUS, previous.id, 0);
  return old;
}

HWND GetFocus() { return IsWindow(S().focus) ? S().focus : HWND{}; }

HWND SetActiveWindow(HWND window) {
  State& s = S();
  HWND root = RootOf(window);
  HWND old = s.active;
  if (!root || root == s.active) return old;
  Window* rw = Find(root);
  if (Window* ow = Find(old)) {
    if (s.focus && (s.focus == old || IsChild(old, s.focus))) ow->lastFocus = s.focus;
    SendMessageW(old, WM_ACTIVATE, 0, root.id);
  }
  if ((rw = Find(root)) == nullptr) return old;
  s.active = root;
  // The active window comes to the front of the windows that are not
  // topmost.
  if (!(rw->exStyle & WS_EX_TOPMOST)) {
    std::erase(s.topLevels, root);
    auto pos = s.topLevels.begin();
    while (pos != s.topLevels.end()) {
      Window* tw = Find(*pos);
      if (tw == nullptr || !(tw->exStyle & WS_EX_TOPMOST)) break;
      ++pos;
    }
    s.topLevels.insert(pos, root);
  }
  Backend().Raise(root);
  SendMessageW(root, WM_ACTIVATE, 1, old.id);
  if ((rw = Find(root)) == nullptr || s.active != root) return old;
  if (!(s.focus && (s.focus == root || IsChild(root, s.focus)))) {
    HWND target = rw->lastFocus && IsChild(root, rw->lastFocus) ? rw->lastFocus : root;
    SetFocus(target);
  }
  return old;
}

HWND GetActiveWindow() { return IsWindow(S().active) ? S().active : HWND{}; }

bool SetForegroundWindow(HWND window) {
  if (!IsWindow(window)) return false;
  SetActiveWindow(window);
  return true;
}

HWND SetCapture(HWND window) {
  State& s = S();
  HWND old = s.capture;
  if (window && !IsWindow(window)) return old;
  s.capture = window;
  if (old && old != window && IsWindow(old)) SendMessageW(old, WM_CAPTURECHANGED, 0, window.id);
  return old;
}

bool ReleaseCapture() {
  State& s = S();
  HWND old = s.capture;
  s.capture = HWND{};
  if (old && IsWindow(old)) SendMessageW(old, WM_CAPTURECHANGED, 0, 0);
  return true;
}

HWND GetCapture() { return IsWindow(S().capture) ? S().capture : HWND{}; }

bool _TrackMouseEvent(TRACKMOUSEEVENT* track) {
  if (track == nullptr) return false;
  State& s = S();
  if (track->dwFlags & TME_CANCEL) {
    if (s.tracked == track->hwndTrack) s.tracked = HWND{};
    return true;
  }
  if (!(track->dwFlags & TME_LEAVE) || !IsWindow(track->hwndTrack)) return false;
  if (WindowFromPoint(s.mouse.cursor) != track->hwndTrack) {
    PostMessageW(track->hwndTrack, WM_MOUSELEAVE, 0, 0);
    if (s.tracked == track->hwndTrack) s.tracked = HWND{};
    return true;
  }
  s.tracked = track->hwndTrack;
  return true;
}

bool GetCursorPos(POINT* point) {
  if (point == nullptr) return false;
  *point = S().mouse.cursor;
  return true;
}

int16_t GetKeyState(int virtualKey) {
  State& s = S();
  bool down = false;
  switch (virtualKey) {
    case VK_LBUTTON:
      down = (s.mouse.buttons & MK_LBUTTON) != 0;
      break;
    case VK_RBUTTON:
      down = (s.mouse.buttons & MK_RBUTTON) != 0;
      break;
    case VK_MBUTTON:
      down = (s.mouse.buttons & MK_MBUTTON) != 0;
      break;
    case VK_SHIFT:
      down = (s.mouse.modifiers & MK_SHIFT) != 0;
      break;
    case VK_CONTROL:
      down = (s.mouse.modifiers & MK_CONTROL) != 0;
      break;
    case VK_MENU:
      down = s.mouse.alt;
      break;
    default:
      down = s.keysDown.count(static_cast<uint32_t>(virtualKey)) != 0;
      break;
  }
  return down ? int16_t(0x8000) : int16_t(0);
}

int16_t GetAsyncKeyState(int virtualKey) { return GetKeyState(virtualKey); }

uintptr_t SetTimer(HWND window, uintptr_t id, uint32_t elapseMs) {
  if (!IsWindow(window)) return 0;
  EnsureInit();
  auto& timers = S().timers;
  auto due = Clock::now() + std::chrono::milliseconds(elapseMs);
  for (auto& t : timers) {
    if (t.window == window && t.id == id) {
      t.interval = elapseMs;
      t.due = due;
      return id;
    }
  }
  timers.push_back(State::Timer{window, id, elapseMs, due});
  Backend().Wake();
  return id;
}

bool KillTimer(HWND window, uintptr_t id) {
  auto& timers = S().timers;
  size_t before = timers.size();
  std::erase_if(timers, [&](const State::Timer& t) { return t.window == window && t.id == id; });
  return timers.size() != before;
}

uint32_t GetDoubleClickTime() { return 500; }

void DragAcceptFiles(HWND window, bool accept) {
  Window* w = Find(window);
  if (w == nullptr) return;
  if (accept) {
    w->exStyle |= WS_EX_ACCEPTFILES;
  } else {
    w->exStyle &= ~WS_EX_ACCEPTFILES;
  }
}

// --- Backend and tests ------------------------------------------------------

void SetWindowBackend(WindowBackend* backend) {
  g_backend.store(backend);
  EnsureInit();
}

void SetHeadlessScreenSize(int width, int height) { Headless().screen = RECT{0, 0, width, height}; }

COLORREF GetWindowPixel(HWND window, int x, int y) {
  RECT clip;
  POINT origin;
  Window* root = nullptr;
  if (!VisibleClient(window, clip, origin, root)) return CLR_INVALID;
  Window* w = Find(window);
  if (!PtInRect(ClientRectOf(*w), POINT{x, y})) return CLR_INVALID;
  int bx = origin.x + x, by = origin.y + y;
  if (bx < 0 || by < 0 || bx >= root->bufferWidth || by >= root->bufferHeight) return CLR_INVALID;
  return ColorFromPixel(root->pixels[size_t(by) * size_t(root->bufferWidth) + size_t(bx)] & 0xFFFFFF);
}

WindowPixels CopyWindowPixels(HWND window) {
  WindowPixels out;
  Window* w = Find(window);
  if (w == nullptr) return out;
  SIZE s = ClientSize(*w);
  out.width = s.cx;
  out.height = s.cy;
  out.pixels.assign(size_t(s.cx) * size_t(s.cy), 0);
  RECT clip;
  POINT origin;
  Window* root = nullptr;
  if (!VisibleClient(window, clip, origin, root)) return out;
  for (int y = 0; y < s.cy; ++y) {
    int by = origin.y + y;
    if (by < 0 || by >= root->bufferHeight) continue;
    for (int x = 0; x < s.cx; ++x) {
      int bx = origin.x + x;
      if (bx < 0 || bx >= root->bufferWidth) continue;
      out.pixels[size_t(y) * size_t(s.cx) + size_t(x)] = root->pixels[size_t(by) * size_t(root->bufferWidth) + size_t(bx)] & 0xFFFFFF;
    }
  }
  return out;
}

bool SaveWindowPng(HWND window, std::u16string_view path) {
  WindowPixels p = CopyWindowPixels(window);
  if (p.width <= 0 || p.height <= 0) return false;
  PixelView view{reinterpret_cast<uint8_t*>(p.pixels.data()), p.width, p.height, p.width * 4};
  return SavePng(path, view);
}

void ResetWindowState() {
  State& s = S();
  std::vector<HWND> roots = s.topLevels;
  for (HWND r : roots) DestroyWindow(r);
  s.topLevels.clear();
  s.focus = s.active = s.capture = s.tracked = s.mainWindow = HWND{};
  s.timers.clear();
  s.keysDown.clear();
  s.mouse = MouseState{};
  s.lastClick = State::Click{};
  s.dropping.clear();
  DiscardQueuedMessages();
}

}  // namespace plat
