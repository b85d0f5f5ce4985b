// POSIX-only control of the open-file dialog: there is no window system, so
// tests say what the next dialog answers and read what it was shown.
#pragma once
#include <cstdint>
#include <string>

#include "platform/filedlg.h"

// The answer of every following dialog: path chosen with OK, or Cancel when
// path is null (the initial answer); with filter (from 1), the filter the
// user switched to, else the one the dialog opened on.
void posixFileDlgAnswer(const char* path, uint32_t filter = 0);
// Dialogs shown since the last reset, and the record the last one was given
// (its buffers as they were when it opened).
int posixFileDlgShown();
OpenFileRecord posixFileDlgLastRecord();
std::string posixFileDlgLastStartPath();
void posixFileDlgReset();
