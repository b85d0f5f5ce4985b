// Window messages by which other threads hand scroll-bar and caret changes to
// the user-interface thread (only that thread may make them on Win32).
#pragma once
#include <windows.h>

enum : UINT {
  // The values themselves wait in the window layer, latest one wins; a
  // message only says that one is waiting.
  kMsgDeferredScrollPos = WM_APP + 1,     // wParam bar
  kMsgDeferredScrollRange = WM_APP + 2,   // wParam bar
  kMsgDeferredCaretPos = WM_APP + 3,
};

// Carries out a deferred change; returns TRUE when msg was one of them.
BOOL winHandleDeferred(HWND w, UINT msg, WPARAM wp, LPARAM lp);
