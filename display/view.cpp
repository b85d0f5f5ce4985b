// The display view's portable half: scrolling, sizing, caret and paint range.
#include "display/view.h"

#include "display/screen.h"
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

// Moves an offset by d within 0..max; the content moves the other way.
void scrollBy(WindowHandle hwnd, int bar, int32_t d, int32_t& offset, int32_t max) {
  if (offset + d > max) d = max - offset;
  if (offset + d < 0) d = -offset;
  if (bar == kBarVert) {
    winScrollWindow(hwnd, 0, -d);
  } else {
    winScrollWindow(hwnd, -d, 0);
  }
  offset += d;
  winSetScrollPos(hwnd, bar, offset, 1);
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

int32_t SizeDISPLAY(WindowHandle hwnd, uint16_t height, uint16_t width) {
  ScopedLock hold(ScreenLock());
  GyVisible = height;
  GyScroll = kScreenRows * GyChar - GyVisible;
  if (GyScroll < 0) GyScroll = 0;
  if (GyOffset > GyScroll) {
    winScrollWindow(hwnd, 0, GyOffset - GyScroll);
    GyOffset = GyScroll;
  }
  winSetScrollPos(hwnd, kBarVert, GyOffset, 0);
  winSetScrollRange(hwnd, kBarVert, GyScroll, 1);

  GxSize = width;
  GxScroll = kScreenCols * GxChar - GxSize;
  if (GxScroll < 0) GxScroll = 0;
  if (GxOffset > GxScroll) {
    winScrollWindow(hwnd, GxOffset - GxScroll, 0);
    GxOffset = GxScroll;
  }
  winSetScrollPos(hwnd, kBarHorz, GxOffset, 0);
  winSetScrollRange(hwnd, kBarHorz, GxScroll, 1);

  winInvalidateRect(hwnd, 0, 0, GxSize, GyVisible, 1);
  return 1;
}

int32_t SetDISPLAYFocus(WindowHandle hwnd) {
  ScopedLock hold(ScreenLock());
  if (gfConnected && GwCursorState != 1) {
    winCreateCaret(hwnd, GxChar, GyChar);
    winShowCaret(hwnd);
    GwCursorState = 1;
  }
  MoveDISPLAYCursor();
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
  if (gfConnected && (GwCursorState & 1)) {
    winSetCaretPos(GnColumn * GxChar - GxOffset + 1, GnRow * GyChar - GyOffset);
  }
  return 1;
}

PaintRange DISPLAYPaintRange(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  PaintRange r{};
  r.firstRow = (GyOffset + top) / GyChar;
  if (r.firstRow > kScreenRows - 1) r.firstRow = kScreenRows - 1;
  if (r.firstRow < 0) r.firstRow = 0;
  r.lastRow = (GyOffset + bottom - 1) / GyChar;
  if (r.lastRow > kScreenRows - 1) r.lastRow = kScreenRows - 1;
  r.firstCol = (GxOffset + left) / GxChar;
  if (r.firstCol > kScreenCols - 1) r.firstCol = kScreenCols - 1;
  if (r.firstCol < 0) r.firstCol = 0;
  int32_t lastCol = (GxOffset + right - 1) / GxChar;
  if (lastCol > kScreenCols - 1) lastCol = kScreenCols - 1;
  r.count = lastCol - r.firstCol + 1;
  if (r.count < 0) r.count = 0;
  r.x = r.firstCol * GxChar - GxOffset;
  r.y0 = r.firstRow * GyChar - GyOffset;
  return r;
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
}
