// The clipboard on GTK: the CLIPBOARD selection and X's PRIMARY selection, as UTF-8 text.
#include "platform/clipboard.h"

#include <gtk/gtk.h>

namespace {
GtkClipboard* board(int primary) { return gtk_clipboard_get(primary ? GDK_SELECTION_PRIMARY : GDK_SELECTION_CLIPBOARD); }
}  // namespace

int platClipboardSet(WindowHandle, const std::string& text, int primary) {
  gtk_clipboard_set_text(board(primary), text.data(), static_cast<gint>(text.size()));
  return 1;
}

int platClipboardGet(WindowHandle, int primary, std::string* text) {
  text->clear();
  // The text's bytes as its owner gives them, with their length: GTK's own
  // text request ends the text at a NUL and gives nothing at all for text
  // that is not UTF-8, and the paste takes both as they are. Each request
  // waits in a main loop of its own, so the window keeps being drawn.
  GtkClipboard* b = board(primary);
  if (GtkSelectionData* d = gtk_clipboard_wait_for_contents(b, gdk_atom_intern_static_string("UTF8_STRING"))) {
    const gint n = gtk_selection_data_get_length(d);
    if (n > 0) text->assign(reinterpret_cast<const char*>(gtk_selection_data_get_data(d)), static_cast<size_t>(n));
    gtk_selection_data_free(d);
    if (n >= 0) return text->empty() ? 0 : 1;
  }
  // An owner that offers text only in an older form (STRING, COMPOUND_TEXT):
  // GTK converts it.
  gchar* got = gtk_clipboard_wait_for_text(b);
  if (!got) return 0;
  text->assign(got);
  g_free(got);
  return text->empty() ? 0 : 1;
}

const char* platLineEnd() { return "\n"; }
