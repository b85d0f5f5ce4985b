// The display view on GDI: window creation and teardown, the display font and its cell, and painting the grid.
#include "display/view_gdi_win32.h"

#include <cstddef>
#include <cstring>

#include "display/screen.h"
#include "display/view.h"
#include "link/connection.h"
#include "settings/globals.h"
#include "transfer/filesend.h"
#include "transfer/record.h"

static_assert(sizeof(DisplayFontDesc) == sizeof(LOGFONTA), "the display font is a LOGFONTA");
static_assert(offsetof(DisplayFontDesc, lfItalic) == offsetof(LOGFONTA, lfItalic));
static_assert(offsetof(DisplayFontDesc, lfPitchAndFamily) == offsetof(LOGFONTA, lfPitchAndFamily));
static_assert(offsetof(DisplayFontDesc, lfFaceName) == offsetof(LOGFONTA, lfFaceName));

HFONT GhDISPLAYFont = nullptr;

namespace {

HWND hw(WindowHandle w) { return static_cast<HWND>(w); }

void deleteFont() {
  if (GhDISPLAYFont) DeleteObject(GhDISPLAYFont);
  GhDISPLAYFont = nullptr;
}

// Every field but the height and the face name, which start-up and the
// preset file choose.
void completeFontDesc() {
  DisplayFontDesc& f = GlfDISPLAYFont;
  f.lfWidth = 0;
  f.lfEscapement = 0;
  f.lfOrientation = 0;
  f.lfWeight = 0;
  f.lfItalic = 0;
  f.lfUnderline = 0;
  f.lfStrikeOut = 0;
  f.lfCharSet = OEM_CHARSET;
  f.lfOutPrecision = 0;
  f.lfClipPrecision = 0;
  f.lfQuality = 0;
  f.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
}

// The rows a repaint draws, copied under the screen lock so that drawing,
// which can take a while, never holds the worker's writes back.
struct PaintCopy {
  PaintRange range;
  int32_t cellHeight;
  char cells[kScreenRows][kScreenCols];
};

void copyForPaint(const RECT& r, PaintCopy* copy) {
  ScopedLock hold(ScreenLock());
  copy->range = DISPLAYPaintRange(r.left, r.top, r.right, r.bottom);
  copy->cellHeight = GyChar;
  const PaintRange& p = copy->range;
  for (int32_t row = p.firstRow; row <= p.lastRow && p.count > 0; row++) {
    std::memcpy(copy->cells[row], gabScreen + row * kScreenCols + p.firstCol, static_cast<size_t>(p.count));
  }
}

}  // namespace

int32_t CreateDISPLAYInfo(WindowHandle hwnd) {
  InitDISPLAYView();
  deleteFont();
  GrgbFGColor = 0;
  completeFontDesc();
  InitDISPLAYGrid();
  ResetDISPLAYScreen(hwnd);
  // The file dialogs are prepared only for a link that opened.
  if (openConnection()) {
    SendFileInit();
    RecFileInit();
  }
  return 1;
}

int32_t DestroyDISPLAYInfo() {
  if (gfConnected) closeConnection();
  deleteFont();
  return 1;
}

int32_t ResetDISPLAYScreen(WindowHandle hwnd) {
  deleteFont();
  LOGFONTA lf;
  std::memcpy(&lf, &GlfDISPLAYFont, sizeof lf);
  GhDISPLAYFont = CreateFontIndirectA(&lf);

  TEXTMETRICA tm{};
  int measured = 0;
  if (HDC dc = GetDC(hw(hwnd))) {
    const HGDIOBJ old = GhDISPLAYFont ? SelectObject(dc, GhDISPLAYFont) : nullptr;
    measured = GetTextMetricsA(dc, &tm);
    if (old) SelectObject(dc, old);
    ReleaseDC(hw(hwnd), dc);
  }
  {
    // The worker lays out cells with GxChar and GyChar: change them between
    // its writes. A font that cannot be measured keeps the old cell, which
    // every division by the cell size relies on being above 0.
    ScopedLock hold(ScreenLock());
    if (measured && tm.tmAveCharWidth > 0 && tm.tmHeight + tm.tmExternalLeading > 0) {
      GxChar = tm.tmAveCharWidth;
      GyChar = tm.tmHeight + tm.tmExternalLeading;
    }
    GxSize = 81 * GxChar;
    GySize = 129 * GyChar;
    GyVisible = 34 * GyChar;
  }

  RECT r{};
  GetWindowRect(hw(hwnd), &r);
  SizeDISPLAY(hwnd, static_cast<uint16_t>(GyVisible), static_cast<uint16_t>(GxSize));
  // During window creation the main window is not recorded yet and keeps
  // the size start-up gave it.
  if (const WindowHandle main = ghDISPLAYWnd.load()) {
    MoveWindow(hw(main), r.left, r.top, GxSize, GyVisible, TRUE);
  }
  return 1;
}

int32_t PaintDISPLAY(WindowHandle hwnd) {
  static PaintCopy copy;   // the user-interface thread alone paints
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(hw(hwnd), &ps);
  copyForPaint(ps.rcPaint, &copy);
  const HGDIOBJ old = GhDISPLAYFont ? SelectObject(dc, GhDISPLAYFont) : nullptr;
  SetTextColor(dc, GrgbFGColor);
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  SetBkMode(dc, OPAQUE);
  const PaintRange& p = copy.range;
  for (int32_t row = p.firstRow; row <= p.lastRow && p.count > 0; row++) {
    TextOutA(dc, p.x, p.y0 + (row - p.firstRow) * copy.cellHeight, copy.cells[row], p.count);
  }
  if (old) SelectObject(dc, old);
  EndPaint(hw(hwnd), &ps);
  MoveDISPLAYCursor();
  return 1;
}
