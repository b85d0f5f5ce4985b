// The view's own keys on GTK (app/viewkeys_gtk.cpp): scrolling through the history, find and save.
#pragma once
#include <gtk/gtk.h>

// Carries out Shift+Page Up, Shift+Page Down, Shift+Home and Shift+End,
// Ctrl+Shift+F and Ctrl+Shift+S as the command table has them; 1 when k was
// one of them, carried out on the main window.
int ViewKey(const GdkEventKey* k);
