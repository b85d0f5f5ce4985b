// Window operations that the display carries out on the main window. Win32
// carries them out with GDI/USER calls; the POSIX build has a headless window
// that only remembers what was asked (for tests); the GTK front end has its own.
//
// Thread rule: winRequestFrame may be called from any thread (the screen
// model records changes on the worker too). Every other operation is called
// on the user-interface thread only: by the display frame (display/frame.h),
// by painting and by the view's message handlers.
#pragma once
#include "platform/types.h"

enum { kBarHorz = 0, kBarVert = 1 };   // SB_HORZ, SB_VERT

// Asks the user-interface thread for a display frame: DISPLAYRunFrame(w)
// there, at the pace of frames. The core calls it once per frame at most,
// under the screen lock, so it must not wait for anything.
void winRequestFrame(WindowHandle w);
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
