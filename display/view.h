// The display view's portable half: the view geometry over the grid, the
// scroll requests of both bars, the caret rules and which cells a repaint
// draws. The Win32 front end adds the font and the drawing itself.
#pragma once
#include <cstdint>

#include "display/cells.h"
#include "display/screen.h"
#include "platform/types.h"

// Scroll-bar request codes (SB_*).
enum : int {
  kSbLineUp = 0,
  kSbLineDown = 1,
  kSbPageUp = 2,
  kSbPageDown = 3,
  kSbThumbPosition = 4,
  kSbThumbTrack = 5,
  kSbTop = 6,
  kSbBottom = 7,
  kSbEndScroll = 8,
};

// Geometry in pixels. Guarded by the screen lock, like the grid.
extern int32_t GxSize;      // view width; also the horizontal page
extern int32_t GySize;      // vertical page: the grid's rows and one
extern int32_t GyVisible;   // view height
extern int32_t GxScroll;    // largest horizontal offset
extern int32_t GyScroll;    // largest vertical offset
extern int32_t GxOffset;    // grid pixel column at the view's left edge
extern int32_t GyOffset;    // grid pixel row at the view's top edge
extern uint16_t GwCursorState;   // 0 no caret, 1 caret made and shown

// The view over the history and the grid. The offsets above place the view
// over the grid, by the grid's own rules (the view follows the cursor, a
// line feed past row 32 moves it down a row). Above the grid's top lies the
// history: a view the user scrolls up there stands DISPLAYViewBack() rows
// above the grid's top, with GyOffset 0, and output leaves it where it is
// (the rows that go into the history meanwhile add to the count, so the
// view keeps its text). Scrolled back down to the grid it follows output
// again. The vertical bar covers both: its range is the history's rows
// above GyScroll, its position the view's top in both together. With no
// history everything is as the grid alone makes it.
// The caller holds the screen lock for all of these.
int32_t DISPLAYViewBack();
// The grid scrolled rows rows into the history (0: the history shrank).
void viewGridScrolled(int32_t rows);
// The view goes back to the grid's top (Erase Screen, window creation).
void viewLeaveHistory();
// Records the vertical bar's range and position: the grid's position
// gridPos, as its rules set it, below the history, or the held view's.
void viewVertBar(int32_t gridPos);
// The screen's sizes in pixels from the cell and the model's grid: the
// width of the grid's columns and one, the vertical page of its rows and
// one, and a view of visibleRows rows (window creation, a new font).
void SetDISPLAYPageSizes(int32_t visibleRows);

// Brings rows first..last (grid or history rows, as the model numbers
// them) into the view, about its middle, unless they show already.
void DISPLAYShowRows(WindowHandle hwnd, int64_t first, int64_t last);
// Shift+Page Up / Page Down: a view's height of rows up (pages above 0) or
// down, through history and grid.
void ScrollDISPLAYPages(WindowHandle hwnd, int pages);

// The scroll requests of the two bars and the size change only record the
// new offsets, scroll-bar values and repaint (display/frame.h); the next
// frame moves the window content. The vertical bar's requests move the
// view through history and grid.
int32_t ScrollDISPLAYVert(WindowHandle hwnd, int code, int pos);
int32_t ScrollDISPLAYHorz(WindowHandle hwnd, int code, int pos);
// The mouse wheel: each notch is three line requests of the vertical bar,
// towards the top for notches above 0 (the wheel turned away from the
// user), towards the bottom below 0. Front ends sum their wheel's fine steps
// into whole notches.
constexpr int kWheelRows = 3;
int32_t ScrollDISPLAYWheel(WindowHandle hwnd, int notches);
int32_t SizeDISPLAY(WindowHandle hwnd, uint16_t height, uint16_t width);
int32_t SetDISPLAYFocus(WindowHandle hwnd);
int32_t KillDISPLAYFocus(WindowHandle hwnd);
// Records that the caret follows the cursor cell; the frame places it.
int32_t MoveDISPLAYCursor();

// The cells a repaint of the update rectangle (left, top, right, bottom in
// view pixels, right and bottom exclusive) draws, laid out as the window's
// pixels stand after the last frame: one run of count cells per row from
// firstRow to lastRow, starting at firstCol, drawn at x, y0 + k * GyChar.
// Whatever of the rectangle lies right of gridRight or below gridBottom is
// beyond the grid and shows the window background.
struct PaintRange {
  int32_t firstRow, lastRow, firstCol, count;
  int32_t x, y0;
  int32_t gridRight, gridBottom;
};
PaintRange DISPLAYPaintRange(int32_t left, int32_t top, int32_t right, int32_t bottom);

// The range and its cells copied under the screen lock, so that drawing,
// which can take a while, never holds the worker's writes back. Rows of the
// range that show history are copied from the history.
struct PaintCopy {
  PaintRange range;
  int32_t cellHeight;
  char cells[kScreenRows][kScreenCols];   // cells[row][0..count) for each row of the range
  // Each cell's character (cells holds it as a byte, '?' above 0xFF) and
  // attributes: attrs[row][0..count).
  uint32_t chars[kScreenRows][kScreenCols];
  CellAttr attrs[kScreenRows][kScreenCols];
  // The selected cells of each row of the range, drawn inverted:
  // cells[row][selFirst[row] .. selFirst[row] + selCount[row]).
  int32_t selFirst[kScreenRows];
  int32_t selCount[kScreenRows];
};
void DISPLAYPaintCopy(int32_t left, int32_t top, int32_t right, int32_t bottom, PaintCopy* copy);

// How a cell of a paint copy is drawn, the same in every front end: its
// colours as 0xRRGGBB (the default ones are the window's text and paper),
// swapped for inverse and swapped again for a selected cell, and whether
// it is bold and underlined.
struct CellLook {
  uint32_t fg, bg;
  bool bold, underline;
  bool operator==(const CellLook& o) const {
    return fg == o.fg && bg == o.bg && bold == o.bold && underline == o.underline;
  }
};
CellLook DISPLAYCellLook(const PaintCopy& copy, int32_t row, int32_t col, uint32_t textRgb, uint32_t paperRgb);
// How many cells of the row from col on (col counted from the range's
// first column) look as col does: a run a front end draws in one go.
int32_t DISPLAYLookRun(const PaintCopy& copy, int32_t row, int32_t col, uint32_t textRgb, uint32_t paperRgb);

// The cell under view pixel (x, y) as the window shows it now, in rows as
// the model numbers them now (history rows below 0); cells beyond the grid
// give its nearest edge cell, and rows above the oldest history row (gone
// since the window was drawn) -historyRows() - 1.
void DISPLAYCellAt(int32_t x, int32_t y, int32_t* row, int32_t* col);

// The left button held and moved to view pixel (x, y): the selection runs
// to the cell there; beyond the view's edge the view first scrolls a row or
// column that way, so a selection can reach past what the window shows.
void DISPLAYSelectTo(WindowHandle hwnd, int32_t x, int32_t y);

// Resets the view state at window creation (offsets, ranges, caret state).
void InitDISPLAYView();

// The display font's character set and pitch as the font description keeps
// them (OEM_CHARSET; FIXED_PITCH | FF_MODERN).
constexpr uint8_t kDisplayFontCharSet = 255;
constexpr uint8_t kDisplayFontPitchAndFamily = 0x31;
// Fills every field of GlfDISPLAYFont but the height and the face name,
// which start-up and the preset file choose: a fixed-pitch modern face in
// the OEM character set. Both front ends make their font from it.
void CompleteDISPLAYFontDesc();

// Window creation and teardown, the same in every front end
// (display/view_open.cpp), around the front end's font.
int32_t CreateDISPLAYInfo(WindowHandle hwnd);
int32_t DestroyDISPLAYInfo();
// The font and painting: each front end carries these out
// (display/view_gdi_win32.cpp, display/view_gtk.cpp). DeleteDISPLAYFont lets
// the display font go, if one was made.
void DeleteDISPLAYFont();
int32_t ResetDISPLAYScreen(WindowHandle hwnd);
int32_t PaintDISPLAY(WindowHandle hwnd);
