// The display view's portable half: scrolling, sizing, caret and paint range, recorded for the next frame.
#include "display/view.h"

#include <cstring>

#include "display/frame.h"
#include "display/screen.h"
#include "display/selection.h"
#include "platform/window.h"
#include "settings/globals.h"

int32_t GxSize = 0;
int32_t GySize = 0;
int32_t GyVisible = 0;
int32_t GxScroll = 0;
int32_t GyScroll = 0;
int32_t GxOffset = 0;
int32_t GyOffset = 0;
uint16_t GwCursorState = 0;

namespace {

// Moves an offset by d within 0..max and records the bar's new position;
// the next frame moves the window content the other way.
void scrollBy(WindowHandle hwnd, int bar, int32_t d, int32_t& offset, int32_t max) {
  if (offset + d > max) d = max - offset;
  if (offset + d < 0) d = -offset;
  offset += d;
  frameWindow(hwnd);
  frameScrollPos(bar, offset);
  frameViewMoved();
}

}  // namespace

int32_t ScrollDISPLAYVert(WindowHandle hwnd, int code, int pos) {
  ScopedLock hold(ScreenLock());
  int32_t d;
  switch (code) {
    case kSbLineUp: d = -GyChar; break;
    case kSbLineDown: d = GyChar; break;
    case kSbPageUp: d = -GySize; break;
    case kSbPageDown: d = GySize; break;
    case kSbThumbPosition: d = pos - GyOffset; break;
    case kSbTop: d = -GyOffset; break;
    case kSbBottom: d = GyScroll - GyOffset; break;
    default: return 0;   // thumb tracking and the end of scrolling move nothing
  }
  scrollBy(hwnd, kBarVert, d, GyOffset, GyScroll);
  return 1;
}

int32_t ScrollDISPLAYHorz(WindowHandle hwnd, int code, int pos) {
  ScopedLock hold(ScreenLock());
  int32_t d;
  switch (code) {
    case kSbLineUp: d = -GxChar; break;
    case kSbLineDown: d = GxChar; break;
    case kSbPageUp: d = -GxSize; break;
    case kSbPageDown: d = GxSize; break;
    case kSbThumbPosition: d = pos - GxOffset; break;
    case kSbTop: d = -GxOffset; break;
    case kSbBottom: d = GxScroll - GxOffset; break;
    default: return 0;
  }
  scrollBy(hwnd, kBarHorz, d, GxOffset, GxScroll);
  return 1;
}

int32_t ScrollDISPLAYWheel(WindowHandle hwnd, int notches) {
  // Line by line, so that a view pulled beyond the range comes back as the
  // bar's own line requests bring it; only recording, so the frame still
  // moves the window once.
  ScopedLock hold(ScreenLock());
  const int code = notches > 0 ? kSbLineUp : kSbLineDown;
  const int lines = (notches > 0 ? notches : -notches) * kWheelRows;
  for (int i = 0; i < lines; i++) ScrollDISPLAYVert(hwnd, code, 0);
  return 1;
}

int32_t SizeDISPLAY(WindowHandle hwnd, uint16_t height, uint16_t width) {
  ScopedLock hold(ScreenLock());
  frameWindow(hwnd);
  GyVisible = height;
  GyScroll = kScreenRows * GyChar - GyVisible;
  if (GyScroll < 0) GyScroll = 0;
  if (GyOffset > GyScroll) GyOffset = GyScroll;
  frameScrollPos(kBarVert, GyOffset);
  frameScrollRange(kBarVert, GyScroll);

  GxSize = width;
  GxScroll = kScreenCols * GxChar - GxSize;
  if (GxScroll < 0) GxScroll = 0;
  if (GxOffset > GxScroll) GxOffset = GxScroll;
  frameScrollPos(kBarHorz, GxOffset);
  frameScrollRange(kBarHorz, GxScroll);

  frameDirtyAll(1);
  return 1;
}

int32_t SetDISPLAYFocus(WindowHandle hwnd) {
  ScopedLock hold(ScreenLock());
  frameWindow(hwnd);
  if (gfConnected && GwCursorState != 1) {
    winCreateCaret(hwnd, GxChar, GyChar);
    winShowCaret(hwnd);
    GwCursorState = 1;
  }
  DISPLAYPlaceCaret();
  return 1;
}

int32_t KillDISPLAYFocus(WindowHandle hwnd) {
  ScopedLock hold(ScreenLock());
  if (gfConnected && GwCursorState != 0) {
    winHideCaret(hwnd);
    winDestroyCaret();
    GwCursorState = 0;
  }
  return 1;
}

int32_t MoveDISPLAYCursor() {
  ScopedLock hold(ScreenLock());
  frameCaret();
  return 1;
}

namespace {
PaintRange rangeIn(const ShownView& v, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  PaintRange r{};
  r.firstRow = (v.yOffset + top) / GyChar;
  if (r.firstRow > kScreenRows - 1) r.firstRow = kScreenRows - 1;
  if (r.firstRow < 0) r.firstRow = 0;
  r.lastRow = (v.yOffset + bottom - 1) / GyChar;
  if (r.lastRow > kScreenRows - 1) r.lastRow = kScreenRows - 1;
  r.firstCol = (v.xOffset + left) / GxChar;
  if (r.firstCol > kScreenCols - 1) r.firstCol = kScreenCols - 1;
  if (r.firstCol < 0) r.firstCol = 0;
  int32_t lastCol = (v.xOffset + right - 1) / GxChar;
  if (lastCol > kScreenCols - 1) lastCol = kScreenCols - 1;
  r.count = lastCol - r.firstCol + 1;
  if (r.count < 0) r.count = 0;
  r.x = r.firstCol * GxChar - v.xOffset;
  r.y0 = r.firstRow * GyChar - v.yOffset;
  r.gridRight = kScreenCols * GxChar - v.xOffset;
  r.gridBottom = kScreenRows * GyChar - v.yOffset;
  return r;
}
}  // namespace

PaintRange DISPLAYPaintRange(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  ScopedLock hold(ScreenLock());
  return rangeIn(frameShownView(), left, top, right, bottom);
}

void DISPLAYPaintCopy(int32_t left, int32_t top, int32_t right, int32_t bottom, PaintCopy* copy) {
  ScopedLock hold(ScreenLock());
  // The window shows the grid as it stood at the last frame: a line that
  // has since moved up with a grid scroll is drawn where the window still
  // shows it, and the next frame moves it along with the rest.
  ShownView v = frameShownView();
  copy->range = rangeIn(v, left, top, right, bottom);
  // In a flood (in hex display three cells a byte) the grid can scroll by
  // more rows within one paint than the view is from the grid's top: the
  // lines of the last frame have left the grid, and drawn as they stood the
  // view would come out blank. The grid has then scrolled by a view or
  // more, and the next frame repaints the whole view anyway: this paint
  // draws the grid as it is now.
  const bool scrolledAView = GyVisible > 0 && static_cast<int64_t>(v.rowShift) * GyChar >= GyVisible;
  if (copy->range.firstRow < v.rowShift && scrolledAView && frameWholeViewDue()) {
    v = ShownView{GxOffset, GyOffset, 0};
    copy->range = rangeIn(v, left, top, right, bottom);
  }
  copy->cellHeight = GyChar;
  const int32_t shift = v.rowShift;
  const PaintRange& p = copy->range;
  for (int32_t row = p.firstRow; row <= p.lastRow && p.count > 0; row++) {
    const int32_t from = row - shift;
    copy->selCount[row] = 0;
    if (from < 0) {
      std::memset(copy->cells[row], ' ', static_cast<size_t>(p.count));
      continue;
    }
    std::memcpy(copy->cells[row], gabScreen + from * kScreenCols + p.firstCol, static_cast<size_t>(p.count));
    int first = 0, last = 0;
    if (!selectionRowSpan(from, &first, &last)) continue;
    if (first < p.firstCol) first = p.firstCol;
    if (last > p.firstCol + p.count - 1) last = p.firstCol + p.count - 1;
    copy->selFirst[row] = first - p.firstCol;
    copy->selCount[row] = last >= first ? last - first + 1 : 0;
  }
}

void DISPLAYCellAt(int32_t x, int32_t y, int32_t* row, int32_t* col) {
  ScopedLock hold(ScreenLock());
  const ShownView v = frameShownView();
  const int32_t px = v.xOffset + x, py = v.yOffset + y;
  int32_t c = px < 0 ? 0 : px / GxChar;
  if (c > kScreenCols - 1) c = kScreenCols - 1;
  // Rows above the grid (scrolled out since the window was drawn) give -1.
  int32_t r = (py < 0 ? 0 : py / GyChar) - v.rowShift;
  if (r > kScreenRows - 1) r = kScreenRows - 1;
  *row = r < 0 ? -1 : r;
  *col = c;
}

void DISPLAYSelectTo(WindowHandle hwnd, int32_t x, int32_t y) {
  ScopedLock hold(ScreenLock());
  if (y < 0) ScrollDISPLAYVert(hwnd, kSbLineUp, 0);
  if (y >= GyVisible) ScrollDISPLAYVert(hwnd, kSbLineDown, 0);
  if (x < 0) ScrollDISPLAYHorz(hwnd, kSbLineUp, 0);
  if (x >= GxSize) ScrollDISPLAYHorz(hwnd, kSbLineDown, 0);
  int32_t row = 0, col = 0;
  DISPLAYCellAt(x, y, &row, &col);
  SelectionDrag(row, col);
}

void InitDISPLAYView() {
  ScopedLock hold(ScreenLock());
  GwCursorState = 0;
  GxScroll = 0;
  GyScroll = 0;
  GxOffset = 0;
  GyOffset = 0;
  GnColumn = 0;
  GnRow = 0;
  frameReset();
}

void CompleteDISPLAYFontDesc() {
  DisplayFontDesc& f = GlfDISPLAYFont;
  f.lfWidth = 0;
  f.lfEscapement = 0;
  f.lfOrientation = 0;
  f.lfWeight = 0;
  f.lfItalic = 0;
  f.lfUnderline = 0;
  f.lfStrikeOut = 0;
  f.lfCharSet = kDisplayFontCharSet;
  f.lfOutPrecision = 0;
  f.lfClipPrecision = 0;
  f.lfQuality = 0;
  f.lfPitchAndFamily = kDisplayFontPitchAndFamily;
}
