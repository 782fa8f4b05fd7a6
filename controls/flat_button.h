// CFlatButton: the push button of the dark look. An ordinary dialog button is
// taken over when its dialog is initialised; from then on it draws itself: the
// parent's pixels under a thin teal frame with clipped corners and a centred
// caption, lit up in bright cyan while the pointer is over it. Clicks still
// reach the dialog as ordinary commands of the button's id.
//
// The object subclasses the button window and must outlive it or be
// destroyed first: its destructor gives the window its own procedure back.
// User-interface thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi/gdi.h"
#include "platform/window/window.h"

// Frame colours.
constexpr plat::COLORREF kFlatFrameHover = plat::RGB(4, 210, 223);
constexpr plat::COLORREF kFlatFrameNormal = plat::RGB(3, 123, 131);
// Caption colours set by construction.
constexpr plat::COLORREF kFlatTextHover = plat::RGB(38, 236, 235);
constexpr plat::COLORREF kFlatTextNormal = plat::RGB(39, 149, 149);

class CFlatButton {
 public:
  bool hover = false;
  bool pressed = false;   // copied from the item state at every paint
  bool focused = false;   // copied from the item state at every paint
  bool disabled = false;  // copied from the item state at every paint
  bool isDefault = false;  // the dialog's default push button
  plat::POINT pressedOffset{1, 1};
  plat::COLORREF hoverPressedTextColor = kFlatTextHover;
  plat::COLORREF hoverTextColor = kFlatTextHover;
  plat::COLORREF focusedTextColor = kFlatTextNormal;
  plat::COLORREF normalTextColor = kFlatTextNormal;

  CFlatButton() = default;
  ~CFlatButton();
  CFlatButton(const CFlatButton&) = delete;
  CFlatButton& operator=(const CFlatButton&) = delete;

  // Takes over the dialog's button `id`; false when there is no such window
  // or this object already holds one.
  bool SubclassDlgItem(int id, plat::HWND dialog);
  // Takes over a button window.
  bool Attach(plat::HWND button);

  // Sets (or replaces) the tooltip text and activates the tooltip. A null
  // text does nothing.
  void AttachTooltip(const char16_t* text);

  plat::HWND GetSafeHwnd() const { return window_; }
  // The tooltip control, once made.
  plat::HWND Tooltip() const { return tooltip_; }
  // Whether a captured background is held (taken at the first paint).
  bool HasCapturedBackground() const { return backgroundContext_ != nullptr; }

 private:
  intptr_t Procedure(plat::HWND h, uint32_t message, uintptr_t wParam, intptr_t lParam);
  bool PreTranslate(plat::MSG& msg);
  void DrawItem(const plat::DRAWITEMSTRUCT& item);
  void CaptureBackground(int width, int height);
  void ReleaseBackground();
  void TrackHover(uintptr_t keys, plat::POINT client);
  void EndHover();
  void EnsureTooltip();
  void Detach();

  plat::HWND window_;
  plat::WindowProc previous_;
  plat::HWND tooltip_;
  bool toolAdded_ = false;
  plat::HDC backgroundContext_ = nullptr;
  plat::HBITMAP backgroundBitmap_ = nullptr;
  plat::HGDIOBJ backgroundReplaced_ = nullptr;
};
