// The view's mouse and clipboard keys on GTK (app/mouse_gtk.cpp).
#pragma once
#include <gtk/gtk.h>

// Connects the view's button and motion events; owner is the main window.
void ConnectViewMouse(GtkWidget* view, GtkWidget* owner);
// Carries out a copy or paste key (Ctrl+Insert, Ctrl+Shift+C, Shift+Insert,
// Ctrl+Shift+V); 1 when k was one of them.
int ClipboardKey(const GdkEventKey* k);
