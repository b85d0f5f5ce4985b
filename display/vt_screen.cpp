// VT100 emulation: libvterm's screen mirrored into the screen model through its damage, moved-rectangle, scrollback and cursor callbacks.
#include "display/vt_screen.h"

#include <vterm.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "display/charset.h"
#include "display/screen.h"
#include "display/screen_model.h"
#include "display/screen_write.h"
#include "display/view.h"
#include "display/vt_internal.h"
#include "settings/globals.h"
#include "settings/options.h"

VTerm* gVt = nullptr;
VTermScreen* gScreen = nullptr;
int32_t gCols = 0;

namespace {

ScreenModel& M = gScreenModel;

bool gRunning = false;        // the emulator draws the grid
bool gCursorHidden = false;   // the device hid the cursor
int32_t gRows = 0;

// The model's cell for the emulator's character: printable ASCII as it
// is, other characters the byte the view draws as them where there is one,
// else the character itself (the view draws those above 0xFF as they are).
uint32_t modelChar(uint32_t u) {
  if (u >= 0x20 && u < 0x7F) return u;
  if (u == 0 || u > 0x10FFFF) return ' ';   // an empty cell, or the right half of a wide character
  if (u > 0xFF) return u;
  const int b = OemByteOf(u);
  return b >= 0x20 && b != 0x7F ? static_cast<uint32_t>(b) : '?';
}

CellColour modelColour(const VTermColor& c, bool fg) {
  if (fg ? VTERM_COLOR_IS_DEFAULT_FG(&c) : VTERM_COLOR_IS_DEFAULT_BG(&c)) return kColourDefault;
  if (VTERM_COLOR_IS_INDEXED(&c)) return ColourIndex(c.indexed.idx);
  return ColourRgb(c.rgb.red, c.rgb.green, c.rgb.blue);
}

void modelCell(const VTermScreenCell& cell, uint32_t* ch, CellAttr* a) {
  *ch = modelChar(cell.chars[0]);
  a->fg = modelColour(cell.fg, true);
  a->bg = modelColour(cell.bg, false);
  a->flags = static_cast<uint8_t>((cell.attrs.bold ? kAttrBold : 0) | (cell.attrs.underline ? kAttrUnderline : 0) |
                                  (cell.attrs.reverse ? kAttrInverse : 0));
}

uint32_t gCh[kMaxScreenCols];
CellAttr gAttr[kMaxScreenCols];

// Columns c0..c1-1 of the emulator's row into the model's row.
void copyRow(int32_t row, int32_t c0, int32_t c1) {
  if (row < 0 || row >= M.rows()) return;
  c0 = std::max(c0, 0);
  c1 = std::min(c1, M.cols());
  if (c0 >= c1) return;
  VTermScreenCell cell;
  VTermPos pos{row, 0};
  for (int32_t c = c0; c < c1; c++) {
    pos.col = c;
    if (c < gCols && row < gRows && vterm_screen_get_cell(gScreen, pos, &cell)) {
      modelCell(cell, &gCh[c - c0], &gAttr[c - c0]);
    } else {
      gCh[c - c0] = ' ';
      gAttr[c - c0] = CellAttr{};
    }
  }
  M.putCells(row, c0, gCh, gAttr, c1 - c0);
  ScreenNoteCells(c0, c1 - 1, row);
}

int onDamage(VTermRect r, void*) {
  for (int32_t row = r.start_row; row < r.end_row; row++) copyRow(row, r.start_col, r.end_col);
  return 1;
}

int onMoveRect(VTermRect dest, VTermRect src, void*) {
  const int32_t down = src.start_row - dest.start_row;
  // The whole screen up: the grid's ring turns, as a line feed at the
  // bottom does in raw display (the rows left already went into the
  // history through onPushLine).
  if (down > 0 && dest.start_row == 0 && src.end_row == gRows && dest.start_col == 0 && src.start_col == 0 &&
      dest.end_col == gCols) {
    M.dropTopRows(down);
    ScreenNoteGridScroll(down);
    return 1;
  }
  const int32_t n = dest.end_col - dest.start_col;
  const int32_t rows = dest.end_row - dest.start_row;
  for (int32_t k = 0; k < rows; k++) {
    // Rows moving up are copied from the top, rows moving down from the bottom.
    const int32_t i = down >= 0 ? k : rows - 1 - k;
    M.copyCells(dest.start_row + i, dest.start_col, src.start_row + i, src.start_col, n);
    ScreenNoteCells(dest.start_col, dest.end_col - 1, dest.start_row + i);
  }
  return 1;
}

int onMoveCursor(VTermPos pos, VTermPos, int, void*) {
  M.cursorRow = std::clamp(pos.row, 0, M.rows() - 1);
  M.cursorCol = std::clamp(pos.col, 0, M.cols() - 1);
  ScreenNoteCaret();
  return 1;
}

int onTermProp(VTermProp prop, VTermValue* val, void*) {
  if (prop == VTERM_PROP_CURSORVISIBLE) {
    gCursorHidden = !val->boolean;
    ScreenNoteCaret();
  }
  return 1;
}

int onPushLine(int cols, const VTermScreenCell* cells, void*) {
  const int32_t n = std::min(cols, M.cols());
  for (int32_t c = 0; c < n; c++) modelCell(cells[c], &gCh[c], &gAttr[c]);
  M.pushHistoryRow(gCh, gAttr, n, false, gScrollbackLines.load(std::memory_order_relaxed));
  ScreenNoteHistoryRow();
  return 1;
}

const VTermScreenCallbacks kCallbacks = {
    onDamage, onMoveRect, onMoveCursor, onTermProp, nullptr, nullptr, onPushLine, nullptr,
};

// The emulator's answers, until VtSendAnswers takes them. A device that
// asks faster than the link sends finds the transmit buffer's overflow.
uint8_t gOut[4096];
int32_t gOutLen = 0;

void onOutput(const char* s, size_t len, void*) {
  const size_t room = sizeof gOut - static_cast<size_t>(gOutLen);
  const size_t n = std::min(len, room);
  std::memcpy(gOut + gOutLen, s, n);
  gOutLen += static_cast<int32_t>(n);
}

// The emulated screen's size: vt_size, or the view's whole rows and
// columns; within the grid.
void wantedSize(int32_t* cols, int32_t* rows) {
  if (!VtSizeOption(cols, rows)) {
    *cols = GxChar > 0 ? GxSize / GxChar : kScreenCols;
    *rows = GyChar > 0 ? GyVisible / GyChar : kScreenRows;
  }
  *cols = std::clamp(*cols, 2, M.cols());
  *rows = std::clamp(*rows, 2, M.rows());
}

}  // namespace

bool VtShowing() {
  return gEmulation.load(std::memory_order_relaxed) == kEmulationVt100 &&
         !gfHexPrint.load(std::memory_order_relaxed);
}

void VtStart() {
  if (gVt) vterm_free(gVt);
  wantedSize(&gCols, &gRows);
  gVt = vterm_new(gRows, gCols);
  vterm_set_utf8(gVt, 1);
  vterm_output_set_callback(gVt, onOutput, nullptr);
  gScreen = vterm_obtain_screen(gVt);
  vterm_screen_set_callbacks(gScreen, &kCallbacks, nullptr);
  vterm_screen_enable_altscreen(gScreen, 1);
  // Scrolls and damage gathered over a block of input and handed over
  // once at its end (VtFeed): a stream of lines costs a ring turn and the
  // changed rows per block, not a callback per cell.
  vterm_screen_set_damage_merge(gScreen, VTERM_DAMAGE_SCROLL);
  vterm_screen_reset(gScreen, 1);
  vterm_screen_flush_damage(gScreen);
  gRunning = true;
  gCursorHidden = false;
  gOutLen = 0;
  VtFeedReset();
}

void VtLeave() {
  if (!gRunning) return;
  gRunning = false;
  gCursorHidden = false;
}

void VtFeed(const uint8_t* data, int32_t len) {
  if (len <= 0) return;
  if (!gRunning) ClearDISPLAYScreen();   // which starts the emulator
  if (!gRunning) return;
  VtFeedDevice(data, len);
  vterm_screen_flush_damage(gScreen);
}

void VtFeedStatus(const char* text) {
  if (!gRunning) ClearDISPLAYScreen();
  if (!gRunning) return;
  // The text's letters are not read as the parameters or final byte of
  // a device's sequence cut off by it.
  VtEndSequence();
  for (const char* p = text; *p;) {
    const char* cr = std::strchr(p, '\r');
    const size_t n = cr ? static_cast<size_t>(cr - p) : std::strlen(p);
    if (n) vterm_input_write(gVt, p, n);
    if (!cr) break;
    vterm_input_write(gVt, "\r\n", 2);
    p = cr + 1;
  }
  vterm_screen_flush_damage(gScreen);
}

void VtViewSized() {
  if (!gRunning) return;
  int32_t cols = 0, rows = 0;
  // A view too small for a screen (a minimized window) leaves it as it is.
  if (!VtSizeOption(&cols, &rows) && (GxSize < 2 * GxChar || GyVisible < 2 * GyChar)) return;
  wantedSize(&cols, &rows);
  if (cols == gCols && rows == gRows) return;
  ScreenWriteBegin();
  const int32_t oldRows = gRows;
  // The scroll region and the left and right margins go back to the whole
  // screen, as a terminal's do when it is resized (libvterm 0.1.4 would keep
  // a top or left margin beyond the new screen and move cells outside it);
  // the cursor stays where it was (the device's saved one too).
  VtEndSequence();
  VTermPos at;
  vterm_state_get_cursorpos(vterm_obtain_state(gVt), &at);
  char whole[40];
  const int n = std::snprintf(whole, sizeof whole, "\x1b[r\x1b[s\x1b[%d;%dH", at.row + 1, at.col + 1);
  vterm_input_write(gVt, whole, static_cast<size_t>(n));
  vterm_set_size(gVt, rows, cols);   // rows leaving the top go into the history
  // Rows below the cursor that leave the top take the cursor with them, in
  // libvterm 0.1.4 above the screen's top.
  VtCursorInside();
  vterm_screen_flush_damage(gScreen);
  gCols = cols;
  gRows = rows;
  // Everything again, and blanks where the screen no longer reaches.
  for (int32_t r = 0; r < std::max(oldRows, rows); r++) copyRow(r, 0, M.cols());
  VTermPos pos;
  vterm_state_get_cursorpos(vterm_obtain_state(gVt), &pos);
  onMoveCursor(pos, pos, 1, nullptr);
  ScreenWriteEnd();
}

bool VtHasAnswers() { return gOutLen > 0; }

bool VtCursorHidden() { return gRunning && gCursorHidden; }

void VtSize(int32_t* cols, int32_t* rows) {
  *cols = gCols;
  *rows = gRows;
}

void VtApplyMode() {
  ScopedLock hold(ScreenLock());
  if (VtShowing()) {
    if (!gRunning) ClearDISPLAYScreen();
  } else {
    VtLeave();
  }
}

void VtQueueKey(int key, int mods) {
  if (!gRunning) return;
  static const VTermKey kKeys[] = {VTERM_KEY_NONE, VTERM_KEY_UP,     VTERM_KEY_DOWN,   VTERM_KEY_LEFT,
                                   VTERM_KEY_RIGHT, VTERM_KEY_HOME,  VTERM_KEY_END,    VTERM_KEY_INS,
                                   VTERM_KEY_DEL,  VTERM_KEY_PAGEUP, VTERM_KEY_PAGEDOWN};
  if (key < kVtKeyUp || key > kVtKeyPageDown) return;
  const int mod = ((mods & kVtModShift) ? VTERM_MOD_SHIFT : 0) | ((mods & kVtModCtrl) ? VTERM_MOD_CTRL : 0);
  vterm_keyboard_key(gVt, kKeys[key], static_cast<VTermModifier>(mod));
}

int32_t VtTakeOutput(uint8_t* out, int32_t max) {
  const int32_t n = std::min(gOutLen, max);
  std::memcpy(out, gOut, static_cast<size_t>(n));
  std::memmove(gOut, gOut + n, static_cast<size_t>(gOutLen - n));
  gOutLen -= n;
  return n;
}
