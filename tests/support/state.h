// Puts the whole program state back to its start: settings, flags, grid,
// view and the headless window's records. Every test starts from here.
#pragma once
#include <string>

void ResetProgramState();

// Row r of the grid as text, trailing blanks removed.
std::string GridRow(int r);
