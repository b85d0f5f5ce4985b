// The Win32 side of the command shell: the front end hands in how a dialog is run.
#pragma once
#include <windows.h>

// Runs dialog template id modally over owner. ZELTO.EXE sets it at start-up
// to its own runner, which knows the dialog procedures; until then no dialog
// runs.
using WinDialogRunner = int (*)(int id, HWND owner);
void winSetDialogRunner(WinDialogRunner run);
