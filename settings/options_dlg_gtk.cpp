// The Options dialog (102) on GTK: a grid built from the options table, one row per option, stored through the portable rules.
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "app/frame_gtk.h"
#include "settings/options.h"
#include "settings/options_dlg.h"

namespace {

// An editable list's entries as they are now, its typed text kept.
void fillList(GtkWidget* combo, int i) {
  static char entries[64][kOptionEntryMax];
  const int n = OptionsFieldEntries(i, entries, 64);
  GtkEntry* entry = GTK_ENTRY(gtk_bin_get_child(GTK_BIN(combo)));
  const std::string text = gtk_entry_get_text(entry);
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(combo));
  for (int k = 0; k < n; k++) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), entries[k]);
  gtk_entry_set_text(entry, text.c_str());
}

// The ports found now, each time the list opens. The list is read before it
// shows: the toggle's press comes first.
gboolean onListPress(GtkWidget*, GdkEvent*, gpointer combo) {
  fillList(GTK_WIDGET(combo), GPOINTER_TO_INT(g_object_get_data(G_OBJECT(combo), "zelto-row")));
  return FALSE;
}
void findToggle(GtkWidget* w, gpointer combo) {
  if (GTK_IS_TOGGLE_BUTTON(w)) g_signal_connect(w, "button-press-event", G_CALLBACK(onListPress), combo);
}
// Alt+Down and F4 open the list from the keyboard.
void onPopup(GtkComboBox* combo, gpointer) {
  fillList(GTK_WIDGET(combo), GPOINTER_TO_INT(g_object_get_data(G_OBJECT(combo), "zelto-row")));
}

// The field of one option, showing its value.
GtkWidget* field(int i) {
  const OptionDesc& o = OptionAt(i);
  char text[kUploadListMax];
  const int32_t state = OptionsFieldState(i, text, sizeof text);
  if (o.kind == kOptionFlag) {
    GtkWidget* c = gtk_check_button_new();
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c), state ? TRUE : FALSE);
    return c;
  }
  if (o.kind == kOptionChoice) {
    GtkWidget* c = gtk_combo_box_text_new();
    for (int k = 0; o.choices[k]; k++) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(c), o.choices[k]);
    gtk_combo_box_set_active(GTK_COMBO_BOX(c), state);
    gtk_widget_set_halign(c, GTK_ALIGN_START);
    return c;
  }
  if (o.kind == kOptionList) {
    GtkWidget* c = gtk_combo_box_text_new_with_entry();
    g_object_set_data(G_OBJECT(c), "zelto-row", GINT_TO_POINTER(i));
    GtkEntry* e = GTK_ENTRY(gtk_bin_get_child(GTK_BIN(c)));
    gtk_entry_set_text(e, text);
    gtk_entry_set_width_chars(e, 40);
    gtk_entry_set_activates_default(e, TRUE);
    fillList(c, i);
    gtk_container_forall(GTK_CONTAINER(c), findToggle, c);
    g_signal_connect(c, "popup", G_CALLBACK(onPopup), nullptr);
    return c;
  }
  GtkWidget* e = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(e), text);
  gtk_entry_set_width_chars(GTK_ENTRY(e), o.kind == kOptionNumber ? 8 : 40);
  gtk_entry_set_activates_default(GTK_ENTRY(e), TRUE);
  if (o.kind == kOptionNumber) gtk_widget_set_halign(e, GTK_ALIGN_START);
  return e;
}

// Ok: every field's text to the core, which stores them all or none.
// Returns the row of a field that does not read, or -1.
int storeFields(GtkWidget* dialog, const std::vector<GtkWidget*>& fields) {
  std::vector<std::string> texts(fields.size());
  std::vector<const char*> ptrs;
  for (size_t i = 0; i < fields.size(); i++) {
    const int row = static_cast<int>(i);
    switch (OptionAt(row).kind) {
      case kOptionFlag:
        texts[i] = OptionsStateText(row, gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(fields[i])) ? 1 : 0);
        break;
      case kOptionChoice:
        texts[i] = OptionsStateText(row, gtk_combo_box_get_active(GTK_COMBO_BOX(fields[i])));
        break;
      case kOptionList: texts[i] = gtk_entry_get_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(fields[i])))); break;
      default: texts[i] = gtk_entry_get_text(GTK_ENTRY(fields[i]));
    }
    ptrs.push_back(texts[i].c_str());
  }
  return OptionsStoreFields(dialog, ptrs.data());
}

}  // namespace

int RunOptionsDialog(WindowHandle owner) {
  GtkWidget* d = NewZeltoDialog("Options", owner);

  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
  gtk_grid_set_row_homogeneous(GTK_GRID(grid), TRUE);   // an even pitch, whatever the field
  gtk_grid_set_column_spacing(GTK_GRID(grid), 10);
  gtk_container_set_border_width(GTK_CONTAINER(grid), 10);
  std::vector<GtkWidget*> fields;
  for (int i = 0; i < OptionCount(); i++) {
    GtkWidget* l = gtk_label_new((std::string(OptionAt(i).label) + ":").c_str());
    gtk_label_set_xalign(GTK_LABEL(l), 0);
    gtk_grid_attach(GTK_GRID(grid), l, 0, i, 1, 1);
    fields.push_back(field(i));
    gtk_grid_attach(GTK_GRID(grid), fields.back(), 1, i, 1, 1);
  }

  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(d));
  gtk_box_pack_start(GTK_BOX(content), grid, TRUE, TRUE, 0);
  AddOkCancel(d);
  gtk_widget_show_all(d);
  if (!fields.empty()) gtk_widget_grab_focus(fields[0]);
  // OK stores every field or, when one does not read, none: the dialog then
  // stays open on that field. Cancel and Esc change nothing.
  while (gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_OK) {
    const int bad = storeFields(d, fields);
    if (bad < 0) break;
    gtk_widget_grab_focus(fields[static_cast<size_t>(bad)]);
  }
  gtk_widget_destroy(d);
  return 1;
}
