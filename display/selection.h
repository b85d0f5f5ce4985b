// The selection: cells of the grid and the history chosen with the mouse, row-wise from one cell to another as terminals select, by cell, word or row, and the text they yield.
#pragma once
#include <string>

#include "display/cells.h"

// A press of the left button on cell (row, col): one click starts a
// selection of cells (empty until the pointer moves to another cell), two a
// selection by words, three by rows. A word is a run of non-blank cells (or
// of blanks, when a blank is clicked). Rows as the screen model numbers them
// now: the grid's from 0, the history's below 0.
void SelectionPress(int row, int col, int clicks);
// The pointer, button held, is over (row, col): the selection runs from the
// pressed cell (word, row) to this one (its word, its row).
void SelectionDrag(int row, int col);
// Select All: the history and the grid.
void SelectAllCells();
// Selects the cells from (firstRow, firstCol) to (lastRow, lastCol) (a match of find).
void SelectCells(int firstRow, int firstCol, int lastRow, int lastCol);
void ClearSelection();
// 1 when cells are selected.
int SelectionActive();
// The selection's first cell; 0 when nothing is selected.
int SelectionStart(int* row, int* col);

// The selection follows the text as the grid scrolls up rows rows, into
// the history; what leaves the history leaves it. The caller holds the
// screen lock.
void selectionGridScrolled(int rows);
// The selected cells of a grid row, first..last inclusive; 0 when none.
// The caller holds the screen lock.
int selectionRowSpan(int row, int* first, int* last);

// What the selected cells show, as UTF-8: each byte as the character drawn
// for it (display/charset.h), the blanks at the end of each row left out,
// the rows joined by lineEnd, blank rows at the end left out. Empty when
// nothing is selected.
std::string SelectionText(const char* lineEnd);
// The text of cells first..last of a row as SelectionText gives it, appended to text.
void AppendRowText(std::string* text, const RowCells& row, int first, int last);
