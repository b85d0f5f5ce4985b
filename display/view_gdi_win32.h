// The display view's GDI half: the display font that ResetDISPLAYScreen makes and painting uses, and frame pacing.
#pragma once
#include <windows.h>

extern HFONT GhDISPLAYFont;   // null until the first ResetDISPLAYScreen

// The frame messages of the main window: the request that the core's
// winRequestFrame posts, and the timer that holds the next frame back until
// a frame's time has passed since the last. TRUE when msg was one of them.
BOOL DISPLAYFrameMessage(HWND hwnd, UINT msg, WPARAM wParam);
