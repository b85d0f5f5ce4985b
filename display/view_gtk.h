// The display view's GTK half: the handler that draws the view widget.
#pragma once
#include <gtk/gtk.h>

// The view widget's "draw" handler: the update area through PaintDISPLAY,
// then the caret, inside the view's margin (kGtkViewMargin).
gboolean DrawDISPLAYView(GtkWidget* view, cairo_t* cr, gpointer unused);
