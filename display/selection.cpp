// The selection: press, drag, word and row rules over the grid, the marks for the frame, and the selected text.
#include "display/selection.h"

#include <cstring>

#include "display/charset.h"
#include "display/frame.h"
#include "display/screen.h"
#include "display/screen_model.h"
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

const ScreenModel& M = gScreenModel;
// Rows as the selection reads them: grid rows and, below 0, history rows.
int oldestRow() { return static_cast<int>(-M.historyRows()); }

// One row read out of the model, for the word rules and the text.
RowCells gRow;

bool blank(uint32_t ch) { return ch == ' ' || ch == 0; }

Cell wordStart(Cell c) {
  if (!M.readRow(c.row, &gRow)) return c;
  const bool kind = blank(gRow.ch[c.col]);
  while (c.col > 0 && blank(gRow.ch[c.col - 1]) == kind) c.col--;
  return c;
}

Cell wordEnd(Cell c) {
  if (!M.readRow(c.row, &gRow)) return c;
  const bool kind = blank(gRow.ch[c.col]);
  while (c.col < M.cols() - 1 && blank(gRow.ch[c.col + 1]) == kind) c.col++;
  return c;
}

Cell clampCell(int row, int col) {
  if (row < oldestRow()) row = oldestRow();
  if (row > M.rows() - 1) row = M.rows() - 1;
  if (col < 0) col = 0;
  if (col > M.cols() - 1) col = M.cols() - 1;
  return Cell{row, col};
}

// The rows whose drawing changes go to the frame: those of the old
// selection and those of the new one.
void markRows(bool wasActive, Cell oldFirst, Cell oldLast) {
  int top = M.rows(), bottom = oldestRow() - 1;
  if (wasActive) {
    top = oldFirst.row;
    bottom = oldLast.row;
  }
  if (gActive) {
    if (gFirst.row < top) top = gFirst.row;
    if (gLast.row > bottom) bottom = gLast.row;
  }
  if (top <= bottom) frameDirtyArea(top, bottom, 0, M.cols() - 1);
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
  // An anchor that left the history during a drag holds at its oldest row;
  // the word rule must not look at rows no longer kept.
  if (a.row < oldestRow()) a = Cell{oldestRow(), 0};
  switch (gUnit) {
    case Unit::Cell: break;
    case Unit::Word:
      a = wordStart(a);
      b = wordEnd(b);
      break;
    case Unit::Row:
      a.col = 0;
      b.col = M.cols() - 1;
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
  gAnchor = Cell{oldestRow(), 0};
  spanTo(Cell{M.rows() - 1, M.cols() - 1});
}

void SelectCells(int firstRow, int firstCol, int lastRow, int lastCol) {
  ScopedLock hold(ScreenLock());
  gUnit = Unit::Cell;
  gAnchor = clampCell(firstRow, firstCol);
  spanTo(clampCell(lastRow, lastCol));
}

int SelectionStart(int* row, int* col) {
  ScopedLock hold(ScreenLock());
  if (!gActive) return 0;
  *row = gFirst.row;
  *col = gFirst.col;
  return 1;
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
  // The frame moves the drawn selection with the rest of the window. What
  // leaves the history leaves the selection.
  gFirst.row -= rows;
  gLast.row -= rows;
  if (gLast.row < oldestRow()) {
    gActive = false;
  } else if (gFirst.row < oldestRow()) {
    gFirst = Cell{oldestRow(), 0};
  }
}

int selectionRowSpan(int row, int* first, int* last) {
  if (!gActive || row < gFirst.row || row > gLast.row) return 0;
  *first = row == gFirst.row ? gFirst.col : 0;
  *last = row == gLast.row ? gLast.col : M.cols() - 1;
  return 1;
}

void AppendRowText(std::string* text, const RowCells& row, int first, int last) {
  while (last >= first && blank(row.ch[last])) last--;
  for (int col = first; col <= last; col++) {
    const uint32_t ch = row.ch[col];
    AppendUtf8(text, ch <= 0xFF ? gDrawnChars[ch] : ch);
  }
}

std::string SelectionText(const char* lineEnd) {
  std::string text;
  // The rows are read a batch at a time, each under the lock, so that a
  // long selection (the whole history) never holds the worker's writes
  // back for long; the selection's lines are counted from the start, so
  // that the rows scrolling meanwhile take nothing away from them.
  int64_t line = 0, lastLine = 0;
  {
    ScopedLock hold(ScreenLock());
    if (!gActive) return text;
    line = M.scrolled() + gFirst.row;
    lastLine = M.scrolled() + gLast.row;
  }
  constexpr int kBatch = 2000;
  const size_t end = std::strlen(lineEnd);
  bool firstRow = true;
  while (line <= lastLine) {
    ScopedLock hold(ScreenLock());
    if (!gActive) break;
    const int64_t firstLine = M.scrolled() + gFirst.row;
    if (line < firstLine) {
      // The history let go of rows the copy had not reached yet: what was
      // copied lies before them, no longer in the selection, and keeping it
      // would leave a gap in the text. The copy starts again where the
      // selection now begins.
      text.clear();
      firstRow = true;
      line = firstLine;
    }
    for (int n = 0; n < kBatch && line <= lastLine; n++, line++) {
      const int row = static_cast<int>(line - M.scrolled());
      int first = 0, last = 0;
      if (!selectionRowSpan(row, &first, &last) || !M.readRow(row, &gRow)) continue;
      if (!firstRow) text += lineEnd;
      firstRow = false;
      AppendRowText(&text, gRow, first, last);
    }
  }
  // Blank rows at the end (the empty rest of the grid under Select All)
  // would only be line ends.
  while (end > 0 && text.size() >= end && text.compare(text.size() - end, end, lineEnd) == 0) text.resize(text.size() - end);
  return text;
}
