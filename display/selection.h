// The selection: cells of the grid chosen with the mouse, row-wise from one cell to another as terminals select, by cell, word or row, and the text they yield.
#pragma once
#include <string>

// A press of the left button on grid cell (row, col): one click starts a
// selection of cells (empty until the pointer moves to another cell), two a
// selection by words, three by rows. A word is a run of non-blank cells (or
// of blanks, when a blank is clicked). Rows as the grid stands now.
void SelectionPress(int row, int col, int clicks);
// The pointer, button held, is over (row, col): the selection runs from the
// pressed cell (word, row) to this one (its word, its row).
void SelectionDrag(int row, int col);
void SelectAllCells();
void ClearSelection();
// 1 when cells are selected.
int SelectionActive();

// The selection follows the text as the grid scrolls up rows rows; what
// scrolls out of the grid leaves it. The caller holds the screen lock.
void selectionGridScrolled(int rows);
// The selected cells of a grid row, first..last inclusive; 0 when none.
// The caller holds the screen lock.
int selectionRowSpan(int row, int* first, int* last);

// What the selected cells show, as UTF-8: each byte as the character drawn
// for it (display/charset.h), the blanks at the end of each row left out,
// the rows joined by lineEnd, blank rows at the end left out. Empty when
// nothing is selected.
std::string SelectionText(const char* lineEnd);
