// The view's own keys on GTK: Shift with Page Up, Page Down, Home and End through the history, Ctrl+Shift+F find and Ctrl+Shift+S save.
#include "app/viewkeys_gtk.h"

#include "app/commands.h"
#include "platform/window.h"
#include "settings/globals.h"

int ViewKey(const GdkEventKey* k) {
  const guint mods = k->state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK);
  int id = 0;
  if (mods == GDK_SHIFT_MASK) {
    switch (k->keyval) {
      case GDK_KEY_Page_Up:
      case GDK_KEY_KP_Page_Up: id = kCmdViewPageUp; break;
      case GDK_KEY_Page_Down:
      case GDK_KEY_KP_Page_Down: id = kCmdViewPageDown; break;
      case GDK_KEY_Home:
      case GDK_KEY_KP_Home: id = kCmdViewTop; break;
      case GDK_KEY_End:
      case GDK_KEY_KP_End: id = kCmdViewBottom; break;
      default: break;
    }
  }
  if (mods == (GDK_CONTROL_MASK | GDK_SHIFT_MASK) && (k->keyval == GDK_KEY_F || k->keyval == GDK_KEY_f)) id = kCmdFind;
  if (id) DoDISPLAYCommand(ghDISPLAYWnd.load(), id);
  return id ? 1 : 0;
}
