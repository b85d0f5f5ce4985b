// The GTK frame of the native program: the modal-dialog runner and the dialogs it runs.
#pragma once
#include <gtk/gtk.h>

#include "platform/types.h"

// The commands' dialogs: the about box (100), the Setup dialog (101) and the
// Options dialog (102), run modally over owner until the user closes them.
int RunZeltoDialog(int id, WindowHandle owner);
int RunAboutDialog(WindowHandle owner);
int RunSetupDialog(WindowHandle owner);
int RunOptionsDialog(WindowHandle owner);
// A new dialog window of theirs: modal over owner and centred on it, of a
// fixed size, with no close button in its frame.
GtkWidget* NewZeltoDialog(const char* title, WindowHandle owner);
// Its buttons as GTK orders and names them: "Cancel", then "OK", the
// default (Enter in a text field presses it), answering GTK_RESPONSE_CANCEL
// and GTK_RESPONSE_OK.
void AddOkCancel(GtkWidget* dialog);
