// Puts the whole program state back to its start: settings, flags, grid,
// view and the headless window's records. Every test starts from here.
#pragma once
#include <cstdint>
#include <string>

void ResetProgramState();

// What the screen shows, read under the screen lock (the worker may be
// writing): row r with trailing blanks removed, the whole grid, the cursor.
std::string GridRow(int r);
std::string GridText();
uint8_t GridCell(int r, int c);
int CursorRow();
int CursorColumn();
