// The bookkeeping the screen's writers share (display/screen.cpp): what a write changed for the window, for the emulator's writer (display/vt_screen.cpp).
//
// The caller holds the screen lock. A write begins with ScreenWriteBegin and
// ends with ScreenWriteEnd, which hands the frame, the view and the
// selection what it noted in between, once.
#pragma once
#include <cstdint>

void ScreenWriteBegin();
void ScreenWriteEnd();
// Cells firstCol..lastCol of grid row row were written.
void ScreenNoteCells(int32_t firstCol, int32_t lastCol, int32_t row);
// The grid moved up rows rows in its ring (ScreenModel::dropTopRows).
void ScreenNoteGridScroll(int32_t rows);
// A row went into the history without the grid scrolling
// (ScreenModel::pushHistoryRow).
void ScreenNoteHistoryRow();
// The cursor moved: the caret follows.
void ScreenNoteCaret();
