// Frame-paced painting: the changes recorded since the last frame, and the frame that carries them out on the window.
#include "display/frame.h"

#include <cstdlib>
#include <initializer_list>

#include "display/screen.h"
#include "display/screen_model.h"
#include "display/view.h"
#include "display/vt_screen.h"
#include "platform/window.h"
#include "settings/globals.h"

namespace {

enum class Caret { None, Cursor, Home };

// What changed since the last frame. Written cells are kept as one bounding
// box in grid lines counted since the start (row + grid scrolls), so that a
// grid scroll needs no bookkeeping: a line keeps its number while its row
// moves up.
struct Recorded {
  bool requested = false;
  bool any = false;
  bool all = false;
  bool erase = false;
  int64_t topLine = 1;   // empty while topLine > bottomLine
  int64_t bottomLine = 0;
  int32_t firstCol = 0;
  int32_t lastCol = 0;
  bool posSet[2] = {false, false};
  int32_t pos[2] = {0, 0};
  bool rangeSet[2] = {false, false};
  int32_t range[2] = {0, 0};
  Caret caret = Caret::None;
  bool barNow = false;   // the user moved the view or sized it: the vertical bar follows at once
};

// All guarded by the screen lock.
Recorded gRec;
int64_t gScrolls = 0;   // grid scrolls since the start
struct {
  int32_t x = 0, y = 0;
  int64_t scrolls = 0;
  int32_t back = 0;   // rows of history above the grid's top at the view's top
} gShown;   // what the window's pixels stand for: the state of the last frame
WindowHandle gWindow = nullptr;

// While output streams, every row that goes into the history changes the
// vertical bar's range (and, held in the history, its position), and a bar
// redrawn every frame costs more than the rest of the frame. In a stream
// (the grid scrolled in this frame and the one before) the bar takes such
// changes at most every kBarFrames frames, a few times a second; what the
// user does to the view, and the frame after a stream, show at once.
constexpr int64_t kBarFrames = 8;
int64_t gFrameNo = 0;
int64_t gBarFrame = -kBarFrames;   // the frame that last set the vertical bar
int64_t gScrollsAtFrame = 0;       // grid scrolls when the last frame ran
int gScrollingFrames = 0;          // frames in a row in which the grid scrolled

// Only the user-interface thread: whether painting placed the caret, and
// the scroll-bar values last handed to the window. A bar redrawn with the
// value it shows costs as much as a real move, and streaming lines leave
// the position the same frame after frame.
bool gCaretPlaced = false;
struct Applied {
  bool known = false;
  int32_t value = 0;
};
Applied gAppliedPos[2], gAppliedRange[2];

void request() {
  gRec.any = true;
  if (gRec.requested) return;
  WindowHandle w = ghDISPLAYWnd.load();
  if (!w) w = gWindow;
  // Without a window the changes wait for the next request that has one.
  if (!w) return;
  gRec.requested = true;
  winRequestFrame(w);
}

int slot(int bar) { return bar == kBarVert ? 1 : 0; }

}  // namespace

void frameDirtyArea(int32_t firstRow, int32_t lastRow, int32_t firstCol, int32_t lastCol) {
  const int64_t top = firstRow + gScrolls;
  const int64_t bottom = lastRow + gScrolls;
  if (gRec.topLine > gRec.bottomLine) {
    gRec.topLine = top;
    gRec.bottomLine = bottom;
    gRec.firstCol = firstCol;
    gRec.lastCol = lastCol;
  } else {
    if (top < gRec.topLine) gRec.topLine = top;
    if (bottom > gRec.bottomLine) gRec.bottomLine = bottom;
    if (firstCol < gRec.firstCol) gRec.firstCol = firstCol;
    if (lastCol > gRec.lastCol) gRec.lastCol = lastCol;
  }
  request();
}

void frameDirtyAll(int erase) {
  gRec.all = true;
  if (erase) gRec.erase = true;
  request();
}

void frameGridScrolled(int32_t rows) {
  gScrolls += rows;
  request();
}

void frameScrollPos(int bar, int32_t pos) {
  gRec.posSet[slot(bar)] = true;
  gRec.pos[slot(bar)] = pos;
  request();
}

void frameScrollRange(int bar, int32_t max) {
  gRec.rangeSet[slot(bar)] = true;
  gRec.range[slot(bar)] = max;
  request();
}

void frameCaret() {
  gRec.caret = Caret::Cursor;
  request();
}

void frameCaretHome() {
  gRec.caret = Caret::Home;
  request();
}

void frameWindow(WindowHandle w) {
  if (w) gWindow = w;
}

void frameViewMoved() { request(); }

void frameBarNow() {
  gRec.barNow = true;
  request();
}

ShownView frameShownView() {
  return ShownView{gShown.x, gShown.y, static_cast<int32_t>(gScrolls - gShown.scrolls) + gShown.back};
}

namespace {
// How far the content moves up in the window since the last frame: with
// the view, with each grid scroll, and against a view held in the history.
int64_t contentMove() {
  return GyOffset - gShown.y + (gScrolls - gShown.scrolls - DISPLAYViewBack() + gShown.back) * GyChar;
}
}  // namespace

bool frameWholeViewDue() {
  const int64_t dx = GxOffset - gShown.x;
  const int64_t dy = contentMove();
  return GyVisible > 0 && GxSize > 0 && (std::llabs(dy) >= GyVisible || std::llabs(dx) >= GxSize);
}

int DISPLAYFramePending() {
  ScopedLock hold(ScreenLock());
  return gRec.any ? 1 : 0;
}

void frameReset() {
  ScopedLock hold(ScreenLock());
  for (int bar : {0, 1}) gAppliedPos[bar] = gAppliedRange[bar] = Applied{};
  gRec = Recorded{};
  gShown.x = GxOffset;
  gShown.y = GyOffset;
  gShown.scrolls = gScrolls;
  gShown.back = DISPLAYViewBack();
  gScrollsAtFrame = gScrolls;
  gScrollingFrames = 0;
  gBarFrame = gFrameNo - kBarFrames;
}

void DISPLAYPlaceCaret() {
  ScopedLock hold(ScreenLock());
  if (gfConnected && (GwCursorState & 1) && VtCursorHidden()) {
    winSetCaretPos(-4 * GxChar, -4 * GyChar);   // the device hid it: out of the view
  } else if (gfConnected && (GwCursorState & 1)) {
    const ShownView v = frameShownView();
    // The cursor's line stands rowShift rows lower in what the window shows.
    winSetCaretPos(GnColumn * GxChar - v.xOffset + 1, (GnRow + v.rowShift) * GyChar - v.yOffset);
  }
  gCaretPlaced = true;
}

int DISPLAYRunFrame(WindowHandle w) {
  Recorded r;
  int64_t dx, dy;
  int32_t viewW, viewH;
  int32_t left = 0, top = 0, width = 0, height = 0;
  bool caretShown;
  {
    ScopedLock hold(ScreenLock());
    r = gRec;
    gRec = Recorded{};
    gFrameNo++;
    gScrollingFrames = gScrolls != gScrollsAtFrame ? gScrollingFrames + 1 : 0;
    gScrollsAtFrame = gScrolls;
    const int v = slot(kBarVert);
    if (r.posSet[v] || r.rangeSet[v]) {
      if (!r.barNow && gScrollingFrames > 1 && gFrameNo - gBarFrame < kBarFrames) {
        // Kept for a later frame, which this keeps coming.
        gRec.posSet[v] = r.posSet[v];
        gRec.pos[v] = r.pos[v];
        gRec.rangeSet[v] = r.rangeSet[v];
        gRec.range[v] = r.range[v];
        gRec.any = true;
        r.posSet[v] = r.rangeSet[v] = false;
        r.any = true;
      } else {
        gBarFrame = gFrameNo;
      }
    }
    // The content moves against the view, and up with each grid scroll.
    dx = GxOffset - gShown.x;
    dy = contentMove();
    gShown.x = GxOffset;
    gShown.y = GyOffset;
    gShown.scrolls = gScrolls;
    gShown.back = DISPLAYViewBack();
    viewW = GxSize;
    viewH = GyVisible;
    caretShown = gfConnected && GwCursorState == 1;
    // Rows above the view's top (in the history, or gone) show nowhere.
    const int64_t back = DISPLAYViewBack();
    if (r.topLine <= r.bottomLine && r.bottomLine - gScrolls >= -back) {
      int64_t first = r.topLine - gScrolls;
      int64_t last = r.bottomLine - gScrolls;
      if (first < -back) first = -back;
      if (last > gScreenModel.rows() - 1) last = gScreenModel.rows() - 1;
      if (first <= last) {
        left = r.firstCol * GxChar - GxOffset;
        top = static_cast<int32_t>(first + back) * GyChar - GyOffset;
        width = (r.lastCol - r.firstCol + 1) * GxChar;
        height = static_cast<int32_t>(last - first + 1) * GyChar;
      }
    }
  }
  // The caret is hidden while the frame moves and paints the window: each
  // of those would otherwise take it off and put it back on its own.
  const bool moved = dx != 0 || dy != 0;
  const bool painted = r.all || moved || width > 0;
  const bool hideCaret = painted && caretShown;
  if (hideCaret) winHideCaret(w);
  // The range first: a position beyond the old range would be cut to it.
  // Showing or hiding a bar resizes the client area, and the size change
  // that follows is recorded for the next frame.
  for (int bar : {kBarVert, kBarHorz}) {
    Applied& range = gAppliedRange[slot(bar)];
    if (!r.rangeSet[slot(bar)] || (range.known && range.value == r.range[slot(bar)])) continue;
    winSetScrollRange(w, bar, r.range[slot(bar)], 1);
    range = Applied{true, r.range[slot(bar)]};
    gAppliedPos[slot(bar)].known = false;   // a new range may have cut the position
  }
  if (moved && !r.all) {
    if (std::llabs(dy) >= viewH || std::llabs(dx) >= viewW) {
      r.all = true;
    } else {
      winScrollWindow(w, static_cast<int>(-dx), static_cast<int>(-dy));
    }
  }
  if (r.all) {
    winInvalidateView(w, r.erase ? 1 : 0);
  } else if (width > 0) {
    winInvalidateRect(w, left, top, width, height, 0);
  }
  for (int bar : {kBarVert, kBarHorz}) {
    Applied& pos = gAppliedPos[slot(bar)];
    if (!r.posSet[slot(bar)] || (pos.known && pos.value == r.pos[slot(bar)])) continue;
    winSetScrollPos(w, bar, r.pos[slot(bar)], 1);
    pos = Applied{true, r.pos[slot(bar)]};
  }
  gCaretPlaced = false;
  if (painted) winUpdateWindow(w);
  // The caret last: once it stands where the frame put it, the frame is on
  // the screen. Painting ends by placing it (a window scroll moved it with
  // the content); where the front end's painting has not, the frame does.
  if (r.caret == Caret::Home) {
    winSetCaretPos(1, 0);
  } else if ((r.caret == Caret::Cursor || painted) && !gCaretPlaced) {
    DISPLAYPlaceCaret();
  }
  if (hideCaret) winShowCaret(w);
  return r.any || moved ? 1 : 0;
}
