// The display view on GTK: window creation and teardown, the display font (found through fontconfig, so "Courier New" gives a face of its metrics) and its cell, and drawing the grid with Pango glyphs in fixed cells.
#include "display/view_gtk.h"

#include <hb.h>
#include <pango/pangocairo.h>

#include <cstring>

#include "display/frame.h"
#include "display/screen.h"
#include "display/view.h"
#include "platform/gtk/gtk_main.h"
#include "platform/window.h"
#include "settings/globals.h"

namespace {

// The characters of the system's OEM code page (437) for each byte: the
// glyphs a DOS screen shows, control bytes included.
const uint16_t kOemChars[256] = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640,
    0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8, 0x2191, 0x2193,
    0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC, 0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026,
    0x0027, 0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033,
    0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x0040,
    0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047, 0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D,
    0x004E, 0x004F, 0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057, 0x0058, 0x0059, 0x005A,
    0x005B, 0x005C, 0x005D, 0x005E, 0x005F, 0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F, 0x0070, 0x0071, 0x0072, 0x0073, 0x0074,
    0x0075, 0x0076, 0x0077, 0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x2302, 0x00C7, 0x00FC,
    0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4,
    0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF,
    0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561,
    0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C,
    0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584,
    0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398,
    0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7,
    0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// The display font and what drawing needs of it: one glyph per byte, the
// baseline and the offset that centres a glyph in its cell.
PangoFont* gFont = nullptr;
PangoGlyph gGlyph[256];
int gBaseline = 0;
int gGlyphShift = 0;   // Pango units
int gCellWidth = 8;    // the cell the glyph table was made for

// The window being drawn: set by the draw handler around PaintDISPLAY.
cairo_t* gPaintCr = nullptr;

// The font description as Pango takes it. A negative height is the
// character height in pixels (the em); a positive one the cell height, of
// which the em is about seven eighths.
PangoFontDescription* describeFont() {
  const DisplayFontDesc& f = GlfDISPLAYFont;
  char face[sizeof f.lfFaceName + 1];
  std::memcpy(face, f.lfFaceName, sizeof f.lfFaceName);
  face[sizeof f.lfFaceName] = 0;
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, face[0] ? face : "monospace");
  int px = f.lfHeight < 0 ? -f.lfHeight : f.lfHeight * 7 / 8;
  if (px < 4) px = 4;
  pango_font_description_set_absolute_size(d, px * PANGO_SCALE);
  if (f.lfWeight > 0) pango_font_description_set_weight(d, static_cast<PangoWeight>(f.lfWeight));
  if (f.lfItalic) pango_font_description_set_style(d, PANGO_STYLE_ITALIC);
  return d;
}

void makeGlyphTable() {
  hb_font_t* hb = pango_font_get_hb_font(gFont);
  for (int b = 0; b < 256; b++) {
    hb_codepoint_t g = 0;
    if (hb && hb_font_get_nominal_glyph(hb, kOemChars[b], &g)) {
      gGlyph[b] = g;
    } else {
      gGlyph[b] = PANGO_GET_UNKNOWN_GLYPH(kOemChars[b]);
    }
  }
  PangoRectangle logical{};
  pango_font_get_glyph_extents(gFont, gGlyph['M'], nullptr, &logical);
  gGlyphShift = (gCellWidth * PANGO_SCALE - logical.width) / 2;
}

void setColour(cairo_t* cr, uint32_t rgb) {
  cairo_set_source_rgb(cr, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, ((rgb >> 16) & 0xFF) / 255.0);
}

}  // namespace

void DeleteDISPLAYFont() {
  if (gFont) g_object_unref(gFont);
  gFont = nullptr;
}

int32_t ResetDISPLAYScreen(WindowHandle hwnd) {
  DeleteDISPLAYFont();
  PangoFontDescription* desc = describeFont();
  gFont = pango_context_load_font(gtk_widget_get_pango_context(GTK_WIDGET(hwnd)), desc);
  pango_font_description_free(desc);
  int width = 0, height = 0;
  if (gFont) {
    PangoFontMetrics* m = pango_font_get_metrics(gFont, nullptr);
    width = PANGO_PIXELS(pango_font_metrics_get_approximate_char_width(m));
    gBaseline = PANGO_PIXELS(pango_font_metrics_get_ascent(m));
    height = gBaseline + PANGO_PIXELS(pango_font_metrics_get_descent(m));
    pango_font_metrics_unref(m);
  }
  {
    // The worker lays out cells with GxChar and GyChar: change them between
    // its writes. A font that cannot be measured keeps the old cell.
    ScopedLock hold(ScreenLock());
    if (width > 0 && height > 0) {
      GxChar = width;
      GyChar = height;
    }
    gCellWidth = GxChar;
    GxSize = 81 * GxChar;
    GySize = 129 * GyChar;
    GyVisible = 34 * GyChar;
  }
  if (gFont) makeGlyphTable();

  SizeDISPLAY(hwnd, static_cast<uint16_t>(GyVisible), static_cast<uint16_t>(GxSize));
  winInvalidateView(hwnd, 1);
  // During window creation the main window is not recorded yet and keeps
  // the size start-up gave it; after a font choice it takes the new one,
  // keeping its place on the screen.
  if (const WindowHandle main = ghDISPLAYWnd.load()) gtk_window_resize(GTK_WINDOW(main), GxSize, GyVisible);
  return 1;
}

int32_t PaintDISPLAY(WindowHandle /*hwnd*/) {
  static PaintCopy copy;   // the GTK thread alone paints
  cairo_t* cr = gPaintCr;
  if (!cr) return 1;
  GdkRectangle clip;
  if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return 1;
  // The window colour under everything, beyond the grid too.
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  DISPLAYPaintCopy(clip.x, clip.y, clip.x + clip.width, clip.y + clip.height, &copy);
  const PaintRange& p = copy.range;
  if (gFont && p.count > 0) {
    setColour(cr, GrgbFGColor);
    PangoGlyphString* glyphs = pango_glyph_string_new();
    for (int32_t row = p.firstRow; row <= p.lastRow; row++) {
      const auto* cells = reinterpret_cast<const uint8_t*>(copy.cells[row]);
      // Blanks at the end of the run draw nothing.
      int32_t n = p.count;
      while (n > 0 && (cells[n - 1] == ' ' || cells[n - 1] == 0)) n--;
      if (n == 0) continue;
      pango_glyph_string_set_size(glyphs, n);
      for (int32_t i = 0; i < n; i++) {
        PangoGlyphInfo& g = glyphs->glyphs[i];
        g.glyph = gGlyph[cells[i]];
        g.geometry.width = gCellWidth * PANGO_SCALE;
        g.geometry.x_offset = gGlyphShift;
        g.geometry.y_offset = 0;
        g.attr.is_cluster_start = 1;
        glyphs->log_clusters[i] = i;
      }
      cairo_move_to(cr, p.x, p.y0 + (row - p.firstRow) * copy.cellHeight + gBaseline);
      pango_cairo_show_glyph_string(cr, gFont, glyphs);
    }
    pango_glyph_string_free(glyphs);
  }
  DISPLAYPlaceCaret();
  return 1;
}

gboolean DrawDISPLAYView(GtkWidget* /*view*/, cairo_t* cr, gpointer) {
  gPaintCr = cr;
  PaintDISPLAY(ghDISPLAYWnd.load());
  gPaintCr = nullptr;
  // The caret: the cell under it drawn inverted, as a solid system caret is.
  const GtkCaretState c = gtkCaret();
  if (c.shown) {
    cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, c.x, c.y, c.width, c.height);
    cairo_fill(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  }
  return TRUE;
}
