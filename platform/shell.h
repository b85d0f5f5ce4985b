// The window-system actions of the menu commands: closing the main window and
// running the program's modal dialogs.
#pragma once
#include "platform/types.h"

// Dialog templates the commands run.
enum : int {
  kDialogAbout = 100,   // "Info": the about box
  kDialogSetup = 101,   // "Terminal": the Setup dialog
  kDialogOptions = 102, // "Options": built at run time from the options table
  kDialogFind = 103,    // "Find...": the find bar (or non-modal dialog), shown and left open
};

// Asks the window to close as its close button would (WM_CLOSE, posted, so
// the close runs from the message loop after the current command).
void platPostClose(WindowHandle w);

// Runs dialog template id modally, owned by owner, and returns when the user
// has closed it; the find bar alone is shown and left open. The result is
// the dialog's; the commands ignore it.
int platRunDialog(int id, WindowHandle owner);
