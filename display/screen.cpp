// The writing rules of the screen model: how bytes become cells, rows, wraps and scrolls.
#include "display/screen.h"

#include <cstring>

#include "display/frame.h"
#include "display/screen_model.h"
#include "display/screen_write.h"
#include "display/selection.h"
#include "display/timestamp.h"
#include "display/view.h"
#include "display/vt_screen.h"
#include "platform/window.h"
#include "settings/globals.h"
#include "settings/options.h"

int32_t& GnRow = gScreenModel.cursorRow;
int32_t& GnColumn = gScreenModel.cursorCol;

namespace {

ScreenModel& M = gScreenModel;

// How a write chooses its display mode: from gfHexPrint per byte, or raw for
// status texts and the model's own nested writes.
enum class Mode { FromSetting, Raw };

const char kHexDigits[] = "0123456789abcdef";

// What a write changes for the window, gathered while it runs and handed to
// the frame once when it ends: a line of bytes costs a few stores here
// instead of a call into the frame for every cell, caret move and line
// feed. Changed cells are kept as one box of lines counted as row + grid
// scrolls so far, so that a scroll renumbers nothing.
struct Changes {
  int32_t scrolls = 0;
  // Rows that went into the history, less the grid's scrolls: the
  // emulator hands rows to the history apart from moving the grid (or
  // moves the grid of its alternate screen without history); raw and hex
  // display leave it 0.
  int32_t pushed = 0;
  int32_t top = kMaxScreenRows * 2;
  int32_t bottom = -1;
  int32_t firstCol = kMaxScreenCols;
  int32_t lastCol = -1;
  bool caret = false;
  bool moved = false;
  bool posSet = false;
  int32_t pos = 0;
};
Changes gChanges;

void invalidateCells(int32_t first, int32_t last, int32_t row) {
  Changes& c = gChanges;
  const int32_t line = row + c.scrolls;
  if (line < c.top) c.top = line;
  if (line > c.bottom) c.bottom = line;
  if (first < c.firstCol) c.firstCol = first;
  if (last > c.lastCol) c.lastCol = last;
}

void invalidateCell(int32_t column, int32_t row) { invalidateCells(column, column, row); }

// MoveDISPLAYCursor and the vertical scroll position, as a write asks for them.
void moveCursor() { gChanges.caret = true; }
void setScrollPos(int32_t pos) {
  gChanges.posSet = true;
  gChanges.pos = pos;
}

// What every entry point does before it lets the screen lock go. The rows
// that went into the history take a view held there, and the selection, with
// them; the bar's range grows with the history.
void finishWrite() {
  Changes& c = gChanges;
  const int32_t grew = c.scrolls + c.pushed;   // rows the history took
  if (c.scrolls || c.pushed) {
    viewGridScrolled(grew);
    if (c.scrolls) frameGridScrolled(c.scrolls);
    selectionGridScrolled(grew);
  }
  if (c.top <= c.bottom) frameDirtyArea(c.top - c.scrolls, c.bottom - c.scrolls, c.firstCol, c.lastCol);
  if (c.posSet || c.scrolls || c.pushed) viewVertBar(c.posSet ? c.pos : GyOffset);
  if (c.caret) frameCaret();
  if (c.moved) frameViewMoved();
  c = Changes{};
}

// While the user holds the view in the history, output leaves it there.
// Taken once as a write begins: only the user-interface thread's scroll
// requests change it, and they wait for the lock the write holds.
bool gHeld = false;
bool viewHeld() { return gHeld; }
void beginWrite() { gHeld = DISPLAYViewBack() > 0; }

void writeBlock(const uint8_t* data, int32_t len, Mode mode);
void lineFeed(int32_t flag);

// With "New line on LF": the line end just taken (CR or LF), so that the
// other byte of a CR LF or LF CR pair makes no second new line, across
// writes. 0 after any other byte, and always 0 with the option off.
uint8_t gPairEnd = 0;

// Where the received stream stands between lines, for the time stamps.
LineStarts gReceivedLines;

void newLine() {
  GnColumn = 0;
  moveCursor();
  lineFeed(1);
}

// Stores one cell of hex display and advances, wrapping after the last column.
void putHexCell(uint8_t ch) {
  M.putByte(GnRow, GnColumn, ch);
  invalidateCell(GnColumn, GnRow);
  if (GnColumn == M.cols() - 1) {
    M.setWrapped(GnRow, true);
    GnColumn = 0;
    lineFeed(1);
  } else {
    GnColumn++;
  }
}

// Keeps at most 32 rows between the view's top row and the cursor row. The
// view is pulled in one move, to where distance - 32 one-row moves (line
// feeds that leave the grid as it is) would take it: each moves the view
// down a row within the scroll range, and the scroll position keeps the
// last of them; then the offset puts the cursor row 33rd in the view.
void followCursor() {
  if (viewHeld()) return;
  const int32_t top = GyOffset / GyChar;
  const int32_t distance = GnRow - top;
  if (distance <= kFollowRows) return;
  int64_t stepped = GyOffset + static_cast<int64_t>(distance - kFollowRows) * GyChar;
  if (stepped > GyScroll) stepped = GyScroll;
  if (stepped < 0) stepped = 0;
  setScrollPos(static_cast<int32_t>(stepped));
  moveCursor();
  GyOffset = (GnRow - kFollowRows) * GyChar;
  gChanges.moved = true;
}

// How many bytes from data on are plain characters that land in this row
// before its last column: they need nothing but storing, and a run of them
// is stored and marked in one go.
int32_t plainRunInRow(const uint8_t* data, int32_t len) {
  const int32_t room = M.cols() - 1 - GnColumn;
  const int32_t limit = len < room ? len : room;
  int32_t n = 0;
  while (n < limit && data[n] != 0x0A && data[n] != 0x0D && data[n] != 0x08) n++;
  return n;
}

void writeBlock(const uint8_t* data, int32_t len, Mode mode) {
  static const uint8_t kCr = 0x0D;
  static const uint8_t kBlank = ' ';
  for (int32_t i = 0; i < len; i++) {
    const uint8_t b = data[i];
    if (mode == Mode::FromSetting && gfHexPrint.load(std::memory_order_relaxed)) {
      gPairEnd = 0;
      putHexCell(static_cast<uint8_t>(kHexDigits[b >> 4]));
      putHexCell(static_cast<uint8_t>(kHexDigits[b & 15]));
      putHexCell(' ');
      continue;
    }
    // The setting was read for this byte; taking it for the plain bytes
    // right behind it too is the same as the other thread changing it just
    // after them.
    const bool control = b == 0x0A || b == 0x0D || b == 0x08;
    if (const int32_t n = control ? 0 : plainRunInRow(data + i, len - i); n > 1) {
      M.putBytes(GnRow, GnColumn, data + i, n);
      invalidateCells(GnColumn, GnColumn + n - 1, GnRow);
      GnColumn += n;
      i += n - 1;
      if (mode == Mode::FromSetting) gPairEnd = 0;
      continue;
    }
    // A status text's bytes (and the model's own wrap) leave the pairing of
    // the received and echoed line ends alone.
    const bool paired = mode == Mode::FromSetting;
    switch (b) {
      case 0x0A:   // line feed: as a rule a carriage return already made the new row
        if (paired && gPairEnd != 0x0D && gfNewLineOnLf.load(std::memory_order_relaxed)) {
          newLine();
          gPairEnd = 0x0A;
        } else if (paired) {
          gPairEnd = 0;
        }
        break;
      case 0x0D:
        if (paired && gPairEnd == 0x0A) {
          gPairEnd = 0;   // the CR of an LF CR that already made its new line
          break;
        }
        newLine();
        if (paired) gPairEnd = gfNewLineOnLf.load(std::memory_order_relaxed) ? 0x0D : 0;
        break;
      case 0x08:   // backspace never goes back to the row above
        if (paired) gPairEnd = 0;
        if (GnColumn > 0) GnColumn--;
        writeBlock(&kBlank, 1, Mode::Raw);
        if (GnColumn > 0) GnColumn--;
        moveCursor();
        break;
      default:
        if (paired) gPairEnd = 0;
        M.putByte(GnRow, GnColumn, b);
        invalidateCell(GnColumn, GnRow);
        if (GnColumn == M.cols() - 1) {
          M.setWrapped(GnRow, true);   // the model's own line end: the text runs on
          writeBlock(&kCr, 1, Mode::Raw);
        } else {
          GnColumn++;
        }
        break;
    }
  }
  followCursor();
}

void writeStatus(const char* text) {
  if (VtShowing()) {
    VtFeedStatus(text);
    return;
  }
  VtLeave();
  writeBlock(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)), Mode::Raw);
}

}  // namespace

CoreLock& ScreenLock() {
  static CoreLock lock(1);
  return lock;
}

void ScreenWriteBegin() { beginWrite(); }
void ScreenWriteEnd() { finishWrite(); }
void ScreenNoteCells(int32_t firstCol, int32_t lastCol, int32_t row) { invalidateCells(firstCol, lastCol, row); }
void ScreenNoteGridScroll(int32_t rows) {
  gChanges.scrolls += rows;
  gChanges.pushed -= rows;
}
void ScreenNoteHistoryRow() { gChanges.pushed++; }
void ScreenNoteCaret() { moveCursor(); }

namespace {

// Past row 32 the view moves down a row with each line feed. The whole view
// is not marked for repainting: the frame moves the window content with the
// view and with the grid, so only the uncovered strip and the changed cells
// are drawn again. At the bottom the grid scrolls: its top row goes into the
// history.
void lineFeed(int32_t flag) {
  const int32_t rows = M.rows();
  GnRow++;
  invalidateCell(GnColumn, GnRow);
  if (flag && GnRow == rows) {
    M.scrollUp(gScrollbackLines.load(std::memory_order_relaxed));
    gChanges.scrolls++;
    invalidateCells(0, M.cols() - 1, rows - 1);   // the new blank row
  }
  moveCursor();
  if (viewHeld()) {
    if (GnRow == rows) GnRow = rows - 1;
    return;
  }
  if (GnRow <= kFollowRows) {
    setScrollPos(0);
    return;
  }
  if (GnRow == rows) GnRow = rows - 1;
  // The view moves down one row within the range, as the vertical bar's
  // line-down request moves it; the scroll position (which the line feed
  // set to 0 just before) ends at the new offset.
  int32_t offset = GyOffset + GyChar;
  if (offset > GyScroll) offset = GyScroll;
  if (offset < 0) offset = 0;
  GyOffset = offset;
  setScrollPos(offset);
  gChanges.moved = true;
}

void clearScreen(bool history) {
  ScopedLock hold(ScreenLock());
  M.clearGrid();
  if (history) M.clearHistory();
  // Blanks written over the whole grid from the cursor would make 128 line
  // feeds, each moving the view down a row within the range and pulling it
  // after the cursor; since the offsets go home afterwards, all that stays of
  // them is the scroll position the last view move set. It is worked out
  // here on the numbers alone: the window sees one repaint.
  const int32_t rows = M.rows();
  int32_t row = GnRow;
  int64_t offset = GyOffset;
  int64_t pos = 0;
  for (int i = 0; i < rows; i++) {
    row = row + 1 < rows ? row + 1 : rows - 1;
    if (row <= kFollowRows) {
      pos = 0;
      continue;
    }
    offset = offset + GyChar > GyScroll ? GyScroll : offset + GyChar;
    pos = offset;
    const int64_t distance = row - offset / GyChar;
    if (distance > kFollowRows) {
      pos = offset + (distance - kFollowRows) * GyChar;
      if (pos > GyScroll) pos = GyScroll;
      offset = static_cast<int64_t>(row - kFollowRows) * GyChar;
    }
  }
  GxOffset = 0;
  GyOffset = 0;
  viewLeaveHistory();
  viewVertBar(static_cast<int32_t>(pos < 0 ? 0 : pos));
  frameBarNow();
  GnColumn = 0;
  GnRow = 0;
  ClearSelection();   // the text it stood for is gone
  frameDirtyAll(0);
  frameCaretHome();
}

}  // namespace

void handleLineFeed(int32_t flag) {
  ScopedLock hold(ScreenLock());
  beginWrite();
  lineFeed(flag);
  finishWrite();
}

void WriteDISPLAYBlock(const void* data, int32_t len) {
  bool answers = false;
  {
    ScopedLock hold(ScreenLock());
    beginWrite();
    if (VtShowing()) {
      VtFeed(static_cast<const uint8_t*>(data), len);
      answers = VtHasAnswers();
    } else {
      VtLeave();
      writeBlock(static_cast<const uint8_t*>(data), len, Mode::FromSetting);
    }
    finishWrite();
  }
  if (answers) VtSendAnswers(false);
}

namespace {

// Received bytes in raw or hex display, stamped or not.
void writeReceived(const uint8_t* d, int32_t len, const char* stamp) {
  if (stamp == nullptr) {
    writeBlock(d, len, Mode::FromSetting);
    return;
  }
  const bool lfEnds = gfNewLineOnLf.load(std::memory_order_relaxed) != 0;
  while (len > 0) {
    bool stampFirst = false;
    const int32_t n = NextLineRun(gReceivedLines, d, len, lfEnds, &stampFirst);
    if (stampFirst) {
      // Hex display has no rows of its own: each stamped line begins one.
      if (GnColumn != 0 && gfHexPrint.load(std::memory_order_relaxed)) newLine();
      writeBlock(reinterpret_cast<const uint8_t*>(stamp), kStampLen, Mode::Raw);
    }
    writeBlock(d, n, Mode::FromSetting);
    d += n;
    len -= n;
  }
}

}  // namespace

void WriteDISPLAYReceived(const void* data, int32_t len, const char* stamp) {
  const uint8_t* d = static_cast<const uint8_t*>(data);
  bool answers = false;
  {
    ScopedLock hold(ScreenLock());
    beginWrite();
    // The emulator draws the lines itself: a stamp has no column of its own there.
    if (VtShowing()) {
      VtFeed(d, len);
      answers = VtHasAnswers();
    } else {
      VtLeave();
      writeReceived(d, len, stamp);
      if (VtHintDue(d, len)) writeStatus(kVtHint);
    }
    finishWrite();
  }
  if (answers) VtSendAnswers(false);
}

void WriteDISPLAYStatus(const char* text) {
  ScopedLock hold(ScreenLock());
  beginWrite();
  writeStatus(text);
  finishWrite();
}

void WriteDISPLAYStatus2(const char* first, const char* second) {
  ScopedLock hold(ScreenLock());
  beginWrite();
  writeStatus(first);
  writeStatus(second);
  finishWrite();
}

void WriteDISPLAYStatus3(const char* first, const char* second, const char* third) {
  ScopedLock hold(ScreenLock());
  beginWrite();
  writeStatus(first);
  writeStatus(second);
  writeStatus(third);
  finishWrite();
}

// In VT100 emulation a fresh emulator draws the cleared grid.
void ClearDISPLAYScreen() {
  ScopedLock hold(ScreenLock());
  clearScreen(false);
  if (VtShowing()) VtStart();
}

void ClearDISPLAYScrollback() {
  ScopedLock hold(ScreenLock());
  clearScreen(true);
  if (VtShowing()) VtStart();
}

void ApplyScrollbackLimit() {
  ScopedLock hold(ScreenLock());
  const int64_t before = M.historyRows();
  M.trimHistory(gScrollbackLines.load());
  if (M.historyRows() == before) return;
  // The view and the selection keep to what is left.
  viewGridScrolled(0);
  selectionGridScrolled(0);
  viewVertBar(GyOffset);
  frameBarNow();
  frameDirtyAll(0);
}

void InitDISPLAYGrid() {
  ScopedLock hold(ScreenLock());
  M.clearGrid();
  M.clearHistory();
  GnRow = 0;
  GnColumn = 0;
  gPairEnd = 0;
  gReceivedLines = LineStarts{};
  if (VtShowing()) {
    VtStart();
  } else {
    VtLeave();
  }
}
