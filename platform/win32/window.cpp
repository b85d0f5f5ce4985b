// Win32 window operations on the main window. Only the frame request crosses
// threads (a posted message); everything else runs on the user-interface
// thread, where the display frame, painting and the view's handlers call it.
#include <windows.h>

#include <atomic>

#include "platform/thread.h"
#include "platform/win32/deferred.h"
#include "platform/window.h"

namespace {
HWND hw(WindowHandle w) { return static_cast<HWND>(w); }
int sbBar(int bar) { return bar == kBarVert ? SB_VERT : SB_HORZ; }
std::atomic<bool> gFrameTimer{false};
int gBottomStrip = 0;   // user-interface thread only
}  // namespace

void winSetBottomStrip(int height) { gBottomStrip = height; }

void winFrameTimerRunning(bool running) { gFrameTimer.store(running); }

void winRequestFrame(WindowHandle w) {
  if (w && !gFrameTimer.load()) PostMessageA(hw(w), kMsgFrame, 0, 0);
}

void winInvalidateRect(WindowHandle w, int left, int top, int width, int height, int erase) {
  if (!w) return;
  RECT r{left, top, left + width, top + height};
  InvalidateRect(hw(w), &r, erase ? TRUE : FALSE);
}

void winInvalidateView(WindowHandle w, int erase) {
  if (w) InvalidateRect(hw(w), nullptr, erase ? TRUE : FALSE);
}

void winScrollWindow(WindowHandle w, int dx, int dy) {
  // The uncovered strip is painted whole; erasing it first would only draw
  // it twice.
  if (!w) return;
  RECT clip{};
  GetClientRect(hw(w), &clip);
  clip.bottom -= gBottomStrip;
  ScrollWindowEx(hw(w), dx, dy, nullptr, gBottomStrip ? &clip : nullptr, nullptr, nullptr, SW_INVALIDATE);
}

void winSetScrollPos(WindowHandle w, int bar, int pos, int redraw) {
  if (w) SetScrollPos(hw(w), sbBar(bar), pos, redraw ? TRUE : FALSE);
}

void winSetScrollRange(WindowHandle w, int bar, int max, int redraw) {
  if (w) SetScrollRange(hw(w), sbBar(bar), 0, max, redraw ? TRUE : FALSE);
}

void winCreateCaret(WindowHandle w, int width, int height) {
  if (w) CreateCaret(hw(w), nullptr, width, height);
}
void winShowCaret(WindowHandle w) { ShowCaret(hw(w)); }
void winHideCaret(WindowHandle w) { HideCaret(hw(w)); }
void winDestroyCaret() { DestroyCaret(); }
void winSetCaretPos(int x, int y) { SetCaretPos(x, y); }

void winUpdateWindow(WindowHandle w) {
  // From the worker (the quiet-recording dots) the marked area is painted by
  // the next frame: a cross-thread UpdateWindow would make the worker wait
  // for the window.
  if (w && platOnUiThread()) UpdateWindow(hw(w));
}
