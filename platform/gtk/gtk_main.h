// The GTK side of the platform layer: the main window's widgets that the window operations act on, the caret they keep, and how other threads' requests reach the GTK thread.
#pragma once
#include <gtk/gtk.h>

#include "platform/types.h"

// The main window (the WindowHandle the core is given), its view and its two
// scroll bars. Set before the view is created; cleared (all null) before the
// window is destroyed, after which window operations and frames do nothing.
void gtkSetMainWidgets(GtkWidget* window, GtkWidget* view, GtkWidget* vbar, GtkWidget* hbar);

// The blank border, in the window colour, between the view widget's edges
// and the text. The core's view positions (drawing, the caret, updates, the
// mouse) start at the text's corner; the GTK side moves them by this much.
constexpr int kGtkViewMargin = 4;

// The caret as the view draws it (read on the GTK thread).
struct GtkCaretState {
  int shown;
  int x, y, width, height;
};
GtkCaretState gtkCaret();

// Message boxes raised on other threads wait in a queue for the GTK thread;
// this shows them, one after another. Runs from the main loop and from every
// wait of the GTK thread (platWaitForWake).
void gtkServeRequests();

// Runs the program's dialog template id (the about box, the Setup dialog)
// modally over owner; the front end hands in its runner at start-up.
using GtkDialogRunner = int (*)(int id, WindowHandle owner);
void gtkSetDialogRunner(GtkDialogRunner run);

// The caption of a message box whose caption is null: what Windows shows there.
constexpr const char kGtkDefaultCaption[] = "Error";
