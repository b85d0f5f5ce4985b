// The screen model: how bytes become cells, rows, wraps and scrolls.
#include "display/screen.h"

#include <cstring>

#include "display/view.h"
#include "platform/window.h"
#include "settings/globals.h"

uint8_t gabScreen[kScreenCells];
int32_t GnRow = 0;
int32_t GnColumn = 0;

namespace {

struct BlankAtLoad {
  BlankAtLoad() { std::memset(gabScreen, ' ', sizeof gabScreen); }
} blankAtLoad;

// How a write chooses its display mode: from gfHexPrint per byte, or raw for
// status texts and the model's own nested writes.
enum class Mode { FromSetting, Raw };

const char kHexDigits[] = "0123456789abcdef";

// The cells one write marks, merged: neighbouring cells of one row become
// one rectangle, handed to the window when the run breaks, before a line
// feed (which may move the view), and when the write ends. The marked area
// is exactly the cells written; only the number of window calls shrinks,
// which matters when each call crosses to another thread or process.
struct CellRun {
  int32_t row = -1;
  int32_t first = 0;
  int32_t last = 0;
};
CellRun gRun;   // guarded by the screen lock

void markCells(int32_t first, int32_t last, int32_t row) {
  winInvalidateRect(ghDISPLAYWnd.load(), first * GxChar - GxOffset, row * GyChar - GyOffset,
                    (last - first + 1) * GxChar, GyChar, 0);
}

void flushCellRun() {
  if (gRun.row < 0) return;
  markCells(gRun.first, gRun.last, gRun.row);
  gRun.row = -1;
}

void invalidateCell(int32_t column, int32_t row) {
  if (gRun.row == row && column == gRun.last + 1) {
    gRun.last = column;
    return;
  }
  flushCellRun();
  gRun = CellRun{row, column, column};
}

void writeBlock(const uint8_t* data, int32_t len, Mode mode);

// Stores one cell of hex display and advances, wrapping after column 79.
void putHexCell(uint8_t ch) {
  gabScreen[GnRow * kScreenCols + GnColumn] = ch;
  invalidateCell(GnColumn, GnRow);
  if (GnColumn == kScreenCols - 1) {
    GnColumn = 0;
    handleLineFeed(1);
  } else {
    GnColumn++;
  }
}

// Keeps at most 32 rows between the view's top row and the cursor row.
void followCursor() {
  const int32_t top = GyOffset / GyChar;
  const int32_t distance = GnRow - top;
  if (distance <= kFollowRows) return;
  const int32_t saved = GnRow;
  for (int32_t i = 0; i < distance - kFollowRows; i++) {
    handleLineFeed(0);
    GnRow--;
  }
  GnRow = saved;
  GyOffset = (GnRow - kFollowRows) * GyChar;
}

// How many bytes from data on are plain characters that land in this row
// before its last column: they need nothing but storing, and a run of them
// is stored and marked in one go.
int32_t plainRunInRow(const uint8_t* data, int32_t len) {
  const int32_t room = kScreenCols - 1 - GnColumn;
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
      putHexCell(static_cast<uint8_t>(kHexDigits[b >> 4]));
      putHexCell(static_cast<uint8_t>(kHexDigits[b & 15]));
      putHexCell(' ');
      continue;
    }
    // The setting was read for this byte; taking it for the plain bytes
    // right behind it too is the same as the other thread changing it just
    // after them.
    if (const int32_t n = plainRunInRow(data + i, len - i); n > 1) {
      std::memcpy(&gabScreen[GnRow * kScreenCols + GnColumn], data + i, static_cast<size_t>(n));
      invalidateCell(GnColumn, GnRow);
      gRun.last = GnColumn + n - 1;
      GnColumn += n;
      i += n - 1;
      continue;
    }
    switch (b) {
      case 0x0A:   // line feed: a carriage return already made the new row
        break;
      case 0x0D:
        GnColumn = 0;
        MoveDISPLAYCursor();
        handleLineFeed(1);
        break;
      case 0x08:   // backspace never goes back to the row above
        if (GnColumn > 0) GnColumn--;
        writeBlock(&kBlank, 1, Mode::Raw);
        if (GnColumn > 0) GnColumn--;
        MoveDISPLAYCursor();
        break;
      default:
        gabScreen[GnRow * kScreenCols + GnColumn] = b;
        invalidateCell(GnColumn, GnRow);
        if (GnColumn == kScreenCols - 1) {
          writeBlock(&kCr, 1, Mode::Raw);
        } else {
          GnColumn++;
        }
        break;
    }
  }
  flushCellRun();
  followCursor();
}

void writeStatus(const char* text) {
  writeBlock(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)), Mode::Raw);
}

}  // namespace

CoreLock& ScreenLock() {
  static CoreLock lock(1);
  return lock;
}

void handleLineFeed(int32_t flag) {
  WindowHandle w = ghDISPLAYWnd.load();
  flushCellRun();
  GnRow++;
  markCells(GnColumn, GnColumn, GnRow);
  if (flag && GnRow > kFollowRows) {
    if (GnRow == kScreenRows) {
      std::memmove(gabScreen, gabScreen + kScreenCols, (kScreenRows - 1) * kScreenCols);
      std::memset(gabScreen + (kScreenRows - 1) * kScreenCols, ' ', kScreenCols);
    }
    winInvalidateView(w, 0);
  }
  MoveDISPLAYCursor();
  winSetScrollPos(w, kBarVert, 0, 1);
  if (GnRow > kFollowRows) {
    if (GnRow == kScreenRows) GnRow = kScreenRows - 1;
    ScrollDISPLAYVert(w, kSbLineDown, 0);
    winInvalidateView(w, 0);
  }
}

void WriteDISPLAYBlock(const void* data, int32_t len) {
  ScopedLock hold(ScreenLock());
  writeBlock(static_cast<const uint8_t*>(data), len, Mode::FromSetting);
}

void WriteDISPLAYStatus(const char* text) {
  ScopedLock hold(ScreenLock());
  writeStatus(text);
}

void WriteDISPLAYStatus2(const char* first, const char* second) {
  ScopedLock hold(ScreenLock());
  writeStatus(first);
  writeStatus(second);
}

void WriteDISPLAYStatus3(const char* first, const char* second, const char* third) {
  ScopedLock hold(ScreenLock());
  writeStatus(first);
  writeStatus(second);
  writeStatus(third);
}

void ClearDISPLAYScreen() {
  static uint8_t blanks[kScreenCells];
  ScopedLock hold(ScreenLock());
  std::memset(gabScreen, ' ', sizeof gabScreen);
  std::memset(blanks, ' ', sizeof blanks);
  // Writing a whole grid of blanks marks every cell and walks the view to its
  // end, so the next repaint draws the blank grid from the top.
  writeBlock(blanks, kScreenCells, Mode::Raw);
  GxOffset = 0;
  GyOffset = 0;
  GnColumn = 0;
  GnRow = 0;
  winSetCaretPos(1, 0);
}

void InitDISPLAYGrid() {
  ScopedLock hold(ScreenLock());
  std::memset(gabScreen, ' ', sizeof gabScreen);
  GnRow = 0;
  GnColumn = 0;
}
