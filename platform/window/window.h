// The window half of the platform layer: windows with value handles, their
// tree, geometry, painting, focus, capture and input messages, the dialog
// framework, the built-in controls (static, push button, tooltip), the system
// menu stand-in, icons and the shell.
//
// Windows live in the registry of platform/core/messages.h: a handle of a
// destroyed window is simply invalid. Every operation here belongs to the
// user-interface thread, except PostMessageW and IsWindow, which are safe from
// any thread.
//
// Coordinates: a top-level window's rectangle is in screen coordinates, a
// child's in the client coordinates of its parent. A top-level window with a
// caption or frame has a non-client border around its client area (the real
// window manager draws the decoration; the numbers stay what a caller of the
// operations expects, a window wider than its client area).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/drop.h"
#include "platform/core/geometry.h"
#include "platform/core/messages.h"
#include "platform/gdi/gdi.h"
#include "platform/window/constants.h"

namespace plat {

// ---------------------------------------------------------------------------
// Window classes

// Names of the built-in classes.
inline constexpr std::u16string_view WC_BUTTON = u"Button";
inline constexpr std::u16string_view WC_STATIC = u"Static";
inline constexpr std::u16string_view WC_DIALOG = u"#32770";
inline constexpr std::u16string_view TOOLTIPS_CLASS = u"tooltips_class32";

// Class styles.
enum : uint32_t { CS_DBLCLKS = 0x0008 };

struct WNDCLASSW {
  std::u16string name;
  WindowProc proc;          // the class procedure every window of it starts with
  uint32_t style = 0;       // CS_DBLCLKS: the windows get double-click messages
  HBRUSH background = nullptr;  // erases the background by default; none: no erase
};

// Registers (or replaces) a class. False for an empty name or no procedure.
bool RegisterClassW(const WNDCLASSW& windowClass);

// ---------------------------------------------------------------------------
// Creation, destruction and the tree

// Creates a window of a registered class. For a top-level window (no WS_CHILD)
// x, y, width and height are the window rectangle in screen coordinates, for a
// child the rectangle in its parent's client coordinates. `parent` of a
// top-level window is its owner. `id` is the control id of a child. WM_CREATE
// (lParam: `createParam`) and, for a size, WM_SIZE are sent before it
// returns; WS_VISIBLE shows it. Null when the class is unknown or a child has
// no valid parent.
HWND CreateWindowExW(uint32_t exStyle, std::u16string_view className, std::u16string_view text, uint32_t style,
                     int x, int y, int width, int height, HWND parent, int id, void* createParam = nullptr);

// DestroyWindow and IsWindow come from platform/core/messages.h. Destroying a
// window destroys its children and the windows it owns first.

HWND GetParent(HWND window);   // the parent of a child, the owner of a top-level window
HWND GetOwner(HWND window);    // the owner of a top-level window, else null
HWND GetAncestorRoot(HWND window);  // the top-level window containing `window`
bool IsChild(HWND parent, HWND window);  // whether `window` is a descendant of `parent`
// The children of `window` in z-order, topmost (first created) first.
std::vector<HWND> GetChildWindows(HWND window);
// Every live top-level window, topmost first.
std::vector<HWND> GetTopLevelWindows();

// The application's main window: the owner of a modal dialog created without
// one, and the window a shell drop goes to when no other accepts it.
void SetMainWindow(HWND window);
HWND GetMainWindow();

// ---------------------------------------------------------------------------
// Procedures

// The procedure the window calls now, and its replacement (subclassing: keep
// the previous one and pass what you do not handle to it with CallWindowProcW).
WindowProc GetWindowProcedure(HWND window);
WindowProc SubclassWindow(HWND window, WindowProc proc);
intptr_t CallWindowProcW(const WindowProc& proc, HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The default handling of every message.
intptr_t DefWindowProcW(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// A filter that the message loop runs on each message taken from the queue
// for `window` or one of its descendants, before dispatch, innermost window
// first. The filter may rewrite the message; returning true swallows it.
using PreTranslateFilter = std::function<bool(MSG& msg)>;
void SetPreTranslateFilter(HWND window, PreTranslateFilter filter);
// Runs the filters of msg's window and its ancestors; true when one swallowed it.
bool PreTranslateMessage(MSG& msg);

// Part of the loop's shape; characters come with the input already.
bool TranslateMessage(const MSG* msg);

// Runs the loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

// Handles every message, paint and timer that is due now without waiting,
// and presents the windows; returns the number of messages dispatched.
int PumpPendingMessages();

// ---------------------------------------------------------------------------
// Attributes

int32_t GetWindowLongW(HWND window, int index);
// Returns the previous value. Changing GWL_STYLE does not repaint by itself.
int32_t SetWindowLongW(HWND window, int index, int32_t value);
intptr_t GetWindowLongPtrW(HWND window, int index);
intptr_t SetWindowLongPtrW(HWND window, int index, intptr_t value);
std::u16string GetClassNameW(HWND window);

bool SetWindowTextW(HWND window, std::u16string_view text);  // through WM_SETTEXT
std::u16string GetWindowTextW(HWND window);
int GetWindowTextLengthW(HWND window);

int GetDlgCtrlID(HWND window);
HWND GetDlgItem(HWND dialog, int id);
bool SetDlgItemTextW(HWND dialog, int id, std::u16string_view text);
std::u16string GetDlgItemTextW(HWND dialog, int id);

// ---------------------------------------------------------------------------
// Geometry

bool GetClientRect(HWND window, RECT* rect);
bool GetWindowRect(HWND window, RECT* rect);  // screen coordinates
bool ClientToScreen(HWND window, POINT* point);
bool ScreenToClient(HWND window, POINT* point);
// Converts points from one window's client coordinates to another's (a null
// window is the screen).
void MapWindowPoints(HWND from, HWND to, POINT* points, int count);

// The deepest visible, enabled window under a screen point. A static control
// without SS_NOTIFY is transparent: the point belongs to what lies beneath.
HWND WindowFromPoint(POINT screenPoint);

bool MoveWindow(HWND window, int x, int y, int width, int height, bool repaint);
// `insertAfter` is accepted for the shape of the call; the z-order of
// siblings is their creation order.
bool SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, uint32_t flags);
// Centres a top-level window over `over` (or its owner when null, or the
// screen when it has none).
bool CenterWindow(HWND window, HWND over = {});

// Returns whether the window was visible before.
bool ShowWindow(HWND window, int command);
bool IsWindowVisible(HWND window);  // the window and all its ancestors are shown
bool IsIconic(HWND window);
bool IsZoomed(HWND window);

// Returns whether the window was disabled before. Sends WM_ENABLE on a change.
bool EnableWindow(HWND window, bool enable);
bool IsWindowEnabled(HWND window);

struct MINMAXINFO {
  POINT ptReserved;
  POINT ptMaxSize;
  POINT ptMaxPosition;
  POINT ptMinTrackSize;
  POINT ptMaxTrackSize;
};

int GetSystemMetrics(int index);

// ---------------------------------------------------------------------------
// Painting

struct PAINTSTRUCT {
  HDC hdc = nullptr;
  bool fErase = false;  // the background still needs erasing
  RECT rcPaint;
};

// Adds `rect` (client coordinates; null: the whole client area) to the
// window's update region and to those of its children beneath it. WM_PAINT
// comes when the queue is empty, parents before children.
bool InvalidateRect(HWND window, const RECT* rect, bool erase);
bool ValidateRect(HWND window, const RECT* rect);
bool GetUpdateRect(HWND window, RECT* rect, bool erase);
// Paints the window now if it has an update region.
bool UpdateWindow(HWND window);

// Inside WM_PAINT: a context clipped to the update region, with the
// background erased (WM_ERASEBKGND) when asked for; the region is validated.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
bool EndPaint(HWND window, const PAINTSTRUCT* paint);

// A context drawing into the window's top-level back buffer at the window's
// place, clipped to its visible client area. Release it with ReleaseDC.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

// The window's font (WM_SETFONT), or the default GUI font.
HFONT GetWindowFont(HWND window);

// ---------------------------------------------------------------------------
// Focus, activation, capture, timers, keyboard state

HWND SetFocus(HWND window);  // returns the window that had the focus
HWND GetFocus();
HWND SetActiveWindow(HWND window);
HWND GetActiveWindow();
bool SetForegroundWindow(HWND window);

HWND SetCapture(HWND window);  // returns the previous capture window
bool ReleaseCapture();
HWND GetCapture();

struct TRACKMOUSEEVENT {
  uint32_t dwFlags = 0;  // TME_LEAVE, optionally with TME_CANCEL
  HWND hwndTrack;
  uint32_t dwHoverTime = 0;
};
// Asks for one WM_MOUSELEAVE when the pointer leaves the window; if it is
// not over the window now, the message comes at once.
bool _TrackMouseEvent(TRACKMOUSEEVENT* track);

bool GetCursorPos(POINT* point);
// Bit 0x8000: the key or button is down.
int16_t GetKeyState(int virtualKey);
int16_t GetAsyncKeyState(int virtualKey);

// WM_TIMER (wParam: id) to the window every `elapseMs` until KillTimer.
uintptr_t SetTimer(HWND window, uintptr_t id, uint32_t elapseMs);
bool KillTimer(HWND window, uintptr_t id);

uint32_t GetDoubleClickTime();

// ---------------------------------------------------------------------------
// Owner drawing

struct DRAWITEMSTRUCT {
  uint32_t CtlType = 0;  // ODT_BUTTON, ODT_STATIC
  uint32_t CtlID = 0;
  uint32_t itemID = 0;
  uint32_t itemAction = 0;  // ODA_*
  uint32_t itemState = 0;   // ODS_SELECTED, ODS_DISABLED, ODS_FOCUS
  HWND hwndItem;
  HDC hDC = nullptr;
  RECT rcItem;
  uintptr_t itemData = 0;
};

// ---------------------------------------------------------------------------
// Icons

struct Icon;  // a picture with an alpha channel
using HICON = const Icon*;

// An icon from 32-bit pixels 0xAARRGGBB, rows top to bottom; it lives for the
// process (icons are resources). Null for an empty size.
HICON CreateIconFromPixels(int width, int height, const uint32_t* argb);
SIZE GetIconSize(HICON icon);
const uint32_t* GetIconPixels(HICON icon);
// Blends the icon onto the context with its top-left corner at (x, y).
bool DrawIcon(HDC dc, int x, int y, HICON icon);

// ---------------------------------------------------------------------------
// System menu

struct MenuHandle {
  uint32_t id = 0;
  explicit operator bool() const { return id != 0; }
  friend bool operator==(MenuHandle, MenuHandle) = default;
};
using HMENU = MenuHandle;

// The window's system menu (a window with WS_SYSMENU has one); null
// otherwise. With `revert`, the appended items are removed and null returned.
HMENU GetSystemMenu(HWND window, bool revert);
bool AppendMenuW(HMENU menu, uint32_t flags, uintptr_t id, std::u16string_view text);
int GetMenuItemCount(HMENU menu);
// Sets the check mark of the item with this id (MF_CHECKED or MF_UNCHECKED);
// returns its previous state, or -1 when there is no such item.
int CheckMenuItem(HMENU menu, uintptr_t id, uint32_t check);
// Whether the item with this id has its check mark.
bool IsMenuItemChecked(HMENU menu, uintptr_t id);

// The system menu stand-in is a popup of the appended items, opened with
// Alt+Space or F1 over the window; choosing an item posts WM_SYSCOMMAND with
// its id to the window. Opens it now; false when there is nothing to show.
bool OpenSystemMenu(HWND window);
// The open popup of the system menu, if any (tests read and click it).
HWND GetOpenSystemMenu();

// ---------------------------------------------------------------------------
// Tooltips

struct TOOLINFOW {
  uint32_t uFlags = 0;  // TTF_IDISHWND: uId is a window; TTF_SUBCLASS: relay its mouse messages
  HWND hwnd;            // the window that holds the tool
  uintptr_t uId = 0;
  RECT rect;            // the tool's area in hwnd's client coordinates
  std::u16string text;
};

// ---------------------------------------------------------------------------
// Shell

// Opens `file` with the verb "open" (or none) through xdg-open, started
// directly without a shell. Returns a value above 32 on success.
intptr_t ShellExecuteW(HWND window, std::u16string_view verb, std::u16string_view file,
                       std::u16string_view parameters, std::u16string_view directory, int showCommand);

// Marks the window as accepting dropped files (WS_EX_ACCEPTFILES).
void DragAcceptFiles(HWND window, bool accept);

}  // namespace plat
