// Find: a text searched for in the history and the grid, towards older or newer output, from the last match (the selection) on, wrapping at either end.
//
// The screen is searched as it shows its text: each cell the character
// drawn for it, and a row whose text runs on into the next (a wrap, not a
// line end) joined to it, so a match may span rows. In hex display the text
// is searched as its hex digits: the bytes it stands for (as typing or
// pasting it would send them) as "4f 4b", as the cells show them. "Match
// case" off compares letters whatever their case.
#pragma once
#include <cstdint>
#include <string>

#include "platform/types.h"

enum FindResult : int {
  kFindNone = 0,      // nothing to search for (an empty text)
  kFindFound = 1,
  kFindWrapped = 2,   // found after going past the oldest (or newest) row
  kFindNotFound = 3,
};

// Where a match lies, in rows as the screen model numbers them (history
// rows below 0): cells (firstRow, firstCol) to (lastRow, lastCol).
struct FindMatch {
  int32_t firstRow, firstCol, lastRow, lastCol;
};

// Searches for text (UTF-8) from the selection's first cell, or from the
// end of the output (older) or its beginning (newer) when nothing is
// selected: older finds the nearest match that begins before it, newer
// the nearest that begins after it; past the last row it goes on from the
// other end, back to where it began. A match is selected and brought into
// the view of window w; *match (when given) tells where it lay then. The
// search reads the screen a batch of rows at a time under the screen lock,
// so that output goes on meanwhile.
FindResult FindInScreen(WindowHandle w, const std::string& text, bool matchCase, bool older, FindMatch* match);
