// The GTK frame of the native program: the modal-dialog runner and the dialogs it runs.
#pragma once
#include "platform/types.h"

// The commands' dialogs: the about box (100) and the Setup dialog (101),
// run modally over owner until the user closes them.
int RunZeltoDialog(int id, WindowHandle owner);
int RunAboutDialog(WindowHandle owner);
int RunSetupDialog(WindowHandle owner);
