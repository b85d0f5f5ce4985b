// The rules by which received, echoed and status bytes are laid into the
// screen model (display/screen_model.h): its 128 x 80 grid, the cursor, raw
// and hex display, wraps, scrolls into the history, and Erase Screen.
#pragma once
#include <cstdint>

#include "platform/thread.h"

// The grid of the screen model: 128 rows of 80 cells.
constexpr int kScreenRows = 128;
constexpr int kScreenCols = 80;
constexpr int kScreenCells = kScreenRows * kScreenCols;   // 10240
constexpr int kFollowRows = 32;                           // view-follow distance

extern int32_t& GnRow;      // cursor row, 0..127 (the model's cursor)
extern int32_t& GnColumn;   // cursor column, 0..79

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

// Blanks the grid and brings the cursor and the view home; the history
// stays ("Erase Screen").
void ClearDISPLAYScreen();
// The same, and the history emptied too ("Clear Scrollback").
void ClearDISPLAYScrollback();
// The history takes the limit the option scrollback_lines now has: rows
// beyond it go, oldest first (after the Options dialog).
void ApplyScrollbackLimit();

// The line-feed step; flag non-zero lets the grid scroll.
void handleLineFeed(int32_t flag);

// Fills the grid with blanks, empties the history and homes the cursor
// (window creation).
void InitDISPLAYGrid();
