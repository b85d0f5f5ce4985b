// Window operations that the screen model and the display view call on the
// main window. Win32 carries them out with GDI/USER calls; the POSIX build has
// a headless window that only remembers what was asked (for tests).
//
// Thread rule: the worker may call every one of these. Invalidation is done
// directly (it only marks areas); scroll bars, window scrolling and the caret
// belong to the user-interface thread, so an implementation hands those to
// that thread when called from elsewhere.
#pragma once
#include "platform/types.h"

enum { kBarHorz = 0, kBarVert = 1 };   // SB_HORZ, SB_VERT

// InvalidateRect of one rectangle in client pixels, erasing or not.
void winInvalidateRect(WindowHandle w, int left, int top, int width, int height, int erase);
// InvalidateRect of the whole client area.
void winInvalidateView(WindowHandle w, int erase);
// ScrollWindow: move the client pixels by (dx, dy), the uncovered strip repaints.
void winScrollWindow(WindowHandle w, int dx, int dy);
// SetScrollPos / SetScrollRange (0 to max; max 0 hides the bar).
void winSetScrollPos(WindowHandle w, int bar, int pos, int redraw);
void winSetScrollRange(WindowHandle w, int bar, int max, int redraw);
// The block caret.
void winCreateCaret(WindowHandle w, int width, int height);
void winShowCaret(WindowHandle w);
void winHideCaret(WindowHandle w);
void winDestroyCaret();
void winSetCaretPos(int x, int y);
// UpdateWindow: paint what is marked, now.
void winUpdateWindow(WindowHandle w);
