// The find bar of the native program: a row under the view with the text, "Match case", "Next" (towards older output) and "Previous", and the note the search leaves ("-wrapped-", "not found").
#include "app/find_gtk.h"

#include "app/commands.h"

namespace {

GtkWidget* gOwner = nullptr;
GtkWidget* gView = nullptr;
GtkWidget* gBar = nullptr;
GtkWidget* gEntry = nullptr;
GtkWidget* gCase = nullptr;
GtkWidget* gNote = nullptr;

void find(bool older) {
  const int r = DISPLAYFindText(gOwner, gtk_entry_get_text(GTK_ENTRY(gEntry)),
                                gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(gCase)) ? 1 : 0, older ? 1 : 0);
  gtk_label_set_text(GTK_LABEL(gNote), DISPLAYFindNote(r));
}

void close() {
  gtk_widget_hide(gBar);
  gtk_widget_grab_focus(gView);
}

void onNext(GtkButton*, gpointer) { find(true); }
void onPrevious(GtkButton*, gpointer) { find(false); }
void onClose(GtkButton*, gpointer) { close(); }
void onChanged(GtkEditable*, gpointer) { gtk_label_set_text(GTK_LABEL(gNote), ""); }

// Enter finds towards older output, Shift+Enter towards newer; Esc closes.
gboolean onKey(GtkWidget*, GdkEventKey* k, gpointer) {
  switch (k->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: find((k->state & GDK_SHIFT_MASK) == 0); return TRUE;
    case GDK_KEY_Escape: close(); return TRUE;
    default: return FALSE;
  }
}

GtkWidget* button(const char* text, GCallback clicked) {
  GtkWidget* b = gtk_button_new_with_label(text);
  gtk_widget_set_can_focus(b, FALSE);   // the text keeps the focus: Enter goes on finding
  g_signal_connect(b, "clicked", clicked, nullptr);
  return b;
}

}  // namespace

GtkWidget* NewFindBar(GtkWidget* owner, GtkWidget* view) {
  gOwner = owner;
  gView = view;
  gBar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_widget_set_name(gBar, "findbar");
  gtk_container_set_border_width(GTK_CONTAINER(gBar), 3);
  gtk_box_pack_start(GTK_BOX(gBar), gtk_label_new("Find:"), FALSE, FALSE, 0);
  gEntry = gtk_entry_new();
  gtk_entry_set_width_chars(GTK_ENTRY(gEntry), 30);
  g_signal_connect(gEntry, "key-press-event", G_CALLBACK(onKey), nullptr);
  g_signal_connect(gEntry, "changed", G_CALLBACK(onChanged), nullptr);
  gtk_box_pack_start(GTK_BOX(gBar), gEntry, FALSE, FALSE, 0);
  gCase = gtk_check_button_new_with_label("Match case");
  gtk_widget_set_can_focus(gCase, FALSE);
  gtk_box_pack_start(GTK_BOX(gBar), gCase, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(gBar), button("Next", G_CALLBACK(onNext)), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(gBar), button("Previous", G_CALLBACK(onPrevious)), FALSE, FALSE, 0);
  gNote = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(gNote), 0);
  gtk_box_pack_start(GTK_BOX(gBar), gNote, TRUE, TRUE, 0);
  GtkWidget* x = gtk_button_new_from_icon_name("window-close-symbolic", GTK_ICON_SIZE_MENU);
  gtk_button_set_relief(GTK_BUTTON(x), GTK_RELIEF_NONE);
  gtk_widget_set_can_focus(x, FALSE);
  gtk_widget_set_tooltip_text(x, "Close");
  g_signal_connect(x, "clicked", G_CALLBACK(onClose), nullptr);
  gtk_box_pack_end(GTK_BOX(gBar), x, FALSE, FALSE, 0);
  gtk_widget_show_all(gBar);
  gtk_widget_hide(gBar);
  gtk_widget_set_no_show_all(gBar, TRUE);   // hidden until "Find..."
  return gBar;
}

int ShowFindBar() {
  if (!gBar) return 0;
  gtk_widget_show(gBar);
  gtk_widget_grab_focus(gEntry);   // selects the text, for a new one to replace it
  return 1;
}
