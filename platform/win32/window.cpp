// Win32 window operations on the main window. From the worker only the
// thread-safe calls are made directly (InvalidateRect, PostMessage); scroll
// bars, window scrolling and the caret are handed to the user-interface
// thread, and a scroll from the worker repaints the view instead of moving
// its pixels.
#include <windows.h>

#include "platform/thread.h"
#include "platform/win32/deferred.h"
#include "platform/window.h"
#include "settings/globals.h"

namespace {
HWND hw(WindowHandle w) { return static_cast<HWND>(w); }
int sbBar(int bar) { return bar == kBarVert ? SB_VERT : SB_HORZ; }
}  // namespace

void winInvalidateRect(WindowHandle w, int left, int top, int width, int height, int erase) {
  if (!w) return;
  RECT r{left, top, left + width, top + height};
  InvalidateRect(hw(w), &r, erase ? TRUE : FALSE);
}

void winInvalidateView(WindowHandle w, int erase) {
  if (w) InvalidateRect(hw(w), nullptr, erase ? TRUE : FALSE);
}

void winScrollWindow(WindowHandle w, int dx, int dy) {
  if (!w) return;
  if (platOnUiThread()) {
    ScrollWindow(hw(w), dx, dy, nullptr, nullptr);
  } else {
    InvalidateRect(hw(w), nullptr, FALSE);
  }
}

void winSetScrollPos(WindowHandle w, int bar, int pos, int redraw) {
  if (!w) return;
  if (platOnUiThread()) {
    SetScrollPos(hw(w), sbBar(bar), pos, redraw ? TRUE : FALSE);
  } else {
    PostMessageA(hw(w), kMsgDeferredScrollPos, static_cast<WPARAM>(bar), static_cast<LPARAM>(pos));
  }
}

void winSetScrollRange(WindowHandle w, int bar, int max, int redraw) {
  if (!w) return;
  if (platOnUiThread()) {
    SetScrollRange(hw(w), sbBar(bar), 0, max, redraw ? TRUE : FALSE);
  } else {
    PostMessageA(hw(w), kMsgDeferredScrollRange, static_cast<WPARAM>(bar), static_cast<LPARAM>(max));
  }
}

void winCreateCaret(WindowHandle w, int width, int height) {
  if (w) CreateCaret(hw(w), nullptr, width, height);
}
void winShowCaret(WindowHandle w) { ShowCaret(hw(w)); }
void winHideCaret(WindowHandle w) { HideCaret(hw(w)); }
void winDestroyCaret() { DestroyCaret(); }


void winSetCaretPos(int x, int y) {
  if (platOnUiThread()) {
    SetCaretPos(x, y);
    return;
  }
  if (WindowHandle w = ghDISPLAYWnd.load()) {
    PostMessageA(hw(w), kMsgDeferredCaretPos, static_cast<WPARAM>(static_cast<INT_PTR>(x)),
                 static_cast<LPARAM>(y));
  }
}

void winUpdateWindow(WindowHandle w) {
  // From the worker the marked area is painted at the next WM_PAINT: a
  // cross-thread UpdateWindow would make the worker wait for the window.
  if (w && platOnUiThread()) UpdateWindow(hw(w));
}

BOOL winHandleDeferred(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kMsgDeferredScrollPos:
      SetScrollPos(w, sbBar(static_cast<int>(wp)), static_cast<int>(lp), TRUE);
      return TRUE;
    case kMsgDeferredScrollRange:
      SetScrollRange(w, sbBar(static_cast<int>(wp)), 0, static_cast<int>(lp), TRUE);
      return TRUE;
    case kMsgDeferredCaretPos:
      SetCaretPos(static_cast<int>(static_cast<INT_PTR>(wp)), static_cast<int>(lp));
      return TRUE;
    default:
      return FALSE;
  }
}
