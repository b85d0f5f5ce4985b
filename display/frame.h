// Frame-paced painting: the screen model, the view's handlers and the worker record what changed; a frame on the user-interface thread turns it into window operations.
//
// The contract between the portable core and a front end:
//
//  - Everything that changes what the window should show (cells written, the
//    grid scrolling, view moves, scroll-bar position and range, the caret) is
//    only recorded, under the screen lock, by the functions below. None of
//    them calls a window operation.
//  - When a change is recorded and no frame is pending, the core calls the
//    platform hook winRequestFrame (platform/window.h) once, from whichever
//    thread made the change. Many changes before the frame runs give one
//    request.
//  - The front end answers on its user-interface thread by calling
//    DISPLAYRunFrame, no sooner than kFrameIntervalMs after the previous
//    frame (about 60 frames a second at most; see the pacing below). The frame takes the recorded
//    changes under the screen lock and clears them, then, without the lock:
//    sets the scroll ranges, moves the window content once for the net view
//    move and grid scroll (or repaints the whole view when that exceeds the
//    view), marks the changed cells as one rectangle, sets the scroll
//    positions that differ from those the window has, has the window paint
//    at once, and places the caret last.
//  - Painting reads the grid through DISPLAYPaintCopy (display/view.h),
//    which lays it out as the window's pixels stand after the last frame,
//    and fills whatever lies beyond row 127 and column 79 with background.
#pragma once
#include <cstdint>

#include "platform/types.h"

// Frame pacing for front ends. A frame asked for after a quiet spell runs
// at once; frames that keep coming run kFrameIntervalMs apart, and once a
// stream has kept them coming for kStreamFrames frames in a row,
// kStreamFrameIntervalMs apart until a frame finds nothing to do. Each
// frame of a stream moves the whole view, and under Wine every frame costs
// the same whatever it shows: a long stream is drawn 30 times a second,
// a typed key or a short reply within one 60th.
constexpr int kFrameIntervalMs = 16;
constexpr int kStreamFrameIntervalMs = 33;
constexpr int kStreamFrames = 8;

// Runs one frame on the user-interface thread (see above). Returns 1 when
// something had been recorded, 0 for an empty frame.
int DISPLAYRunFrame(WindowHandle w);
// 1 when changes wait for a frame. A front end that keeps a frame timer
// running while frames come (and asks winRequestFrame to post nothing
// meanwhile) checks this after stopping the timer on an empty frame.
int DISPLAYFramePending();
// Puts the caret on the cursor cell as the window shows it now, when the
// caret exists. User-interface thread only: painting ends with it.
void DISPLAYPlaceCaret();

// ---- recording; the caller holds the screen lock

// Cells firstCol..lastCol of grid rows firstRow..lastRow were written (rows
// as the grid stands now; a row below 0 has scrolled out of it).
void frameDirtyArea(int32_t firstRow, int32_t lastRow, int32_t firstCol, int32_t lastCol);
// The whole view must be repainted, with the background erased first when erase is set.
void frameDirtyAll(int erase);
// The grid scrolled up rows rows: what the window shows of it moves with it.
void frameGridScrolled(int32_t rows);
// The latest scroll-bar position and range asked for (bar kBarHorz or kBarVert).
void frameScrollPos(int bar, int32_t pos);
void frameScrollRange(int bar, int32_t max);
// The caret follows the cursor cell; or goes to the home pixel (1, 0) whatever the caret state.
void frameCaret();
void frameCaretHome();
// The window the view works on, as its message handlers name it: frames are
// requested for it until the main window is recorded.
void frameWindow(WindowHandle w);
// The view offsets changed: a frame is needed to move the window content.
void frameViewMoved();
// The user moved or sized the view: the next frame sets the vertical bar,
// which in a stream of output it otherwise sets only every few frames.
void frameBarNow();

// ---- what the window's pixels stand for; the caller holds the screen lock

struct ShownView {
  int32_t xOffset, yOffset;   // the view offsets of the last frame
  int32_t rowShift;           // rows the grid has scrolled since then
};
ShownView frameShownView();
// Whether the content has moved by a view or more since the last frame, so
// that the next frame repaints the whole view. Under the screen lock.
bool frameWholeViewDue();
// Resets everything recorded and shown (window creation, tests).
void frameReset();
