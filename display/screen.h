// The screen model: a 128 x 80 grid of 8-bit cells, the cursor, and the rules
// by which received, echoed and status bytes are laid into it.
#pragma once
#include <cstdint>

#include "platform/thread.h"

constexpr int kScreenRows = 128;
constexpr int kScreenCols = 80;
constexpr int kScreenCells = kScreenRows * kScreenCols;   // 10240
constexpr int kFollowRows = 32;                           // view-follow distance

extern uint8_t gabScreen[kScreenCells];   // row r, column c at r * 80 + c
extern int32_t GnRow;                     // cursor row, 0..127
extern int32_t GnColumn;                  // cursor column, 0..79

// The one lock over the grid, the cursor and the view offsets. It is held
// for each whole write (nested wrap and backspace writes included), for each
// status text, and by painting. Recursive, so the view's own operations can
// be called from inside a write.
CoreLock& ScreenLock();

// Lays len bytes into the grid at the cursor, each shown raw or as hex as
// gfHexPrint says when that byte is written. len <= 0 writes nothing.
void WriteDISPLAYBlock(const void* data, int32_t len);

// Received bytes, as WriteDISPLAYBlock shows them; with a stamp (the
// "HH:MM:SS.mmm " of the block's arrival) each received line begins with
// it. Where lines begin is followed across calls.
void WriteDISPLAYReceived(const void* data, int32_t len, const char* stamp);

// Status texts: fixed texts always shown as characters, whatever the hex
// setting, without touching gfHexPrint. A sequence is written as one unit
// with respect to the other thread.
void WriteDISPLAYStatus(const char* text);
void WriteDISPLAYStatus2(const char* first, const char* second);
void WriteDISPLAYStatus3(const char* first, const char* second, const char* third);

// Blanks the grid and brings the cursor and the view home.
void ClearDISPLAYScreen();

// The line-feed step; flag non-zero lets the grid scroll.
void handleLineFeed(int32_t flag);

// Fills the grid with blanks and homes the cursor (window creation).
void InitDISPLAYGrid();
