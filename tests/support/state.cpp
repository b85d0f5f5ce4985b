// Test support: a clean program state before each test.
#include "tests/support/state.h"

#include "display/screen.h"
#include "display/screen_model.h"
#include "display/selection.h"
#include "display/view.h"
#include "link/connection.h"
#include "link/serial.h"
#include "transfer/filesend.h"
#include "transfer/paste.h"
#include "transfer/record.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "settings/options.h"

void ResetProgramState() {
  // A test that failed half-way may have left a send or record file open.
  AbortSendFileQuietly();
  CloseRecFileQuietly();
  AbortPasteQuietly();
  closeCOM();   // and forgets what the last open asked for
  ClearSelection();
  ResetSharedState();
  ResetOptions();
  InitDISPLAYView();
  InitDISPLAYGrid();
  GxChar = 8;
  GyChar = 16;
  SetDISPLAYPageSizes(34);
  gComTxLen = 0;
  gByteCount = 0;
  headlessReset();
  headlessClearMessages();
  headlessSetClipboard("", 0);
  headlessSetClipboard("", 1);
}

std::string GridRow(int r) {
  ScopedLock hold(ScreenLock());
  std::string s;
  for (int c = 0; c < kScreenCols; c++) s += static_cast<char>(gScreenModel.charAt(r, c));
  const auto end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

std::string GridText() {
  ScopedLock hold(ScreenLock());
  std::string s;
  for (int r = 0; r < kScreenRows; r++)
    for (int c = 0; c < kScreenCols; c++) s += static_cast<char>(gScreenModel.charAt(r, c));
  return s;
}

uint8_t GridCell(int r, int c) {
  ScopedLock hold(ScreenLock());
  return static_cast<uint8_t>(gScreenModel.charAt(r, c));
}

int CursorRow() {
  ScopedLock hold(ScreenLock());
  return GnRow;
}

int CursorColumn() {
  ScopedLock hold(ScreenLock());
  return GnColumn;
}
