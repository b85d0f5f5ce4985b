// Window messages by which other threads hand work to the user-interface thread.
#pragma once
#include <windows.h>

enum : UINT {
  // The display asks for a frame (winRequestFrame); the front end runs it
  // at the pace of frames.
  kMsgFrame = WM_APP + 1,
};
