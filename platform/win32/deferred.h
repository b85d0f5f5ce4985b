// Window messages by which other threads hand work to the user-interface thread.
#pragma once
#include <windows.h>

enum : UINT {
  // The display asks for a frame (winRequestFrame); the front end runs it
  // at the pace of frames.
  kMsgFrame = WM_APP + 1,
};

// While the front end's frame timer runs, it runs every frame that is asked
// for, and a request posts nothing: one timer message a frame instead of a
// posted message, a timer set and a timer killed.
void winFrameTimerRunning(bool running);

// The strip at the bottom of the main window's client area that a child
// control (the status bar) covers: scrolls of the view leave it alone.
void winSetBottomStrip(int height);
