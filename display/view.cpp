// The display view's portable half: scrolling, sizing, caret and paint range, recorded for the next frame.
#include "display/view.h"

#include <cstring>

#include "display/frame.h"
#include "display/screen.h"
#include "display/screen_model.h"
#include "display/selection.h"
#include "display/vt_screen.h"
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

const ScreenModel& M = gScreenModel;

// Rows of history above the grid's top at the view's top (see view.h).
int32_t gBack = 0;

int32_t clamp32(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < 0 ? 0 : static_cast<int32_t>(v); }

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

// The view's top in pixels of history and grid together, and the largest
// it can be.
int64_t viewTop() { return (M.historyRows() - gBack) * GyChar + GyOffset; }
int64_t viewTopMax() { return M.historyRows() * GyChar + GyScroll; }

// Puts the view's top at top (within 0..viewTopMax()): over the grid as its
// offset when it lies there, else a whole row into the history.
void moveViewTo(WindowHandle hwnd, int64_t top) {
  const int64_t max = viewTopMax();
  if (top > max) top = max;
  if (top < 0) top = 0;
  const int64_t above = M.historyRows() * GyChar;
  if (top >= above) {
    gBack = 0;
    GyOffset = static_cast<int32_t>(top - above);
  } else {
    gBack = static_cast<int32_t>((above - top + GyChar - 1) / GyChar);
    GyOffset = 0;
  }
  frameWindow(hwnd);
  viewVertBar(GyOffset);
  frameBarNow();
  frameViewMoved();
}

}  // namespace

int32_t DISPLAYViewBack() { return gBack; }

void viewGridScrolled(int32_t rows) {
  if (gBack == 0) return;
  int64_t back = static_cast<int64_t>(gBack) + rows;
  if (back > M.historyRows()) back = M.historyRows();
  gBack = static_cast<int32_t>(back);
}

void viewLeaveHistory() { gBack = 0; }

void viewVertBar(int32_t gridPos) {
  const int64_t above = M.historyRows() * GyChar;
  frameScrollRange(kBarVert, clamp32(above + GyScroll));
  frameScrollPos(kBarVert, clamp32(gBack > 0 ? above - static_cast<int64_t>(gBack) * GyChar : above + gridPos));
}

void SetDISPLAYPageSizes(int32_t visibleRows) {
  ScopedLock hold(ScreenLock());
  GxSize = (M.cols() + 1) * GxChar;
  GySize = (M.rows() + 1) * GyChar;
  GyVisible = visibleRows * GyChar;
  VtViewSized();
}

int32_t ScrollDISPLAYVert(WindowHandle hwnd, int code, int pos) {
  ScopedLock hold(ScreenLock());
  // The requests as the grid alone would take them, over history and grid.
  const int64_t top = viewTop();
  int64_t d;
  switch (code) {
    case kSbLineUp: d = -GyChar; break;
    case kSbLineDown: d = GyChar; break;
    case kSbPageUp: d = -GySize; break;
    case kSbPageDown: d = GySize; break;
    case kSbThumbPosition: d = pos - top; break;
    case kSbTop: d = -top; break;
    case kSbBottom: d = viewTopMax() - top; break;
    default: return 0;   // thumb tracking and the end of scrolling move nothing
  }
  moveViewTo(hwnd, top + d);
  return 1;
}

void ScrollDISPLAYPages(WindowHandle hwnd, int pages) {
  ScopedLock hold(ScreenLock());
  int64_t rows = GyVisible / GyChar - 1;
  if (rows < 1) rows = 1;
  moveViewTo(hwnd, viewTop() - pages * rows * GyChar);
}

void DISPLAYShowRows(WindowHandle hwnd, int64_t first, int64_t last) {
  ScopedLock hold(ScreenLock());
  const int64_t top = viewTop();
  const int64_t firstY = (M.historyRows() + first) * GyChar;
  const int64_t lastY = (M.historyRows() + last + 1) * GyChar;
  if (firstY >= top && lastY <= top + GyVisible) return;
  const int64_t rows = GyVisible / GyChar;
  moveViewTo(hwnd, firstY - (rows / 2) * GyChar);
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
  GyScroll = M.rows() * GyChar - GyVisible;
  if (GyScroll < 0) GyScroll = 0;
  if (GyOffset > GyScroll) GyOffset = GyScroll;
  viewVertBar(GyOffset);
  frameBarNow();

  GxSize = width;
  GxScroll = M.cols() * GxChar - GxSize;
  if (GxScroll < 0) GxScroll = 0;
  if (GxOffset > GxScroll) GxOffset = GxScroll;
  frameScrollPos(kBarHorz, GxOffset);
  frameScrollRange(kBarHorz, GxScroll);

  frameDirtyAll(1);
  VtViewSized();
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
// The rows and columns a paint copy holds: the model's grid, as far as the
// copy has room.
int32_t paintRows() { return M.rows() < kScreenRows ? M.rows() : kScreenRows; }
int32_t paintCols() { return M.cols() < kScreenCols ? M.cols() : kScreenCols; }

PaintRange rangeIn(const ShownView& v, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const int32_t rows = paintRows(), cols = paintCols();
  PaintRange r{};
  r.firstRow = (v.yOffset + top) / GyChar;
  if (r.firstRow > rows - 1) r.firstRow = rows - 1;
  if (r.firstRow < 0) r.firstRow = 0;
  r.lastRow = (v.yOffset + bottom - 1) / GyChar;
  if (r.lastRow > rows - 1) r.lastRow = rows - 1;
  r.firstCol = (v.xOffset + left) / GxChar;
  if (r.firstCol > cols - 1) r.firstCol = cols - 1;
  if (r.firstCol < 0) r.firstCol = 0;
  int32_t lastCol = (v.xOffset + right - 1) / GxChar;
  if (lastCol > cols - 1) lastCol = cols - 1;
  r.count = lastCol - r.firstCol + 1;
  if (r.count < 0) r.count = 0;
  r.x = r.firstCol * GxChar - v.xOffset;
  r.y0 = r.firstRow * GyChar - v.yOffset;
  r.gridRight = cols * GxChar - v.xOffset;
  r.gridBottom = rows * GyChar - v.yOffset;
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
    v = ShownView{GxOffset, GyOffset, gBack};
    copy->range = rangeIn(v, left, top, right, bottom);
  }
  copy->cellHeight = GyChar;
  const int32_t shift = v.rowShift;
  const PaintRange& p = copy->range;
  static RowCells line;   // painting is the user-interface thread's alone
  const CellAttr plain;
  for (int32_t row = p.firstRow; row <= p.lastRow && p.count > 0; row++) {
    const int32_t from = row - shift;
    copy->selCount[row] = 0;
    if (!M.readRow(from, &line)) {   // gone from the history since the window was drawn
      std::memset(copy->cells[row], ' ', static_cast<size_t>(p.count));
      for (int32_t c = 0; c < p.count; c++) {
        copy->chars[row][c] = ' ';
        copy->attrs[row][c] = plain;
      }
      continue;
    }
    const size_t n = static_cast<size_t>(p.count);
    std::memcpy(copy->chars[row], &line.ch[p.firstCol], n * sizeof line.ch[0]);
    std::memcpy(copy->attrs[row], &line.attr[p.firstCol], n * sizeof line.attr[0]);
    const uint32_t* ch = copy->chars[row];
    char* cells = copy->cells[row];
    for (size_t c = 0; c < n; c++) cells[c] = static_cast<char>(ch[c] <= 0xFF ? ch[c] : '?');
    int first = 0, last = 0;
    if (!selectionRowSpan(from, &first, &last)) continue;
    if (first < p.firstCol) first = p.firstCol;
    if (last > p.firstCol + p.count - 1) last = p.firstCol + p.count - 1;
    copy->selFirst[row] = first - p.firstCol;
    copy->selCount[row] = last >= first ? last - first + 1 : 0;
  }
}

CellLook DISPLAYCellLook(const PaintCopy& copy, int32_t row, int32_t col, uint32_t textRgb, uint32_t paperRgb) {
  const CellAttr& a = copy.attrs[row][col];
  CellLook look{ColourToRgb(a.fg, textRgb), ColourToRgb(a.bg, paperRgb), (a.flags & kAttrBold) != 0,
                (a.flags & kAttrUnderline) != 0};
  const bool selected = col >= copy.selFirst[row] && col < copy.selFirst[row] + copy.selCount[row];
  if (((a.flags & kAttrInverse) != 0) != selected) {
    const uint32_t fg = look.fg;
    look.fg = look.bg;
    look.bg = fg;
  }
  return look;
}

int32_t DISPLAYLookRun(const PaintCopy& copy, int32_t row, int32_t col, uint32_t textRgb, uint32_t paperRgb) {
  // Cells of the same attributes on the same side of the selection's edges
  // look alike without working their colours out: a row of a stream in the
  // default attributes is one comparison a cell.
  const int32_t selFirst = copy.selFirst[row], selEnd = selFirst + copy.selCount[row];
  int32_t edge = copy.range.count;
  if (copy.selCount[row] > 0) {
    if (col < selFirst) edge = selFirst;
    else if (col < selEnd) edge = selEnd;
  }
  const CellAttr& a = copy.attrs[row][col];
  int32_t n = 1;
  while (col + n < edge && copy.attrs[row][col + n] == a) n++;
  if (col + n == copy.range.count) return n;
  const CellLook first = DISPLAYCellLook(copy, row, col, textRgb, paperRgb);
  while (col + n < copy.range.count && DISPLAYCellLook(copy, row, col + n, textRgb, paperRgb) == first) n++;
  return n;
}

void DISPLAYCellAt(int32_t x, int32_t y, int32_t* row, int32_t* col) {
  ScopedLock hold(ScreenLock());
  const ShownView v = frameShownView();
  const int32_t px = v.xOffset + x, py = v.yOffset + y;
  int32_t c = px < 0 ? 0 : px / GxChar;
  if (c > M.cols() - 1) c = M.cols() - 1;
  // Rows above the history's oldest (gone since the window was drawn) give
  // the row above it.
  const int64_t oldest = -M.historyRows();
  int64_t r = static_cast<int64_t>(py < 0 ? 0 : py / GyChar) - v.rowShift;
  if (r > M.rows() - 1) r = M.rows() - 1;
  *row = static_cast<int32_t>(r < oldest ? oldest - 1 : r);
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
  gBack = 0;
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
