// The native program's entry: start-up, the main window with its menu bar, function keys, view and scroll bars, the GTK main loop and the closing order.
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/cmdline_gtk.h"
#include "app/commands.h"
#include "app/find_gtk.h"
#include "app/frame_gtk.h"
#include "app/mouse_gtk.h"
#include "app/viewkeys_gtk.h"
#include "app/statusbar.h"
#include "display/keyboard.h"
#include "display/view.h"
#include "display/vt_screen.h"
#include "display/view_gtk.h"
#include "platform/gtk/gtk_main.h"
#include "platform/posix/paths.h"
#include "platform/posix/ui_wait.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "settings/preset.h"
#include "transfer/filesend.h"
#include "transfer/record.h"
#include "transfer/transfer.h"

namespace {

// The menu "ZELTO": the texts of the command table, a function key each
// where it has one (GTK shows it beside the text) with its modifiers, 0 for
// a separator.
struct MenuEntry {
  const char* text;
  int command;
  guint key;
  GdkModifierType mods;
  bool check = false;   // a check item, showing a state
};
const MenuEntry kFileMenu[] = {
    {"Select Send File", kCmdSelectSendFile, GDK_KEY_F1},
    {"Select Record File", kCmdSelectRecordFile, GDK_KEY_F2},
    {"Save Output As...", kCmdSaveOutput, GDK_KEY_s, static_cast<GdkModifierType>(GDK_CONTROL_MASK | GDK_SHIFT_MASK)},
    {nullptr, 0, 0},
    {"Exit", kCmdExit, 0},
};
const MenuEntry kStreamMenu[] = {
    {"Drop Display Stream", kCmdDropStream, GDK_KEY_F3},
    {"Show Display Stream", kCmdShowStream, GDK_KEY_F4},
};
const MenuEntry kLoadMenu[] = {
    {"Send File with seleted Delay", kCmdSendRaw, GDK_KEY_F5},
    {"Send File Line by Line + Next Line", kCmdSendLine, GDK_KEY_F6},
    {"Line by Line (skip //.. comments) + Next Line", kCmdSendLineSkip, GDK_KEY_F7},
    {"Abort Send File", kCmdAbortSend, GDK_KEY_F8},
    {nullptr, 0, 0},
    {"Start Receive Record with Display", kCmdRecordShown, GDK_KEY_F9},
    {"Start Receive Record Quietly", kCmdRecordQuiet, GDK_KEY_F10},
    {"Pause Receive Record", kCmdPauseRecord, GDK_KEY_F11},
    {"Close Record File", kCmdCloseRecord, GDK_KEY_F12},
    {nullptr, 0, 0},
    {"Upload File paced by Replies", kCmdUploadPaced, GDK_KEY_F6, GDK_SHIFT_MASK},
    {"Upload File paced by Replies (skip comments)", kCmdUploadPacedSkip, GDK_KEY_F7, GDK_SHIFT_MASK},
    {nullptr, 0, 0},
    {"Send File with XMODEM", kCmdXmodemSend, GDK_KEY_F5, GDK_CONTROL_MASK},
    {"Send File with YMODEM", kCmdYmodemSend, GDK_KEY_F6, GDK_CONTROL_MASK},
    {"Receive File with XMODEM...", kCmdXmodemReceive, GDK_KEY_F7, GDK_CONTROL_MASK},
    {"Receive Files with YMODEM", kCmdYmodemReceive, GDK_KEY_F8, GDK_CONTROL_MASK},
};
const MenuEntry kConfigMenu[] = {
    {"Terminal", kCmdTerminal, 0},
    {"Options", kCmdOptions, 0},
    {nullptr, 0, 0},
    {"Erase Screen", kCmdEraseScreen, 0},
    {"VT100 Emulation", kCmdVt100, 0, {}, true},
    {nullptr, 0, 0},
    {"DTR", kCmdDtr, 0, {}, true},
    {"RTS", kCmdRts, 0, {}, true},
    {"Send Break", kCmdSendBreak, 0},
    {nullptr, 0, 0},
    {"Save Setup", kCmdSaveSetup, 0},
    {nullptr, 0, 0},
    {"Clear Scrollback", kCmdClearScrollback, 0},
};

GtkWidget* gMain = nullptr;
GtkWidget* gView = nullptr;
GtkWidget* gVBar = nullptr;
GtkWidget* gHBar = nullptr;

void applyStatusBar();

void command(GtkMenuItem*, gpointer id) {
  DoDISPLAYCommand(gMain, GPOINTER_TO_INT(id));
  applyStatusBar();   // the Options dialog may have switched it
}

// The items whose look follows the link (the modem lines) or a setting:
// greyed where the link has none, checked as the line or the setting
// stands, set each time their menu opens.
struct StatefulItem {
  GtkWidget* item;
  int command;
};
StatefulItem gStateful[5];
int gStatefulCount = 0;

void showCommandStates(GtkWidget*, gpointer) {
  for (int i = 0; i < gStatefulCount; i++) {
    const StatefulItem& s = gStateful[i];
    const unsigned state = DISPLAYCommandState(s.command);
    gtk_widget_set_sensitive(s.item, (state & kCmdGreyed) ? FALSE : TRUE);
    if (!GTK_IS_CHECK_MENU_ITEM(s.item)) continue;
    // Setting the check would activate the item: its command waits.
    g_signal_handlers_block_by_func(s.item, reinterpret_cast<gpointer>(command), GINT_TO_POINTER(s.command));
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(s.item), (state & kCmdChecked) ? TRUE : FALSE);
    g_signal_handlers_unblock_by_func(s.item, reinterpret_cast<gpointer>(command), GINT_TO_POINTER(s.command));
  }
}

// The status bar (option "Status bar"): a label under the view, shown
// while the option is on, its text asked for again every kStatusBarPeriodMs.
GtkWidget* gStatus = nullptr;
guint gStatusTimer = 0;

gboolean refreshStatusBar(gpointer) {
  char text[kStatusBarTextMax];
  if (gStatus && ComposeStatusBar(text, sizeof text)) gtk_label_set_text(GTK_LABEL(gStatus), text);
  if (gStatus) return G_SOURCE_CONTINUE;
  gStatusTimer = 0;
  return G_SOURCE_REMOVE;
}

// The bar's height with the box's spacing around it.
int statusBarHeight() {
  int minimum = 0, natural = 0;
  gtk_widget_get_preferred_height(gStatus, &minimum, &natural);
  return natural + 2;
}

// Shows or hides the bar as the option says, at once. The window grows or
// shrinks by the bar, so the view keeps its size, unless the window manager
// decides its size (maximized, full screen).
void applyStatusBar() {
  if (!gStatus || !gMain) return;
  const bool want = gfStatusBar != 0;
  if (want == (gtk_widget_get_visible(gStatus) != FALSE)) return;
  const int bar = statusBarHeight();
  GdkWindow* w = gtk_widget_get_window(gMain);
  const bool managed = w && (gdk_window_get_state(w) & (GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN |
                                                        GDK_WINDOW_STATE_TILED)) != 0;
  int width = 0, height = 0;
  gtk_window_get_size(GTK_WINDOW(gMain), &width, &height);
  if (want) {
    gtk_widget_show(gStatus);
    refreshStatusBar(nullptr);
    if (!gStatusTimer) gStatusTimer = g_timeout_add(kStatusBarPeriodMs, refreshStatusBar, nullptr);
  } else {
    gtk_widget_hide(gStatus);
    if (gStatusTimer) g_source_remove(gStatusTimer);
    gStatusTimer = 0;
  }
  if (!managed && w) gtk_window_resize(GTK_WINDOW(gMain), width, want ? height + bar : std::max(1, height - bar));
}

template <size_t N>
void addMenu(GtkWidget* bar, GtkAccelGroup* keys, const char* title, const MenuEntry (&entries)[N]) {
  GtkWidget* menu = gtk_menu_new();
  gtk_menu_set_accel_group(GTK_MENU(menu), keys);
  for (const MenuEntry& e : entries) {
    GtkWidget* item = !e.text ? gtk_separator_menu_item_new()
                      : e.check ? gtk_check_menu_item_new_with_label(e.text)
                                : gtk_menu_item_new_with_label(e.text);
    if (e.command == kCmdDtr || e.command == kCmdRts || e.command == kCmdSendBreak || e.command == kCmdVt100) {
      gStateful[gStatefulCount++] = {item, e.command};
      if (gStatefulCount == 1) g_signal_connect(menu, "show", G_CALLBACK(showCommandStates), nullptr);
    }
    if (e.text) {
      g_signal_connect(item, "activate", G_CALLBACK(command), GINT_TO_POINTER(e.command));
      // The function keys, alone or with Shift as the entry says, wherever
      // the main window has the focus; a dialog's keys never reach them.
      if (e.key) gtk_widget_add_accelerator(item, "activate", keys, e.key, e.mods, GTK_ACCEL_VISIBLE);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  GtkWidget* top = gtk_menu_item_new_with_label(title);
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
}

// A click on "Info", which has no menu: GTK's menu bar would only select
// it, so the click runs the command, once the bar has let go.
gboolean infoLater(gpointer) {
  DoDISPLAYCommand(gMain, kCmdInfo);
  return G_SOURCE_REMOVE;
}

gboolean onInfoClick(GtkWidget*, GdkEventButton* e, gpointer bar) {
  if (e->button != 1) return FALSE;
  gtk_menu_shell_deactivate(GTK_MENU_SHELL(bar));
  g_idle_add(infoLater, nullptr);
  return TRUE;
}

// A closing window: the connection first (that stops the worker, which may
// still be reading the send file or writing the record file), then the
// files still open, then the window.
void closeOpenFiles() {
  TransferEndAll(TransferEnd::Exit);
  if (gfRecFileOpen) CloseRecFileQuietly();
}

gboolean onClose(GtkWidget* w, GdkEvent*, gpointer) {
  DestroyDISPLAYInfo();
  closeOpenFiles();
  gtk_widget_destroy(w);
  return TRUE;
}

void onDestroy(GtkWidget*, gpointer) {
  ghDISPLAYWnd = nullptr;
  gStatus = nullptr;
  gtkSetMainWidgets(nullptr, nullptr, nullptr, nullptr);
  // A window destroyed without a close request (its X window killed) still
  // ends the connection before the files.
  if (gfConnected) DestroyDISPLAYInfo();
  closeOpenFiles();
  gtk_main_quit();
}

gboolean onFocusIn(GtkWidget*, GdkEvent*, gpointer) {
  SetDISPLAYFocus(gMain);
  return FALSE;
}

gboolean onFocusOut(GtkWidget*, GdkEvent*, gpointer) {
  KillDISPLAYFocus(gMain);
  return FALSE;
}

// The core's view is the text inside the view's margin.
void onSize(GtkWidget*, GdkRectangle* r, gpointer) {
  const int h = r->height - 2 * kGtkViewMargin, w = r->width - 2 * kGtkViewMargin;
  SizeDISPLAY(gMain, static_cast<uint16_t>(h > 0 ? h : 0), static_cast<uint16_t>(w > 0 ? w : 0));
}

// Windows' ANSI characters 0x80 to 0x9F, the typographic ones that have no
// place in Latin-1; a key that types one of them sends its byte.
int ansiByte(gunichar u) {
  static const gunichar k80[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                   0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<int>(u);
  for (int i = 0; i < 32; i++) {
    if (k80[i] == u) return 0x80 + i;
  }
  return -1;
}

// A key as the character message of Windows gives it: Enter 13 (Ctrl+Enter
// 10), Backspace 8, Tab 9, Esc 27, Ctrl with a letter its control code, any
// other character its ANSI byte. -1 for keys that type nothing.
int keyCharacter(const GdkEventKey* k) {
  const bool ctrl = (k->state & GDK_CONTROL_MASK) != 0;
  switch (k->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: return ctrl ? 10 : 13;
    case GDK_KEY_BackSpace: return ctrl ? 127 : 8;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab: return ctrl ? -1 : 9;
    case GDK_KEY_Escape: return 27;
    default: break;
  }
  const gunichar u = gdk_keyval_to_unicode(k->keyval);
  if (u == 0) return -1;
  if (ctrl) {
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z')) return static_cast<int>(u & 0x1F);
    if (u == '@' || u == '[' || u == '\\' || u == ']' || u == '^' || u == '_') return static_cast<int>(u & 0x1F);
    if (u == '2') return 0;
    if (u == '6') return 30;
    if (u == '-') return 31;
    return -1;
  }
  return ansiByte(u);
}

// The keys VT100 emulation sends sequences for (display/vt_screen.h), 0
// for any other.
int vtKey(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up: return kVtKeyUp;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down: return kVtKeyDown;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left: return kVtKeyLeft;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right: return kVtKeyRight;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home: return kVtKeyHome;
    case GDK_KEY_End:
    case GDK_KEY_KP_End: return kVtKeyEnd;
    case GDK_KEY_Insert:
    case GDK_KEY_KP_Insert: return kVtKeyInsert;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete: return kVtKeyDelete;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up: return kVtKeyPageUp;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down: return kVtKeyPageDown;
    default: return 0;
  }
}

gboolean onKey(GtkWidget*, GdkEventKey* k, gpointer) {
  // Alt combinations are the window manager's and the menus'.
  if (k->state & (GDK_MOD1_MASK | GDK_SUPER_MASK | GDK_META_MASK)) return FALSE;
  if (ClipboardKey(k) || ViewKey(k)) return TRUE;
  if (const int key = vtKey(k->keyval)) {
    const int mods = ((k->state & GDK_SHIFT_MASK) ? kVtModShift : 0) | ((k->state & GDK_CONTROL_MASK) ? kVtModCtrl : 0);
    ProcessDISPLAYKey(gMain, key, mods);
    return TRUE;
  }
  const int ch = keyCharacter(k);
  if (ch >= 0) ProcessDISPLAYCharacter(gMain, ch);
  // Every other key is the view's too: arrows and Tab do not move the focus.
  return TRUE;
}

// The mouse wheel: three rows a notch (the view's wheel request); with
// Shift, or a wheel turned sideways, three columns of the horizontal bar.
gboolean onWheel(GtkWidget*, GdkEventScroll* e, gpointer) {
  const bool shift = (e->state & GDK_SHIFT_MASK) != 0;
  switch (e->direction) {
    case GDK_SCROLL_UP:
    case GDK_SCROLL_DOWN:
      if (!shift) {
        ScrollDISPLAYWheel(gMain, e->direction == GDK_SCROLL_UP ? 1 : -1);
        return TRUE;
      }
      break;
    case GDK_SCROLL_LEFT:
    case GDK_SCROLL_RIGHT: break;
    default: return FALSE;
  }
  const int code = e->direction == GDK_SCROLL_UP || e->direction == GDK_SCROLL_LEFT ? kSbLineUp : kSbLineDown;
  for (int i = 0; i < kWheelRows; i++) ScrollDISPLAYHorz(gMain, code, 0);
  return TRUE;
}

// The scroll bars' requests as the view knows them. Dragging the thumb
// moves nothing until it is let go, as on Windows; the bar then takes the
// position the view settles on.
bool gDragging[2] = {false, false};
double gDragValue[2] = {0, 0};

int scrollCode(GtkScrollType t) {
  switch (t) {
    case GTK_SCROLL_STEP_BACKWARD:
    case GTK_SCROLL_STEP_UP:
    case GTK_SCROLL_STEP_LEFT: return kSbLineUp;
    case GTK_SCROLL_STEP_FORWARD:
    case GTK_SCROLL_STEP_DOWN:
    case GTK_SCROLL_STEP_RIGHT: return kSbLineDown;
    case GTK_SCROLL_PAGE_BACKWARD:
    case GTK_SCROLL_PAGE_UP:
    case GTK_SCROLL_PAGE_LEFT: return kSbPageUp;
    case GTK_SCROLL_PAGE_FORWARD:
    case GTK_SCROLL_PAGE_DOWN:
    case GTK_SCROLL_PAGE_RIGHT: return kSbPageDown;
    case GTK_SCROLL_START: return kSbTop;
    case GTK_SCROLL_END: return kSbBottom;
    case GTK_SCROLL_JUMP: return kSbThumbPosition;
    default: return -1;
  }
}

void scrollRequest(int bar, int code, double value) {
  const int pos = static_cast<int>(std::lround(value));
  if (bar == kBarVert) {
    ScrollDISPLAYVert(gMain, code, pos);
  } else {
    ScrollDISPLAYHorz(gMain, code, pos);
  }
}

gboolean onScrollBar(GtkRange*, GtkScrollType type, gdouble value, gpointer barp) {
  const int bar = GPOINTER_TO_INT(barp);
  const int code = scrollCode(type);
  if (code < 0) return TRUE;
  if (code == kSbThumbPosition && gDragging[bar]) {
    gDragValue[bar] = value;
    return FALSE;   // the thumb follows the pointer; the view waits
  }
  scrollRequest(bar, code, value);
  return TRUE;
}

gboolean onBarPress(GtkWidget*, GdkEventButton*, gpointer barp) {
  const int bar = GPOINTER_TO_INT(barp);
  gDragging[bar] = true;
  gDragValue[bar] = -1;
  return FALSE;
}

gboolean onBarRelease(GtkWidget*, GdkEventButton*, gpointer barp) {
  const int bar = GPOINTER_TO_INT(barp);
  gDragging[bar] = false;
  if (gDragValue[bar] >= 0) scrollRequest(bar, kSbThumbPosition, gDragValue[bar]);
  gDragValue[bar] = -1;
  return FALSE;
}

GtkWidget* makeBar(GtkOrientation o, int bar) {
  GtkWidget* b = gtk_scrollbar_new(o, nullptr);
  g_signal_connect(b, "change-value", G_CALLBACK(onScrollBar), GINT_TO_POINTER(bar));
  g_signal_connect(b, "button-press-event", G_CALLBACK(onBarPress), GINT_TO_POINTER(bar));
  g_signal_connect(b, "button-release-event", G_CALLBACK(onBarRelease), GINT_TO_POINTER(bar));
  gtk_widget_set_no_show_all(b, TRUE);   // shown while its range is above 0
  return b;
}

// The program's own folder stands for ZELTO.EXE's: the preset's folder
// rules (settings/preset.h) start there.
void useOwnFolder() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return;
  self[n] = 0;
  if (char* slash = std::strrchr(self, '/'); slash && slash != self) {
    *slash = 0;
    posixSetDataFolder(self);
  }
}

// GTK's scroll-bar sizes stand for the system metrics of the cell formula.
void scrollBarMetrics(int* vWidth, int* hHeight) {
  GtkWidget* v = gtk_scrollbar_new(GTK_ORIENTATION_VERTICAL, nullptr);
  GtkWidget* h = gtk_scrollbar_new(GTK_ORIENTATION_HORIZONTAL, nullptr);
  g_object_ref_sink(v);
  g_object_ref_sink(h);
  int minimum = 0;
  gtk_widget_get_preferred_width(v, &minimum, vWidth);
  gtk_widget_get_preferred_height(h, &minimum, hHeight);
  g_object_unref(v);
  g_object_unref(h);
  if (*vWidth < 2) *vWidth = 16;
  if (*hHeight < 4) *hHeight = 16;
}

}  // namespace

int main(int argc, char** argv) {
  // GTK takes its own options (--display...) out of argv first.
  const bool display = gtk_init_check(&argc, &argv);
  if (const int rc = ReadZeltoOptions(argc, argv); rc >= 0) return rc;
  if (!display) {
    std::fprintf(stderr, "zelto: cannot open the display (DISPLAY or WAYLAND_DISPLAY not set?)\n");
    return 1;
  }
  g_set_prgname("zelto");
  g_set_application_name(gszAppName);
  platMarkUiThread();
  posixSetUiWaitService(gtkServeRequests);
  gtkSetDialogRunner(RunZeltoDialog);
  // F10 is a command of its own here, not the key that opens the menu bar.
  g_object_set(gtk_settings_get_default(), "gtk-menu-bar-accel", "", nullptr);

  useOwnFolder();

  std::strcpy(GlfDISPLAYFont.lfFaceName, "Courier New");
  int vWidth = 0, hHeight = 0;
  scrollBarMetrics(&vWidth, &hHeight);
  GxChar = vWidth / 2;
  GyChar = hHeight;
  GlfDISPLAYFont.lfHeight = 3 - GyChar;   // negative: a character height in pixels

  LoadPreset();
  LoadOptions();

  // The loaded (or default) cell sizes the window before any font exists.
  SetDISPLAYPageSizes(33);

  gMain = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(gMain), gszAppName);
  // The installed icon; a copy run from its build folder has none.
  gtk_window_set_icon_name(GTK_WINDOW(gMain), gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), "zelto")
                                                  ? "zelto" : "utilities-terminal");
  GtkAccelGroup* keys = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(gMain), keys);

  GtkWidget* bar = gtk_menu_bar_new();
  addMenu(bar, keys, "File", kFileMenu);
  addMenu(bar, keys, "Stream", kStreamMenu);
  addMenu(bar, keys, "Up/DownLoad", kLoadMenu);
  addMenu(bar, keys, "Config", kConfigMenu);
  GtkWidget* info = gtk_menu_item_new_with_label("Info");   // a command on the bar itself
  g_signal_connect(info, "activate", G_CALLBACK(command), GINT_TO_POINTER(kCmdInfo));
  g_signal_connect(info, "button-press-event", G_CALLBACK(onInfoClick), bar);
  gtk_menu_shell_append(GTK_MENU_SHELL(bar), info);

  gView = gtk_drawing_area_new();
  gtk_widget_set_can_focus(gView, TRUE);
  gtk_widget_set_hexpand(gView, TRUE);
  gtk_widget_set_vexpand(gView, TRUE);
  gtk_widget_add_events(gView, GDK_KEY_PRESS_MASK | GDK_SCROLL_MASK | GDK_BUTTON_PRESS_MASK);
  gVBar = makeBar(GTK_ORIENTATION_VERTICAL, kBarVert);
  gHBar = makeBar(GTK_ORIENTATION_HORIZONTAL, kBarHorz);
  GtkWidget* grid = gtk_grid_new();
  gtk_grid_attach(GTK_GRID(grid), gView, 0, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), gVBar, 1, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), gHBar, 0, 1, 1, 1);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), grid, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(box), NewFindBar(gMain, gView), FALSE, FALSE, 0);
  // The status bar is made whether shown or not: the option can turn it on
  // at any time.
  gStatus = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(gStatus), 0);
  gtk_widget_set_margin_start(gStatus, 4);
  gtk_widget_set_name(gStatus, "statusbar");
  gtk_widget_set_no_show_all(gStatus, TRUE);
  gtk_box_pack_end(GTK_BOX(box), gStatus, FALSE, FALSE, 1);
  const int statusHeight = gfStatusBar ? statusBarHeight() : 0;
  gtk_container_add(GTK_CONTAINER(gMain), box);

  // The window's size from the cell: GTK's window is its client area, and
  // the menu bar stands for the caption and menu of the frame allowance.
  int menuHeight = 0, natural = 0;
  gtk_widget_show_all(bar);
  gtk_widget_get_preferred_height(bar, &menuHeight, &natural);
  gtk_window_set_default_size(GTK_WINDOW(gMain), GxSize + 30 + 2 * kGtkViewMargin,
                              natural + 20 + GyVisible + statusHeight + 2 * kGtkViewMargin);

  g_signal_connect(gView, "draw", G_CALLBACK(DrawDISPLAYView), nullptr);
  g_signal_connect(gView, "size-allocate", G_CALLBACK(onSize), nullptr);
  g_signal_connect(gView, "key-press-event", G_CALLBACK(onKey), nullptr);
  g_signal_connect(gView, "scroll-event", G_CALLBACK(onWheel), nullptr);
  ConnectViewMouse(gView, gMain);
  g_signal_connect(gMain, "focus-in-event", G_CALLBACK(onFocusIn), nullptr);
  g_signal_connect(gMain, "focus-out-event", G_CALLBACK(onFocusOut), nullptr);
  g_signal_connect(gMain, "delete-event", G_CALLBACK(onClose), nullptr);
  g_signal_connect(gMain, "destroy", G_CALLBACK(onDestroy), nullptr);

  gtkSetMainWidgets(gMain, gView, gVBar, gHBar);
  // The display set-up opens the connection; the main window is recorded
  // only after it, so boxes raised there have no owner.
  CreateDISPLAYInfo(gMain);
  ghDISPLAYWnd = gMain;

  if (gfStatusBar) {
    gtk_widget_show(gStatus);
    refreshStatusBar(nullptr);
    gStatusTimer = g_timeout_add(kStatusBarPeriodMs, refreshStatusBar, nullptr);
  }
  gtk_widget_show_all(gMain);
  gtk_widget_grab_focus(gView);
  gtk_main();
  return 0;
}
