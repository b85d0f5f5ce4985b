// Win32 window operations on the main window. From the worker only the
// thread-safe calls are made directly (InvalidateRect, PostMessage); scroll
// bars, window scrolling and the caret are handed to the user-interface
// thread, and a scroll from the worker repaints the view instead of moving
// its pixels.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "platform/thread.h"
#include "platform/win32/deferred.h"
#include "platform/window.h"
#include "settings/globals.h"

namespace {
HWND hw(WindowHandle w) { return static_cast<HWND>(w); }
int sbBar(int bar) { return bar == kBarVert ? SB_VERT : SB_HORZ; }

// One deferred change: the latest value asked for, and whether a message
// that will carry it out is already on its way. A flood of received lines
// moves the caret and the scroll bar on every line; the user-interface
// thread needs only the latest position, so while one message waits the
// next changes just replace the value instead of posting again.
struct Deferred {
  std::atomic<int64_t> value{0};
  std::atomic<bool> posted{false};

  void post(HWND w, UINT msg, WPARAM wp, int64_t v) {
    value.store(v);
    if (!posted.exchange(true) && !PostMessageA(w, msg, wp, 0)) posted.store(false);
  }
  int64_t take() {
    posted.store(false);   // a change after this posts anew
    return value.load();
  }
};
Deferred gScrollPos[2];     // by bar: 0 horizontal, 1 vertical
Deferred gScrollRange[2];
Deferred gCaretPos;         // x in the high half, y in the low half
int barSlot(int bar) { return bar == kBarVert ? 1 : 0; }
int64_t packXY(int x, int y) {
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(y));
}
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
    gScrollPos[barSlot(bar)].post(hw(w), kMsgDeferredScrollPos, static_cast<WPARAM>(bar), pos);
  }
}

void winSetScrollRange(WindowHandle w, int bar, int max, int redraw) {
  if (!w) return;
  if (platOnUiThread()) {
    SetScrollRange(hw(w), sbBar(bar), 0, max, redraw ? TRUE : FALSE);
  } else {
    gScrollRange[barSlot(bar)].post(hw(w), kMsgDeferredScrollRange, static_cast<WPARAM>(bar), max);
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
    gCaretPos.post(hw(w), kMsgDeferredCaretPos, 0, packXY(x, y));
  }
}

void winUpdateWindow(WindowHandle w) {
  // From the worker the marked area is painted at the next WM_PAINT: a
  // cross-thread UpdateWindow would make the worker wait for the window.
  if (w && platOnUiThread()) UpdateWindow(hw(w));
}

BOOL winHandleDeferred(HWND w, UINT msg, WPARAM wp, LPARAM /*unused: the value waits in its slot*/) {
  switch (msg) {
    case kMsgDeferredScrollPos: {
      const int bar = static_cast<int>(wp);
      SetScrollPos(w, sbBar(bar), static_cast<int>(gScrollPos[barSlot(bar)].take()), TRUE);
      return TRUE;
    }
    case kMsgDeferredScrollRange: {
      const int bar = static_cast<int>(wp);
      SetScrollRange(w, sbBar(bar), 0, static_cast<int>(gScrollRange[barSlot(bar)].take()), TRUE);
      return TRUE;
    }
    case kMsgDeferredCaretPos: {
      const uint64_t xy = static_cast<uint64_t>(gCaretPos.take());
      SetCaretPos(static_cast<int>(static_cast<uint32_t>(xy >> 32)), static_cast<int>(static_cast<uint32_t>(xy)));
      return TRUE;
    }
    default:
      return FALSE;
  }
}
