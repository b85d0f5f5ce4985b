// The selection: press, drag, word and row rules over the grid, the marks for the frame, and the selected text.
#include "display/selection.h"

#include <cstring>

#include "display/charset.h"
#include "display/frame.h"
#include "display/screen.h"
#include "platform/thread.h"

namespace {

struct Cell {
  int row, col;
};

bool before(Cell a, Cell b) { return a.row < b.row || (a.row == b.row && a.col < b.col); }

// All guarded by the screen lock. The selection is first..last inclusive,
// in reading order; anchor is the pressed cell, which the drag keeps.
enum class Unit { Cell, Word, Row };
Unit gUnit = Unit::Cell;
Cell gAnchor{0, 0};
Cell gFirst{0, 0}, gLast{0, 0};
bool gActive = false;

bool blank(int row, int col) {
  const uint8_t b = gabScreen[row * kScreenCols + col];
  return b == ' ' || b == 0;
}

Cell wordStart(Cell c) {
  const bool kind = blank(c.row, c.col);
  while (c.col > 0 && blank(c.row, c.col - 1) == kind) c.col--;
  return c;
}

Cell wordEnd(Cell c) {
  const bool kind = blank(c.row, c.col);
  while (c.col < kScreenCols - 1 && blank(c.row, c.col + 1) == kind) c.col++;
  return c;
}

Cell clampCell(int row, int col) {
  if (row < 0) row = 0;
  if (row > kScreenRows - 1) row = kScreenRows - 1;
  if (col < 0) col = 0;
  if (col > kScreenCols - 1) col = kScreenCols - 1;
  return Cell{row, col};
}

// The rows whose drawing changes go to the frame: those of the old
// selection and those of the new one.
void markRows(bool wasActive, Cell oldFirst, Cell oldLast) {
  int top = kScreenRows, bottom = -1;
  if (wasActive) {
    top = oldFirst.row;
    bottom = oldLast.row;
  }
  if (gActive) {
    if (gFirst.row < top) top = gFirst.row;
    if (gLast.row > bottom) bottom = gLast.row;
  }
  if (top <= bottom) frameDirtyArea(top, bottom, 0, kScreenCols - 1);
}

// Sets the selection from the anchor to c by the current unit.
void spanTo(Cell c) {
  const bool wasActive = gActive;
  const Cell oldFirst = gFirst, oldLast = gLast;
  Cell a = gAnchor, b = c;
  if (before(b, a)) {
    a = c;
    b = gAnchor;
  }
  // An anchor scrolled out of the grid during a drag holds at its top; the
  // word rule must not look at cells above the grid.
  if (a.row < 0) a = Cell{0, 0};
  switch (gUnit) {
    case Unit::Cell: break;
    case Unit::Word:
      a = wordStart(a);
      b = wordEnd(b);
      break;
    case Unit::Row:
      a.col = 0;
      b.col = kScreenCols - 1;
      break;
  }
  gFirst = a;
  gLast = b;
  gActive = true;
  markRows(wasActive, oldFirst, oldLast);
}

void clearLocked() {
  if (!gActive) return;
  gActive = false;
  markRows(true, gFirst, gLast);
}

}  // namespace

void SelectionPress(int row, int col, int clicks) {
  ScopedLock hold(ScreenLock());
  gAnchor = clampCell(row, col);
  gUnit = clicks >= 3 ? Unit::Row : clicks == 2 ? Unit::Word : Unit::Cell;
  if (gUnit == Unit::Cell) {
    clearLocked();
  } else {
    spanTo(gAnchor);
  }
}

void SelectionDrag(int row, int col) {
  ScopedLock hold(ScreenLock());
  const Cell c = clampCell(row, col);
  // A single click selects nothing until the pointer leaves the cell.
  if (gUnit == Unit::Cell && !gActive && c.row == gAnchor.row && c.col == gAnchor.col) return;
  spanTo(c);
}

void SelectAllCells() {
  ScopedLock hold(ScreenLock());
  gUnit = Unit::Cell;
  gAnchor = Cell{0, 0};
  spanTo(Cell{kScreenRows - 1, kScreenCols - 1});
}

void ClearSelection() {
  ScopedLock hold(ScreenLock());
  clearLocked();
}

int SelectionActive() {
  ScopedLock hold(ScreenLock());
  return gActive ? 1 : 0;
}

void selectionGridScrolled(int rows) {
  gAnchor.row -= rows;
  if (!gActive) return;
  // The frame moves the drawn selection with the rest of the window.
  gFirst.row -= rows;
  gLast.row -= rows;
  if (gLast.row < 0) {
    gActive = false;
  } else if (gFirst.row < 0) {
    gFirst = Cell{0, 0};
  }
}

int selectionRowSpan(int row, int* first, int* last) {
  if (!gActive || row < gFirst.row || row > gLast.row) return 0;
  *first = row == gFirst.row ? gFirst.col : 0;
  *last = row == gLast.row ? gLast.col : kScreenCols - 1;
  return 1;
}

std::string SelectionText(const char* lineEnd) {
  ScopedLock hold(ScreenLock());
  std::string text;
  if (!gActive) return text;
  for (int row = gFirst.row; row <= gLast.row; row++) {
    int first = 0, last = 0;
    selectionRowSpan(row, &first, &last);
    while (last >= first && blank(row, last)) last--;
    if (row > gFirst.row) text += lineEnd;
    for (int col = first; col <= last; col++) AppendUtf8(&text, gDrawnChars[gabScreen[row * kScreenCols + col]]);
  }
  // Blank rows at the end (the empty rest of the grid under Select All)
  // would only be line ends.
  const size_t end = std::strlen(lineEnd);
  while (end > 0 && text.size() >= end && text.compare(text.size() - end, end, lineEnd) == 0) text.resize(text.size() - end);
  return text;
}
