// The find bar of the native program (app/find_gtk.cpp).
#pragma once
#include <gtk/gtk.h>

// Makes the bar, hidden, for the main window owner and its view; the main
// window packs it below the view.
GtkWidget* NewFindBar(GtkWidget* owner, GtkWidget* view);
// Shows the bar with the focus in its text ("Find...", Ctrl+Shift+F).
int ShowFindBar();
