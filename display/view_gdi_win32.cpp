// The display view on GDI: window creation and teardown, the display font and its cell, painting the cells in their colours, bold and underlined, and the pacing of frames.
#include "display/view_gdi_win32.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "display/charset.h"
#include "display/frame.h"
#include "display/screen.h"
#include "display/view.h"
#include "platform/win32/deferred.h"
#include "settings/globals.h"

static_assert(sizeof(DisplayFontDesc) == sizeof(LOGFONTA), "the display font is a LOGFONTA");
static_assert(offsetof(DisplayFontDesc, lfItalic) == offsetof(LOGFONTA, lfItalic));
static_assert(offsetof(DisplayFontDesc, lfPitchAndFamily) == offsetof(LOGFONTA, lfPitchAndFamily));
static_assert(offsetof(DisplayFontDesc, lfFaceName) == offsetof(LOGFONTA, lfFaceName));
static_assert(kDisplayFontCharSet == OEM_CHARSET && kDisplayFontPitchAndFamily == (FIXED_PITCH | FF_MODERN));

HFONT GhDISPLAYFont = nullptr;

namespace {

HWND hw(WindowHandle w) { return static_cast<HWND>(w); }

// Frame pacing (display/frame.h), on the user-interface thread. A request
// that comes a frame's time after the last frame runs at once; otherwise,
// and while frames keep coming, a timer runs them a frame's time apart, a
// stream's frame time once they have come long enough. The timer stops at
// the first frame that finds nothing to do.
constexpr UINT_PTR kFrameTimer = 1;
LARGE_INTEGER gLastFrame{};
UINT gTimerPeriod = 0;   // 0: the timer is not running
int gFramesInARow = 0;

int64_t msSince(const LARGE_INTEGER& then) {
  static const int64_t freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return (now.QuadPart - then.QuadPart) * 1000 / freq;
}

void startTimer(HWND w, UINT ms) {
  if (gTimerPeriod == ms) return;
  winFrameTimerRunning(true);
  SetTimer(w, kFrameTimer, ms, nullptr);
  gTimerPeriod = ms;
}

int runFrame(HWND w) {
  QueryPerformanceCounter(&gLastFrame);
  return DISPLAYRunFrame(w);
}

// What TextOutA draws for each byte in the font the system gave: the code
// page of its character set (the OEM one, with its glyphs for control bytes,
// where an OEM font was found; an ANSI one where a substitute was taken).
// Bytes that are control codes in an ANSI code page keep their code page
// 437 glyph, as an OEM font draws them.
void learnDrawnChars(HDC dc) {
  const int charset = GetTextCharset(dc);
  UINT cp = GetOEMCP();
  CHARSETINFO ci{};
  if (charset != OEM_CHARSET &&
      TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<uintptr_t>(charset)), &ci, TCI_SRCCHARSET)) {
    cp = ci.ciACP;
  }
  // The worker reads the table too (VT100 emulation stores a character as
  // the byte drawn as it): change it between its writes.
  ScopedLock hold(ScreenLock());
  for (int b = 0x01; b < 0x100; b++) {
    const char byte = static_cast<char>(b);
    WCHAR w = 0;
    if (MultiByteToWideChar(cp, MB_USEGLYPHCHARS, &byte, 1, &w, 1) != 1) w = 0;
    const bool control = w < 0x20 || (w >= 0x7F && w < 0xA0);
    gDrawnChars[b] = control ? kOemChars[b] : w;
  }
}

// Colours between the cells' 0xRRGGBB and GDI's 0x00BBGGRR.
uint32_t rgbOf(COLORREF c) { return (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF); }
COLORREF colorrefOf(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// The display font's bold face, made when first drawn with.
HFONT gBoldFont = nullptr;
HFONT boldFont() {
  if (!gBoldFont && GhDISPLAYFont) {
    LOGFONTA lf;
    std::memcpy(&lf, &GlfDISPLAYFont, sizeof lf);
    lf.lfWeight = FW_BOLD;
    gBoldFont = CreateFontIndirectA(&lf);
  }
  return gBoldFont;
}

// Whether a run holds a character beyond the bytes, drawn by its own code.
bool wideRun(const PaintCopy& copy, int32_t row, int32_t col, int32_t n) {
  for (int32_t i = 0; i < n; i++)
    if (copy.chars[row][col + i] > 0xFF) return true;
  return false;
}

}  // namespace

void DeleteDISPLAYFont() {
  if (GhDISPLAYFont) DeleteObject(GhDISPLAYFont);
  GhDISPLAYFont = nullptr;
  if (gBoldFont) DeleteObject(gBoldFont);
  gBoldFont = nullptr;
}

int32_t ResetDISPLAYScreen(WindowHandle hwnd) {
  DeleteDISPLAYFont();
  LOGFONTA lf;
  std::memcpy(&lf, &GlfDISPLAYFont, sizeof lf);
  GhDISPLAYFont = CreateFontIndirectA(&lf);

  TEXTMETRICA tm{};
  int measured = 0;
  if (HDC dc = GetDC(hw(hwnd))) {
    const HGDIOBJ old = GhDISPLAYFont ? SelectObject(dc, GhDISPLAYFont) : nullptr;
    measured = GetTextMetricsA(dc, &tm);
    learnDrawnChars(dc);
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
    SetDISPLAYPageSizes(34);
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
  const RECT& u = ps.rcPaint;
  DISPLAYPaintCopy(u.left, u.top, u.right, u.bottom, &copy);
  const PaintRange& p = copy.range;
  // Beyond the grid the window shows its background, whatever was there
  // before the view moved.
  const HBRUSH bg = GetSysColorBrush(COLOR_WINDOW);
  if (p.gridRight < u.right) {
    const RECT right{p.gridRight > u.left ? p.gridRight : u.left, u.top, u.right, u.bottom};
    FillRect(dc, &right, bg);
  }
  if (p.gridBottom < u.bottom) {
    const RECT below{u.left, p.gridBottom > u.top ? p.gridBottom : u.top, u.right, u.bottom};
    FillRect(dc, &below, bg);
  }
  const HGDIOBJ old = GhDISPLAYFont ? SelectObject(dc, GhDISPLAYFont) : nullptr;
  SetBkMode(dc, OPAQUE);
  const uint32_t text = rgbOf(GrgbFGColor);
  const uint32_t paper = rgbOf(GetSysColor(COLOR_WINDOW));
  // Every cell exactly GxChar wide, whatever the font's bold face gives.
  static INT advance[kScreenCols];
  for (int i = 0; i < kScreenCols; i++) advance[i] = GxChar;
  for (int32_t row = p.firstRow; row <= p.lastRow && p.count > 0; row++) {
    const int y = p.y0 + (row - p.firstRow) * copy.cellHeight;
    // Run by run of cells that look alike: their colours, the bold face,
    // a line under them.
    for (int32_t col = 0; col < p.count;) {
      const int32_t n = DISPLAYLookRun(copy, row, col, text, paper);
      const CellLook look = DISPLAYCellLook(copy, row, col, text, paper);
      const int x = p.x + col * GxChar;
      SetTextColor(dc, colorrefOf(look.fg));
      SetBkColor(dc, colorrefOf(look.bg));
      const HGDIOBJ face = look.bold && boldFont() ? SelectObject(dc, boldFont()) : nullptr;
      const RECT cells{x, y, x + n * GxChar, y + copy.cellHeight};
      if (wideRun(copy, row, col, n)) {
        static WCHAR wide[kScreenCols];
        for (int32_t i = 0; i < n; i++) {
          const uint32_t ch = copy.chars[row][col + i];
          wide[i] = static_cast<WCHAR>(ch <= 0xFF ? gDrawnChars[ch] : ch <= 0xFFFF ? ch : '?');
        }
        ExtTextOutW(dc, x, y, ETO_OPAQUE, &cells, wide, static_cast<UINT>(n), advance);
      } else {
        ExtTextOutA(dc, x, y, ETO_OPAQUE, &cells, copy.cells[row] + col, static_cast<UINT>(n), advance);
      }
      if (face) SelectObject(dc, face);
      if (look.underline) {
        const HBRUSH line = CreateSolidBrush(colorrefOf(look.fg));
        const RECT under{x, y + copy.cellHeight - 2, x + n * GxChar, y + copy.cellHeight - 1};
        FillRect(dc, &under, line);
        DeleteObject(line);
      }
      col += n;
    }
  }
  if (old) SelectObject(dc, old);
  EndPaint(hw(hwnd), &ps);
  DISPLAYPlaceCaret();
  return 1;
}

BOOL DISPLAYFrameMessage(HWND hwnd, UINT msg, WPARAM wParam) {
  if (msg == kMsgFrame) {
    if (gTimerPeriod) return TRUE;   // the timer runs it
    const int64_t since = msSince(gLastFrame);
    if (since >= kFrameIntervalMs) {
      runFrame(hwnd);
      startTimer(hwnd, kFrameIntervalMs);
    } else {
      startTimer(hwnd, static_cast<UINT>(kFrameIntervalMs - since));
    }
    return TRUE;
  }
  if (msg == WM_TIMER && wParam == kFrameTimer) {
    if (runFrame(hwnd)) {
      gFramesInARow++;
      startTimer(hwnd, gFramesInARow >= kStreamFrames ? kStreamFrameIntervalMs : kFrameIntervalMs);
      return TRUE;
    }
    KillTimer(hwnd, kFrameTimer);
    gTimerPeriod = 0;
    gFramesInARow = 0;
    winFrameTimerRunning(false);
    // A change recorded while the timer still ran posted no request.
    if (DISPLAYFramePending()) startTimer(hwnd, kFrameIntervalMs);
    return TRUE;
  }
  return FALSE;
}
