// Window messages by which other threads hand scroll-bar and caret changes to
// the user-interface thread (only that thread may make them on Win32).
#pragma once
#include <windows.h>

enum : UINT {
  kMsgDeferredScrollPos = WM_APP + 1,     // wParam bar, lParam position
  kMsgDeferredScrollRange = WM_APP + 2,   // wParam bar, lParam maximum
  kMsgDeferredCaretPos = WM_APP + 3,      // wParam x, lParam y (signed)
};

// Carries out a deferred change; returns TRUE when msg was one of them.
BOOL winHandleDeferred(HWND w, UINT msg, WPARAM wp, LPARAM lp);
