// The display view on GTK: window creation and teardown, the display font (found through fontconfig, so "Courier New" gives a face of its metrics) and its cell, and drawing the cells with Pango glyphs in fixed cells, in their colours, bold and underlined.
#include "display/view_gtk.h"

#include <hb.h>
#include <pango/pangocairo.h>

#include <cstring>

#include "display/charset.h"
#include "display/frame.h"
#include "display/screen.h"
#include "display/view.h"
#include "platform/gtk/gtk_main.h"
#include "platform/window.h"
#include "settings/globals.h"

namespace {

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

// A colour as the preset keeps it (0x00BBGGRR) as 0xRRGGBB.
uint32_t rgbOf(uint32_t colorref) {
  return (colorref & 0xFF) << 16 | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

void setRgb(cairo_t* cr, uint32_t rgb) {
  cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
}

// The glyph of a cell's character: a byte by its drawn character, any
// other character by itself.
PangoGlyph glyphOf(uint32_t ch) {
  if (ch <= 0xFF) return gGlyph[ch];
  hb_codepoint_t g = 0;
  hb_font_t* hb = gFont ? pango_font_get_hb_font(gFont) : nullptr;
  if (hb && hb_font_get_nominal_glyph(hb, ch, &g)) return g;
  return PANGO_GET_UNKNOWN_GLYPH(ch);
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
    SetDISPLAYPageSizes(34);
  }
  if (gFont) makeGlyphTable();

  SizeDISPLAY(hwnd, static_cast<uint16_t>(GyVisible), static_cast<uint16_t>(GxSize));
  winInvalidateView(hwnd, 1);
  // During window creation the main window is not recorded yet and keeps
  // the size start-up gave it; after a font choice it takes the new one,
  // keeping its place on the screen.
  if (const WindowHandle main = ghDISPLAYWnd.load()) {
    gtk_window_resize(GTK_WINDOW(main), GxSize + 2 * kGtkViewMargin, GyVisible + 2 * kGtkViewMargin);
  }
  return 1;
}

int32_t PaintDISPLAY(WindowHandle /*hwnd*/) {
  static PaintCopy copy;   // the GTK thread alone paints
  cairo_t* cr = gPaintCr;
  if (!cr) return 1;
  GdkRectangle clip;
  if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return 1;
  // The window colour under everything, beyond the grid too.
  constexpr uint32_t kPaper = 0xFFFFFF;
  setRgb(cr, kPaper);
  cairo_paint(cr);
  DISPLAYPaintCopy(clip.x, clip.y, clip.x + clip.width, clip.y + clip.height, &copy);
  const PaintRange& p = copy.range;
  const uint32_t text = rgbOf(GrgbFGColor);
  PangoGlyphString* glyphs = pango_glyph_string_new();
  for (int32_t row = p.firstRow; row <= p.lastRow && p.count > 0; row++) {
    const int y = p.y0 + (row - p.firstRow) * copy.cellHeight;
    // Run by run of cells that look alike: the paper where it is not the
    // window's, the glyphs (twice, a pixel apart, for bold), the underline.
    for (int32_t col = 0; col < p.count;) {
      const int32_t n = DISPLAYLookRun(copy, row, col, text, kPaper);
      const CellLook look = DISPLAYCellLook(copy, row, col, text, kPaper);
      const int x = p.x + col * gCellWidth;
      if (look.bg != kPaper) {
        setRgb(cr, look.bg);
        cairo_rectangle(cr, x, y, n * gCellWidth, copy.cellHeight);
        cairo_fill(cr);
      }
      // Blanks at the end of the run draw nothing.
      int32_t shown = n;
      while (shown > 0 && (copy.chars[row][col + shown - 1] == ' ' || copy.chars[row][col + shown - 1] == 0)) shown--;
      setRgb(cr, look.fg);
      if (gFont && shown > 0) {
        pango_glyph_string_set_size(glyphs, shown);
        for (int32_t i = 0; i < shown; i++) {
          PangoGlyphInfo& g = glyphs->glyphs[i];
          g.glyph = glyphOf(copy.chars[row][col + i]);
          g.geometry.width = gCellWidth * PANGO_SCALE;
          g.geometry.x_offset = gGlyphShift;
          g.geometry.y_offset = 0;
          g.attr.is_cluster_start = 1;
          glyphs->log_clusters[i] = i;
        }
        for (int pass = 0; pass < (look.bold ? 2 : 1); pass++) {
          cairo_move_to(cr, x + pass, y + gBaseline);
          pango_cairo_show_glyph_string(cr, gFont, glyphs);
        }
      }
      if (look.underline) {
        cairo_rectangle(cr, x, y + (gBaseline + 1 < copy.cellHeight ? gBaseline + 1 : copy.cellHeight - 1),
                        n * gCellWidth, 1);
        cairo_fill(cr);
      }
      col += n;
    }
  }
  pango_glyph_string_free(glyphs);
  DISPLAYPlaceCaret();
  return 1;
}

gboolean DrawDISPLAYView(GtkWidget* view, cairo_t* cr, gpointer) {
  // The margin blank, and the text drawn from its inner corner and only
  // inside it, as the core's positions take the view to be.
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_translate(cr, kGtkViewMargin, kGtkViewMargin);
  cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(view) - 2 * kGtkViewMargin,
                  gtk_widget_get_allocated_height(view) - 2 * kGtkViewMargin);
  cairo_clip(cr);
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
