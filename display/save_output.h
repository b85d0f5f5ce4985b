// Save Output As: the history and the grid written as text into a file, whole or not at all.
#pragma once
#include <cstdint>

#include "platform/types.h"

// Writes every row of the history and of the grid, up to the last grid row
// that shows something, as the screen shows it (time stamps as they stand,
// hex display as its digits; characters as UTF-8, the blanks at the end of
// each row left out), each ended by the platform's line end (CR LF on
// Windows, LF elsewhere). The text goes to a new file beside path, which
// then replaces path; the screen says "-Saved N lines to PATH-". A file
// that cannot be written gets a box owned by owner with the system's
// reason, and nothing of it is left behind. Returns the rows written, or
// -1. The rows are read a batch at a time under the screen lock, and
// written to the file without it.
int64_t SaveDISPLAYOutput(WindowHandle owner, const char* path);

// File > "Save Output As..." (Ctrl+Shift+S): the save dialog, then the
// save into the file chosen. Returns 1 when a file was chosen.
int SaveOutputDlg(WindowHandle owner);
