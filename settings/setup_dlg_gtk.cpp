// The Setup dialog (101) on GTK: every control of the dialog, filled from and stored through the portable setup rules, with GTK's font chooser behind "&Font".
#include <gtk/gtk.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/frame_gtk.h"
#include "display/view.h"
#include "platform/posix/paths.h"
#include "settings/globals.h"
#include "settings/setup.h"

namespace {

// The string table of the lists: the delay labels (601-608, one-digit
// values begin with a blank), the port prefix (701) and the rates (702-707).
const char* loadString(int id) {
  static const char* const kDelay[] = {" 0", " 1", " 2", " 5", "10", "20", "50", "100"};
  static const char* const kBaud[] = {"9600", "19.2k", "38.4k", "57.6k", "115.2k", "230.4k"};
  if (id >= kDelayLabels && id < kDelayLabels + kDelayEntries) return kDelay[id - kDelayLabels];
  if (id == kComLabel) return "COM";
  if (id >= kBaudLabels && id < kBaudLabels + kBaudEntries) return kBaud[id - kBaudLabels];
  return "";
}

struct SetupDialog {
  GtkWidget* dialog;
  GtkWidget* delay;      // 501
  GtkWidget* delim;      // 502
  GtkWidget* skip;       // 503
  GtkWidget* port;       // 504
  GtkWidget* baud;       // 505
  GtkWidget* cts;        // 506
  GtkWidget* echo;       // 507
  GtkWidget* hexEnter;   // 508
  GtkWidget* hexPrint;   // 509
  GtkWidget* ip;         // 801
  GtkWidget* rxPort;     // 802
  GtkWidget* txPort;     // 803
  GtkWidget* serial;     // 804
  GtkWidget* udp;        // 805
};

// A list of string resources, each entry carrying table[i]; the entry whose
// value is current is selected (the last if several are, none if none is).
GtkWidget* FillComboBox(int firstString, const int32_t* table, int count, int32_t current) {
  GtkListStore* store = gtk_list_store_new(2, G_TYPE_STRING, G_TYPE_INT);
  for (int i = 0; i < count; i++) {
    GtkTreeIter it;
    gtk_list_store_append(store, &it);
    gtk_list_store_set(store, &it, 0, loadString(firstString + i), 1, table[i], -1);
  }
  GtkWidget* combo = gtk_combo_box_new_with_model(GTK_TREE_MODEL(store));
  g_object_unref(store);
  GtkCellRenderer* cell = gtk_cell_renderer_text_new();
  gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(combo), cell, TRUE);
  gtk_cell_layout_set_attributes(GTK_CELL_LAYOUT(combo), cell, "text", 0, nullptr);
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), SetupFindListEntry(table, count, current));
  return combo;
}

void readList(GtkWidget* combo, int32_t* sel, int32_t* value) {
  *sel = gtk_combo_box_get_active(GTK_COMBO_BOX(combo));
  *value = -1;
  GtkTreeIter it;
  if (*sel >= 0 && gtk_combo_box_get_active_iter(GTK_COMBO_BOX(combo), &it)) {
    gint v = -1;
    gtk_tree_model_get(gtk_combo_box_get_model(GTK_COMBO_BOX(combo)), &it, 1, &v, -1);
    *value = v;
  }
}

GtkWidget* label(const char* text, float xalign) {
  GtkWidget* l = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(l), xalign);
  return l;
}

GtkWidget* entry(const char* text, int chars, int maxChars) {
  GtkWidget* e = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(e), text);
  gtk_entry_set_width_chars(GTK_ENTRY(e), chars);
  gtk_entry_set_max_length(GTK_ENTRY(e), maxChars);
  gtk_entry_set_activates_default(GTK_ENTRY(e), TRUE);
  return e;
}

GtkWidget* check(const char* text, int on) {
  GtkWidget* c = text ? gtk_check_button_new_with_label(text) : gtk_check_button_new();
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c), on ? TRUE : FALSE);
  return c;
}

int32_t checked(GtkWidget* w) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w)) ? 1 : 0; }

// A control's text into a fixed field of the dialog record (at most size-1
// bytes; the field is always terminated).
void readText(GtkWidget* e, char* field, size_t size) {
  std::snprintf(field, size, "%s", gtk_entry_get_text(GTK_ENTRY(e)));
}

// The "&Font" button: GTK's font chooser, fixed-pitch faces only, started
// from the display font. A choice takes effect at once, even if the dialog
// is then cancelled.
void SelectDISPLAYFont(GtkButton*, gpointer data) {
  GtkWidget* parent = static_cast<GtkWidget*>(data);
  GtkWidget* chooser = gtk_font_chooser_dialog_new("Font", GTK_WINDOW(parent));
  gtk_font_chooser_set_filter_func(
      GTK_FONT_CHOOSER(chooser),
      [](const PangoFontFamily* family, const PangoFontFace*, gpointer) -> gboolean {
        return pango_font_family_is_monospace(const_cast<PangoFontFamily*>(family));
      },
      nullptr, nullptr);
  char start[80];
  std::snprintf(start, sizeof start, "%.32s %dpx", GlfDISPLAYFont.lfFaceName,
                GlfDISPLAYFont.lfHeight < 0 ? -GlfDISPLAYFont.lfHeight : GlfDISPLAYFont.lfHeight);
  gtk_font_chooser_set_font(GTK_FONT_CHOOSER(chooser), start);
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_OK) {
    if (PangoFontDescription* d = gtk_font_chooser_get_font_desc(GTK_FONT_CHOOSER(chooser))) {
      DisplayFontDesc& f = GlfDISPLAYFont;
      if (const char* family = pango_font_description_get_family(d)) {
        std::memset(f.lfFaceName, 0, sizeof f.lfFaceName);
        std::snprintf(f.lfFaceName, sizeof f.lfFaceName, "%s", family);
      }
      // The chooser speaks points (or pixels, for an absolute size); the
      // font height is the character height in pixels, negative.
      double px = static_cast<double>(pango_font_description_get_size(d)) / PANGO_SCALE;
      if (!pango_font_description_get_size_is_absolute(d)) px *= gdk_screen_get_resolution(gdk_screen_get_default()) / 72.0;
      if (px < 1) px = 12;
      f.lfHeight = -static_cast<int32_t>(std::lround(px));
      f.lfWeight = pango_font_description_get_weight(d);
      f.lfItalic = pango_font_description_get_style(d) != PANGO_STYLE_NORMAL;
      pango_font_description_free(d);
      ResetDISPLAYScreen(ghDISPLAYWnd.load());
    }
  }
  gtk_widget_destroy(chooser);
}

// Ok: every control into its setting, then the link reopened if a setting
// of its kind changed.
void SettingsDlgTerm(const SetupDialog& s) {
  SetupControls c;
  std::memset(&c, 0, sizeof c);
  c.udp = checked(s.udp);
  c.cts = checked(s.cts);
  readText(s.delim, c.delimText, sizeof c.delimText);
  int32_t portValue = 0;   // the port list carries no item values
  readList(s.port, &c.portSel, &portValue);
  readList(s.baud, &c.baudSel, &c.baudValue);
  readList(s.delay, &c.delaySel, &c.delayValue);
  c.skipComment = checked(s.skip);
  readText(s.ip, c.ipText, sizeof c.ipText);
  readText(s.rxPort, c.rxPortText, sizeof c.rxPortText);
  readText(s.txPort, c.txPortText, sizeof c.txPortText);
  c.localEcho = checked(s.echo);
  c.hexPrint = checked(s.hexPrint);
  c.hexEnter = checked(s.hexEnter);
  const int reopen = SetupStoreControls(&c);
  gtk_entry_set_text(GTK_ENTRY(s.delim), c.delimText);
  SetupReopenLink(reopen);
}

}  // namespace

int RunSetupDialog(WindowHandle owner) {
  SetupControls c;
  SetupControlsFromSettings(&c);
  SetupDialog s{};
  s.dialog = NewZeltoDialog("Setup", owner);

  // "Terminal:": the send settings, then the serial and the UDP link.
  GtkWidget* term = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(term), 4);
  gtk_grid_set_column_spacing(GTK_GRID(term), 6);
  gtk_container_set_border_width(GTK_CONTAINER(term), 6);
  int row = 0;
  gtk_grid_attach(GTK_GRID(term), label("File Send Delay (ms/Byte):", 1), 0, row, 2, 1);
  s.delay = FillComboBox(kDelayLabels, DelayTable, kDelayEntries, gPackDelay);
  gtk_grid_attach(GTK_GRID(term), s.delay, 2, row++, 1, 1);
  gtk_grid_attach(GTK_GRID(term), label("Send Line Delimiter (hex):", 1), 0, row, 2, 1);
  s.delim = entry(c.delimText, 3, 7);
  gtk_grid_attach(GTK_GRID(term), s.delim, 2, row++, 1, 1);
  s.skip = check("Skip /*...*/ Comments", c.skipComment);
  gtk_grid_attach(GTK_GRID(term), s.skip, 0, row++, 3, 1);

  s.serial = gtk_radio_button_new_with_label(nullptr, "RS-232 (8N1)");
  gtk_grid_attach(GTK_GRID(term), s.serial, 0, row++, 3, 1);
  gtk_grid_attach(GTK_GRID(term), label("Port:", 1), 0, row, 2, 1);
  // Each COM entry shows the device it opens on this machine.
  GtkComboBoxText* ports = GTK_COMBO_BOX_TEXT(gtk_combo_box_text_new());
  for (int n = 1; n <= kPortEntries; n++) {
    char device[256] = "";
    posixComDevicePath(n, device, sizeof device);
    char text[300];
    std::snprintf(text, sizeof text, "%s%d  %s", loadString(kComLabel), n, device);
    gtk_combo_box_text_append_text(ports, text);
  }
  s.port = GTK_WIDGET(ports);
  gtk_combo_box_set_active(GTK_COMBO_BOX(s.port), c.portSel);
  gtk_grid_attach(GTK_GRID(term), s.port, 2, row++, 1, 1);
  gtk_grid_attach(GTK_GRID(term), label("Baud Rate:", 1), 0, row, 2, 1);
  s.baud = FillComboBox(kBaudLabels, BaudTable, kBaudEntries, static_cast<int32_t>(gdwBaudRate));
  gtk_grid_attach(GTK_GRID(term), s.baud, 2, row++, 1, 1);
  gtk_grid_attach(GTK_GRID(term), label("CTS Handshake:", 1), 0, row, 2, 1);
  s.cts = check(nullptr, c.cts);
  gtk_grid_attach(GTK_GRID(term), s.cts, 2, row++, 1, 1);

  s.udp = gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(s.serial), "UDP");
  gtk_grid_attach(GTK_GRID(term), s.udp, 0, row, 1, 1);
  gtk_grid_attach(GTK_GRID(term), label("IP:", 1), 1, row, 1, 1);
  s.ip = entry(c.ipText, 15, 31);
  gtk_grid_attach(GTK_GRID(term), s.ip, 2, row++, 1, 1);
  gtk_grid_attach(GTK_GRID(term), label("RX-Port:", 1), 1, row, 1, 1);
  s.rxPort = entry(c.rxPortText, 6, 15);
  gtk_grid_attach(GTK_GRID(term), s.rxPort, 2, row++, 1, 1);
  gtk_grid_attach(GTK_GRID(term), label("TX-Port:", 1), 1, row, 1, 1);
  s.txPort = entry(c.txPortText, 6, 15);
  gtk_grid_attach(GTK_GRID(term), s.txPort, 2, row++, 1, 1);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c.udp ? s.udp : s.serial), TRUE);
  GtkWidget* termFrame = gtk_frame_new("Terminal:");
  gtk_container_add(GTK_CONTAINER(termFrame), term);

  // "Display Options:" and the font.
  GtkWidget* opts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_container_set_border_width(GTK_CONTAINER(opts), 6);
  s.echo = check("Local Echo", c.localEcho);
  s.hexEnter = check("HEXenter", c.hexEnter);
  s.hexPrint = check("HEXprint", c.hexPrint);
  gtk_box_pack_start(GTK_BOX(opts), s.echo, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(opts), s.hexEnter, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(opts), s.hexPrint, FALSE, FALSE, 0);
  GtkWidget* optsFrame = gtk_frame_new("Display Options:");
  gtk_container_add(GTK_CONTAINER(optsFrame), opts);

  GtkWidget* right = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_box_pack_start(GTK_BOX(right), optsFrame, FALSE, FALSE, 0);
  GtkWidget* font = gtk_button_new_with_mnemonic("_Font");
  g_signal_connect(font, "clicked", G_CALLBACK(SelectDISPLAYFont), s.dialog);
  gtk_widget_set_margin_start(font, 12);
  gtk_widget_set_margin_end(font, 12);
  gtk_box_pack_start(GTK_BOX(right), font, FALSE, FALSE, 8);

  GtkWidget* body = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(body), 6);
  gtk_box_pack_start(GTK_BOX(body), termFrame, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(body), right, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(s.dialog))), body, TRUE, TRUE, 0);

  AddOkCancel(s.dialog);
  gtk_widget_show_all(s.dialog);
  // The first tab stop has the focus, as when the dialog opens on Windows.
  gtk_widget_grab_focus(s.delay);
  // OK stores, Cancel and Esc leave everything (but a chosen font) as it was.
  if (gtk_dialog_run(GTK_DIALOG(s.dialog)) == GTK_RESPONSE_OK) SettingsDlgTerm(s);
  gtk_widget_destroy(s.dialog);
  return 1;
}
