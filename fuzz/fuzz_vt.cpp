// Fuzzes VT100 emulation's feed: arbitrary device bytes in blocks, with the first byte of each chunk choosing the character set, a view resize, Erase Screen or a key, checking that the cursor stays inside the emulated screen and the grid below it stays blank.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "display/keyboard.h"
#include "display/screen.h"
#include "display/screen_model.h"
#include "display/view.h"
#include "display/vt_screen.h"
#include "settings/globals.h"
#include "settings/options.h"

static void check() {
  int32_t cols = 0, rows = 0;
  {
    ScopedLock hold(ScreenLock());
    VtSize(&cols, &rows);
  }
  if (GnRow < 0 || GnRow >= rows || GnColumn < 0 || GnColumn >= cols) std::abort();
  for (int r = rows; r < kScreenRows; r++) {
    for (int c = 0; c < kScreenCols; c++) {
      if (gScreenModel.charAt(r, c) != ' ') std::abort();
    }
  }
  for (int r = 0; r < rows; r++) {
    for (int c = cols; c < kScreenCols; c++) {
      if (gScreenModel.charAt(r, c) != ' ') std::abort();
    }
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GxChar = 8;
  GyChar = 16;
  gScrollbackLines = 200;
  gEmulation = kEmulationVt100;
  gVtCharset = kVtCharsetUtf8;
  InitDISPLAYView();
  InitDISPLAYGrid();
  SizeDISPLAY(nullptr, 24 * 16, 80 * 8);
  size_t i = 0;
  while (i < size) {
    const uint8_t control = data[i++];
    const size_t n = (control & 0x3F) < size - i ? (control & 0x3F) : size - i;
    switch (control >> 6) {
      case 1: gVtCharset = control % 3; break;
      case 2:   // the window resized, or minimized
        SizeDISPLAY(nullptr, static_cast<uint16_t>((control & 0x3F) * 16), static_cast<uint16_t>((control & 0x1F) * 24));
        break;
      case 3:
        if (control == 0xFF) ClearDISPLAYScreen();
        ProcessDISPLAYKey(nullptr, control % 11, control % 4);
        break;
      default: break;
    }
    WriteDISPLAYReceived(data + i, static_cast<int32_t>(n), nullptr);
    i += n;
    check();
  }
  gEmulation = kEmulationNone;
  VtApplyMode();
  return 0;
}
