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
  // Waits in a main loop of its own: the window keeps being drawn meanwhile.
  gchar* got = gtk_clipboard_wait_for_text(board(primary));
  if (!got) return 0;
  text->assign(got);
  g_free(got);
  return text->empty() ? 0 : 1;
}

const char* platLineEnd() { return "\n"; }
