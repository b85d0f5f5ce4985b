// Fuzzes the screen model: arbitrary received blocks, with the first byte of
// each chunk toggling hex display, checking that the cursor stays inside the
// grid and the rows below it stay blank.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "display/screen.h"
#include "display/screen_model.h"
#include "display/view.h"
#include "settings/globals.h"

static void check() {
  if (GnRow < 0 || GnRow >= kScreenRows || GnColumn < 0 || GnColumn >= kScreenCols) std::abort();
  for (int r = GnRow + 1; r < kScreenRows; r++) {
    for (int c = 0; c < kScreenCols; c++) {
      if (gScreenModel.charAt(r, c) != ' ') std::abort();
    }
  }
  if (GyOffset < 0) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GxChar = 8;
  GyChar = 16;
  InitDISPLAYView();
  InitDISPLAYGrid();
  SizeDISPLAY(nullptr, 34 * 16, 80 * 8);
  size_t i = 0;
  while (i < size) {
    const uint8_t control = data[i++];
    const size_t len = control & 0x3F;
    gfHexPrint = (control & 0x40) ? 1 : 0;
    const size_t n = len < size - i ? len : size - i;
    if (control & 0x80) {
      WriteDISPLAYStatus("-PaUsE-");
    }
    WriteDISPLAYBlock(data + i, static_cast<int32_t>(n));
    i += n;
    check();
    if (control == 0xFF) {
      ClearDISPLAYScreen();
      check();
    }
  }
  gfHexPrint = 0;
  return 0;
}
