// The view's mouse and clipboard keys on GTK: selecting with the left button (one, two or three clicks), the right button's menu, the middle button's paste of the primary selection, and the copy and paste keys.
#include "app/mouse_gtk.h"

#include <cmath>

#include "app/commands.h"
#include "display/selection.h"
#include "display/view.h"
#include "platform/gtk/gtk_main.h"

namespace {

GtkWidget* gOwner = nullptr;   // the main window, as the commands name it
GtkWidget* gMenu = nullptr;
bool gSelecting = false;

void menuCommand(GtkMenuItem*, gpointer id) { DoDISPLAYCommand(gOwner, GPOINTER_TO_INT(id)); }

// The key shown beside a menu item: the one ClipboardKey takes for it, as
// GTK programs name their copy and paste keys.
void showKey(GtkWidget* item, int command) {
  guint key = 0;
  if (command == kCmdCopy) key = GDK_KEY_C;
  if (command == kCmdPaste) key = GDK_KEY_V;
  if (key == 0) return;
  gtk_accel_label_set_accel(GTK_ACCEL_LABEL(gtk_bin_get_child(GTK_BIN(item))), key,
                            static_cast<GdkModifierType>(GDK_CONTROL_MASK | GDK_SHIFT_MASK));
}

GtkWidget* selectionMenu() {
  if (gMenu) return gMenu;
  gMenu = gtk_menu_new();
  for (const CommandText& c : kSelectionMenu) {
    GtkWidget* item = gtk_menu_item_new_with_label(c.text);
    showKey(item, c.command);
    g_signal_connect(item, "activate", G_CALLBACK(menuCommand), GINT_TO_POINTER(c.command));
    gtk_menu_shell_append(GTK_MENU_SHELL(gMenu), item);
  }
  gtk_widget_show_all(gMenu);
  gtk_menu_attach_to_widget(GTK_MENU(gMenu), gOwner, nullptr);
  return gMenu;
}

// A pointer position in the view widget as the core's view takes it: from
// the text's corner, inside the margin.
int32_t textX(double x) { return static_cast<int32_t>(std::floor(x)) - kGtkViewMargin; }
int32_t textY(double y) { return static_cast<int32_t>(std::floor(y)) - kGtkViewMargin; }

void cellAt(double x, double y, int32_t* row, int32_t* col) { DISPLAYCellAt(textX(x), textY(y), row, col); }

gboolean onPress(GtkWidget* view, GdkEventButton* e, gpointer) {
  if (e->button == 1) {
    gtk_widget_grab_focus(view);
    // GTK follows the second and third press with an event of their own.
    const int clicks = e->type == GDK_3BUTTON_PRESS ? 3 : e->type == GDK_2BUTTON_PRESS ? 2 : 1;
    int32_t row = 0, col = 0;
    cellAt(e->x, e->y, &row, &col);
    SelectionPress(row, col, clicks);
    gSelecting = true;
    return TRUE;
  }
  if (e->type != GDK_BUTTON_PRESS) return FALSE;
  if (e->button == 2) {
    DISPLAYPastePrimary(gOwner);
    return TRUE;
  }
  if (e->button == 3) {
    gtk_menu_popup_at_pointer(GTK_MENU(selectionMenu()), reinterpret_cast<GdkEvent*>(e));
    return TRUE;
  }
  return FALSE;
}

gboolean onMotion(GtkWidget*, GdkEventMotion* e, gpointer) {
  if (!gSelecting) return FALSE;
  DISPLAYSelectTo(gOwner, textX(e->x), textY(e->y));
  return TRUE;
}

gboolean onRelease(GtkWidget*, GdkEventButton* e, gpointer) {
  if (e->button != 1 || !gSelecting) return FALSE;
  gSelecting = false;
  if (SelectionActive()) DISPLAYOfferPrimary(gOwner);
  return TRUE;
}

}  // namespace

void ConnectViewMouse(GtkWidget* view, GtkWidget* owner) {
  gOwner = owner;
  gtk_widget_add_events(view, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_BUTTON1_MOTION_MASK);
  g_signal_connect(view, "button-press-event", G_CALLBACK(onPress), nullptr);
  g_signal_connect(view, "motion-notify-event", G_CALLBACK(onMotion), nullptr);
  g_signal_connect(view, "button-release-event", G_CALLBACK(onRelease), nullptr);
}

int ClipboardKey(const GdkEventKey* k) {
  const guint mods = k->state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK);
  int id = 0;
  switch (k->keyval) {
    case GDK_KEY_Insert:
    case GDK_KEY_KP_Insert:
      if (mods == GDK_CONTROL_MASK) id = kCmdCopy;
      if (mods == GDK_SHIFT_MASK) id = kCmdPaste;
      break;
    case GDK_KEY_C:
    case GDK_KEY_c:
      if (mods == (GDK_CONTROL_MASK | GDK_SHIFT_MASK)) id = kCmdCopy;
      break;
    case GDK_KEY_V:
    case GDK_KEY_v:
      if (mods == (GDK_CONTROL_MASK | GDK_SHIFT_MASK)) id = kCmdPaste;
      break;
    default: break;
  }
  if (id) DoDISPLAYCommand(gOwner, id);
  return id ? 1 : 0;
}
