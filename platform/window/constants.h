// Numbers of the window layer: messages, styles, notification codes, key and
// mouse flags, virtual keys. The values are the platform's well-known ones, so
// that code and its documentation read alike.
#pragma once

#include <cstdint>

#include "platform/core/messages.h"

namespace plat {

// ---------------------------------------------------------------------------
// Messages

enum : uint32_t {
  WM_CREATE = 0x0001,
  WM_MOVE = 0x0003,
  WM_SIZE = 0x0005,
  WM_ACTIVATE = 0x0006,
  WM_SETFOCUS = 0x0007,
  WM_KILLFOCUS = 0x0008,
  WM_ENABLE = 0x000A,
  WM_SETTEXT = 0x000C,
  WM_GETTEXT = 0x000D,
  WM_GETTEXTLENGTH = 0x000E,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_ERASEBKGND = 0x0014,
  WM_SYSCOLORCHANGE = 0x0015,
  WM_SHOWWINDOW = 0x0018,
  WM_CANCELMODE = 0x001F,
  WM_GETMINMAXINFO = 0x0024,
  WM_DRAWITEM = 0x002B,
  WM_SETFONT = 0x0030,
  WM_GETFONT = 0x0031,
  WM_QUERYDRAGICON = 0x0037,
  WM_GETICON = 0x007F,
  WM_SETICON = 0x0080,
  WM_NCHITTEST = 0x0084,
  WM_GETDLGCODE = 0x0087,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_SYSKEYDOWN = 0x0104,
  WM_SYSKEYUP = 0x0105,
  WM_SYSCHAR = 0x0106,
  WM_INITDIALOG = 0x0110,
  WM_COMMAND = 0x0111,
  WM_SYSCOMMAND = 0x0112,
  WM_TIMER = 0x0113,
  WM_CTLCOLOREDIT = 0x0133,
  WM_CTLCOLORBTN = 0x0135,
  WM_CTLCOLORDLG = 0x0136,
  WM_CTLCOLORSTATIC = 0x0138,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_RBUTTONDBLCLK = 0x0206,
  WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208,
  WM_MBUTTONDBLCLK = 0x0209,
  WM_MOUSEWHEEL = 0x020A,
  WM_CAPTURECHANGED = 0x0215,
  WM_DROPFILES = 0x0233,
  WM_MOUSELEAVE = 0x02A3,

  // Button messages.
  BM_GETCHECK = 0x00F0,
  BM_GETSTATE = 0x00F2,
  BM_SETSTATE = 0x00F3,
  BM_SETSTYLE = 0x00F4,
  BM_CLICK = 0x00F5,

  // Static control messages.
  STM_SETIMAGE = 0x0172,
  STM_GETIMAGE = 0x0173,

  // Dialog messages.
  DM_GETDEFID = WM_USER + 0,
  DM_SETDEFID = WM_USER + 1,

  // Tooltip messages (sent to a tooltip control).
  TTM_ACTIVATE = WM_USER + 1,
  TTM_SETDELAYTIME = WM_USER + 3,
  TTM_RELAYEVENT = WM_USER + 7,
  TTM_GETTOOLCOUNT = WM_USER + 13,
  TTM_SETMAXTIPWIDTH = WM_USER + 24,
  TTM_GETMAXTIPWIDTH = WM_USER + 25,
  TTM_POP = WM_USER + 28,
  TTM_ADDTOOLW = WM_USER + 50,
  TTM_DELTOOLW = WM_USER + 51,
  TTM_GETTEXTW = WM_USER + 56,
  TTM_UPDATETIPTEXTW = WM_USER + 57,
};

// A notification reflected back to the control that sent it: the parent's
// default handling of WM_DRAWITEM sends OCM_DRAWITEM to the item's window, and
// a button sends OCM_COMMAND to itself before it notifies its parent, so a
// control that took over a window can draw itself and see its own clicks.
inline constexpr uint32_t OCM__BASE = WM_USER + 0x1C00;
inline constexpr uint32_t OCM_COMMAND = OCM__BASE + WM_COMMAND;
inline constexpr uint32_t OCM_DRAWITEM = OCM__BASE + WM_DRAWITEM;

// ---------------------------------------------------------------------------
// Window styles

enum : uint32_t {
  WS_OVERLAPPED = 0x00000000,
  WS_POPUP = 0x80000000,
  WS_CHILD = 0x40000000,
  WS_MINIMIZE = 0x20000000,
  WS_VISIBLE = 0x10000000,
  WS_DISABLED = 0x08000000,
  WS_CLIPSIBLINGS = 0x04000000,
  WS_CLIPCHILDREN = 0x02000000,
  WS_MAXIMIZE = 0x01000000,
  WS_CAPTION = 0x00C00000,
  WS_BORDER = 0x00800000,
  WS_DLGFRAME = 0x00400000,
  WS_SYSMENU = 0x00080000,
  WS_THICKFRAME = 0x00040000,
  WS_GROUP = 0x00020000,
  WS_TABSTOP = 0x00010000,
  WS_MINIMIZEBOX = 0x00020000,
  WS_MAXIMIZEBOX = 0x00010000,

  WS_EX_DLGMODALFRAME = 0x00000001,
  WS_EX_TOPMOST = 0x00000008,
  WS_EX_ACCEPTFILES = 0x00000010,
  WS_EX_TOOLWINDOW = 0x00000080,
  WS_EX_APPWINDOW = 0x00040000,

  // Dialog styles.
  DS_SETFONT = 0x00000040,
  DS_MODALFRAME = 0x00000080,
  DS_CENTER = 0x00000800,

  // Button styles; the low bits are the type.
  BS_PUSHBUTTON = 0x0,
  BS_DEFPUSHBUTTON = 0x1,
  BS_OWNERDRAW = 0xB,
  BS_TYPEMASK = 0xF,

  // Static styles; the low five bits are the type.
  SS_LEFT = 0x0,
  SS_CENTER = 0x1,
  SS_RIGHT = 0x2,
  SS_ICON = 0x3,
  SS_BLACKRECT = 0x4,
  SS_GRAYRECT = 0x5,
  SS_WHITERECT = 0x6,
  SS_BLACKFRAME = 0x7,
  SS_GRAYFRAME = 0x8,
  SS_WHITEFRAME = 0x9,
  SS_SIMPLE = 0xB,
  SS_LEFTNOWORDWRAP = 0xC,
  SS_OWNERDRAW = 0xD,
  SS_BITMAP = 0xE,
  SS_TYPEMASK = 0x1F,
  SS_NOTIFY = 0x100,
  SS_CENTERIMAGE = 0x200,
};

// GetWindowLongW / SetWindowLongW indexes.
enum : int {
  GWL_STYLE = -16,
  GWL_EXSTYLE = -20,
  GWL_ID = -12,
  GWLP_USERDATA = -21,
};

// ShowWindow commands.
enum : int {
  SW_HIDE = 0,
  SW_SHOWNORMAL = 1,
  SW_SHOWMINIMIZED = 2,
  SW_MAXIMIZE = 3,
  SW_SHOWNOACTIVATE = 4,
  SW_SHOW = 5,
  SW_MINIMIZE = 6,
  SW_SHOWNA = 8,
  SW_RESTORE = 9,
};

// SetWindowPos flags.
enum : uint32_t {
  SWP_NOSIZE = 0x0001,
  SWP_NOMOVE = 0x0002,
  SWP_NOZORDER = 0x0004,
  SWP_NOREDRAW = 0x0008,
  SWP_NOACTIVATE = 0x0010,
  SWP_FRAMECHANGED = 0x0020,
  SWP_SHOWWINDOW = 0x0040,
  SWP_HIDEWINDOW = 0x0080,
};

// WM_SIZE kinds.
enum : uintptr_t { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };

// WM_SYSCOMMAND ids of the platform.
enum : uintptr_t {
  SC_SIZE = 0xF000,
  SC_MOVE = 0xF010,
  SC_MINIMIZE = 0xF020,
  SC_MAXIMIZE = 0xF030,
  SC_CLOSE = 0xF060,
  SC_KEYMENU = 0xF100,
  SC_RESTORE = 0xF120,
};

// Command ids of the standard dialog buttons.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// Button notification code of WM_COMMAND.
enum : uint16_t { BN_CLICKED = 0 };

// Button states (BM_GETSTATE).
enum : uint32_t { BST_UNCHECKED = 0, BST_PUSHED = 0x4, BST_FOCUS = 0x8 };

// WM_GETDLGCODE answers.
enum : intptr_t {
  DLGC_WANTARROWS = 0x0001,
  DLGC_WANTTAB = 0x0002,
  DLGC_WANTALLKEYS = 0x0004,
  DLGC_WANTMESSAGE = 0x0004,
  DLGC_HASSETSEL = 0x0008,
  DLGC_DEFPUSHBUTTON = 0x0010,
  DLGC_UNDEFPUSHBUTTON = 0x0020,
  DLGC_RADIOBUTTON = 0x0040,
  DLGC_WANTCHARS = 0x0080,
  DLGC_STATIC = 0x0100,
  DLGC_BUTTON = 0x2000,
};

// DM_GETDEFID marks its answer with this in the high word.
inline constexpr intptr_t DC_HASDEFID = 0x534B;

// Owner drawing.
enum : uint32_t { ODT_BUTTON = 4, ODT_STATIC = 5 };
enum : uint32_t { ODA_DRAWENTIRE = 0x1, ODA_SELECT = 0x2, ODA_FOCUS = 0x4 };
enum : uint32_t { ODS_SELECTED = 0x1, ODS_GRAYED = 0x2, ODS_DISABLED = 0x4, ODS_FOCUS = 0x10, ODS_DEFAULT = 0x20 };

// Hit-test answers.
enum : intptr_t { HTTRANSPARENT = -1, HTNOWHERE = 0, HTCLIENT = 1 };

// WM_SETICON kinds.
enum : uintptr_t { ICON_SMALL = 0, ICON_BIG = 1 };

// STM_SETIMAGE kinds.
enum : uintptr_t { IMAGE_BITMAP = 0, IMAGE_ICON = 1 };

// Key flags of mouse messages.
enum : uintptr_t {
  MK_LBUTTON = 0x0001,
  MK_RBUTTON = 0x0002,
  MK_SHIFT = 0x0004,
  MK_CONTROL = 0x0008,
  MK_MBUTTON = 0x0010,
};

// One notch of the wheel.
inline constexpr int WHEEL_DELTA = 120;

// _TrackMouseEvent flags.
enum : uint32_t { TME_LEAVE = 0x00000002, TME_CANCEL = 0x80000000 };

// Virtual keys.
enum : uint32_t {
  VK_LBUTTON = 0x01,
  VK_RBUTTON = 0x02,
  VK_MBUTTON = 0x04,
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_RETURN = 0x0D,
  VK_SHIFT = 0x10,
  VK_CONTROL = 0x11,
  VK_MENU = 0x12,
  VK_PAUSE = 0x13,
  VK_CAPITAL = 0x14,
  VK_ESCAPE = 0x1B,
  VK_SPACE = 0x20,
  VK_PRIOR = 0x21,
  VK_NEXT = 0x22,
  VK_END = 0x23,
  VK_HOME = 0x24,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_INSERT = 0x2D,
  VK_DELETE = 0x2E,
  VK_F1 = 0x70,
  VK_F4 = 0x73,
  VK_F10 = 0x79,
  VK_F12 = 0x7B,
};

// System metrics.
enum : int {
  SM_CXSCREEN = 0,
  SM_CYSCREEN = 1,
  SM_CYCAPTION = 4,
  SM_CXBORDER = 5,
  SM_CYBORDER = 6,
  SM_CXDLGFRAME = 7,
  SM_CYDLGFRAME = 8,
  SM_CXICON = 11,
  SM_CYICON = 12,
  SM_CXFRAME = 32,
  SM_CYFRAME = 33,
  SM_CXDOUBLECLK = 36,
  SM_CYDOUBLECLK = 37,
  SM_CXSMICON = 49,
  SM_CYSMICON = 50,
};

// Menu item flags of AppendMenuW and CheckMenuItem.
enum : uint32_t {
  MF_STRING = 0x0,
  MF_BYCOMMAND = 0x0,
  MF_UNCHECKED = 0x0,
  MF_GRAYED = 0x1,
  MF_DISABLED = 0x2,
  MF_CHECKED = 0x8,
  MF_SEPARATOR = 0x800,
};

// Tool flags of the tooltip control.
enum : uint32_t { TTF_IDISHWND = 0x0001, TTF_SUBCLASS = 0x0010 };
enum : uintptr_t { TTDT_AUTOMATIC = 0, TTDT_RESHOW = 1, TTDT_AUTOPOP = 2, TTDT_INITIAL = 3 };

// ---------------------------------------------------------------------------
// Packing of message parameters

constexpr uint16_t LOWORD(uintptr_t v) { return uint16_t(v & 0xFFFF); }
constexpr uint16_t HIWORD(uintptr_t v) { return uint16_t((v >> 16) & 0xFFFF); }
constexpr uintptr_t MAKEWPARAM(uint32_t low, uint32_t high) {
  return uintptr_t((low & 0xFFFF) | ((high & 0xFFFF) << 16));
}
constexpr intptr_t MAKELPARAM(int32_t low, int32_t high) {
  return intptr_t(uint32_t((uint32_t(low) & 0xFFFF) | ((uint32_t(high) & 0xFFFF) << 16)));
}
// The signed coordinates of a point packed into lParam.
constexpr int32_t GET_X_LPARAM(intptr_t v) { return int16_t(uint16_t(uintptr_t(v) & 0xFFFF)); }
constexpr int32_t GET_Y_LPARAM(intptr_t v) { return int16_t(uint16_t((uintptr_t(v) >> 16) & 0xFFFF)); }
constexpr int32_t GET_WHEEL_DELTA_WPARAM(uintptr_t v) { return int16_t(HIWORD(v)); }
constexpr uint32_t GET_KEYSTATE_WPARAM(uintptr_t v) { return LOWORD(v); }

}  // namespace plat
