// The about box (dialog 100) on GTK, and the runner through which the commands open their modal dialogs.
#include <gtk/gtk.h>

#include "app/find_gtk.h"
#include "app/frame_gtk.h"
#include "app/version.h"
#include "platform/shell.h"

namespace {

const char* const kAboutLines[] = {
    "UDP is Multicast and Broadcast capable",
    "",
    "Bytes can be typed 1:1 (7bit ASCII only) or 8 bit hex code can be typed as ASCII text",
    "Correspondingly display format can be 1:1 or 8 bit hex representation as ASCII text",
    "",
    "Any kind of file (text or binary) can be transmitted in raw format (KEY F5,F6,F7  Abort F8)",
    "CTS Handshake supported. Tx speed can be slowed down (selectable us/Byte) (KEY F5)",
    "Upload of Scripts, esp.FORTH programming: file can be sent 'Line' by 'Line' (KEY F6/F7)",
    "Any byte value can be chosen as 'Line' delimiter. Comments /*...*/ style can be skipped",
    "",
    "Received bytes can be recorded in a REC file while beeing displayed (KEY F9)",
    "Or can be recorded quietly without display (KEY F10)",
    "Storage in a REC file can be paused at any time (KEY F11) and restarted (KEY F9,F10)",
    "REC file is closed when program terminates. Can be closed at any time with KEY F12",
};

// A text shown as it is: no markup, no mnemonic, '&' literal.
GtkWidget* text(const char* s) {
  GtkWidget* l = gtk_label_new(s);
  gtk_label_set_xalign(GTK_LABEL(l), 0);
  return l;
}

GtkWidget* rule() { return gtk_separator_new(GTK_ORIENTATION_HORIZONTAL); }

void pressOk(GtkButton*, gpointer dialog) { gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK); }

}  // namespace

GtkWidget* NewZeltoDialog(const char* title, WindowHandle owner) {
  GtkWidget* d = gtk_dialog_new();
  GtkWindow* win = GTK_WINDOW(d);
  gtk_window_set_title(win, title);
  gtk_window_set_modal(win, TRUE);
  if (owner) gtk_window_set_transient_for(win, GTK_WINDOW(owner));
  gtk_window_set_position(win, GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_window_set_resizable(win, FALSE);
  gtk_window_set_deletable(win, FALSE);
  return d;
}

void AddOkCancel(GtkWidget* dialog) {
  gtk_dialog_add_button(GTK_DIALOG(dialog), "_Cancel", GTK_RESPONSE_CANCEL);
  gtk_dialog_add_button(GTK_DIALOG(dialog), "_OK", GTK_RESPONSE_OK);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
}

int RunAboutDialog(WindowHandle owner) {
  // No close button: only OK (or Enter on it) ends the box.
  GtkWidget* d = NewZeltoDialog("about  " ZELTO_APP_NAME, owner);

  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(d));
  gtk_container_set_border_width(GTK_CONTAINER(d), 10);
  gtk_box_set_spacing(GTK_BOX(content), 4);

  GtkWidget* head = gtk_grid_new();
  gtk_grid_set_column_spacing(GTK_GRID(head), 16);
  // The program's own icon where it is installed.
  const char* iconName = gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), "zelto") ? "zelto" : "utilities-terminal";
  GtkWidget* icon = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DIALOG);
  gtk_grid_attach(GTK_GRID(head), icon, 0, 0, 1, 3);
  gtk_grid_attach(GTK_GRID(head), text(ZELTO_APP_NAME " Terminal for RS-232 and UDP"), 1, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(head), text("Copyright (c) 2026 the Zelto developers"), 1, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(head), rule(), 1, 2, 1, 1);
  GtkWidget* ok = gtk_button_new_with_mnemonic("_OK");
  gtk_widget_set_valign(ok, GTK_ALIGN_START);
  gtk_widget_set_hexpand(ok, TRUE);
  gtk_widget_set_halign(ok, GTK_ALIGN_END);
  gtk_grid_attach(GTK_GRID(head), ok, 2, 0, 1, 2);
  gtk_box_pack_start(GTK_BOX(content), head, FALSE, FALSE, 0);
  for (const char* line : kAboutLines) {
    GtkWidget* l = line[0] ? text(line) : gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_margin_start(l, 10);
    gtk_box_pack_start(GTK_BOX(content), l, FALSE, FALSE, line[0] ? 0 : 2);
  }
  gtk_box_pack_start(GTK_BOX(content), rule(), FALSE, FALSE, 6);

  // OK is the default button, so Enter presses it.
  g_signal_connect(ok, "clicked", G_CALLBACK(pressOk), d);
  gtk_widget_set_can_default(ok, TRUE);
  gtk_widget_show_all(d);
  gtk_widget_grab_default(ok);
  gtk_widget_grab_focus(ok);
  // Esc (the dialog's close request) leaves the box open.
  while (gtk_dialog_run(GTK_DIALOG(d)) != GTK_RESPONSE_OK) {
  }
  gtk_widget_destroy(d);
  return 1;
}

int RunZeltoDialog(int id, WindowHandle owner) {
  if (id == kDialogAbout) return RunAboutDialog(owner);
  if (id == kDialogSetup) return RunSetupDialog(owner);
  if (id == kDialogOptions) return RunOptionsDialog(owner);
  if (id == kDialogFind) return ShowFindBar();
  return 0;
}
