// Two threads writing the screen at once, as the worker (received blocks in
// hex display) and the user-interface thread (status texts) do.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "display/frame.h"
#include "display/screen.h"
#include "display/view.h"
#include "settings/globals.h"
#include "tests/support/state.h"

TEST(ScreenThreads, BlocksStayHexAndStatusTextsStayCharacters) {
  ResetProgramState();
  gfHexPrint = 1;
  constexpr int kRounds = 2000;
  std::thread worker([] {
    const uint8_t block[] = {0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x0D};
    for (int i = 0; i < kRounds; i++) WriteDISPLAYBlock(block, sizeof block);
  });
  // The user-interface thread also runs the frames and paints meanwhile.
  std::thread ui([] {
    static PaintCopy copy;
    for (int i = 0; i < kRounds; i++) {
      WriteDISPLAYStatus2("\r-Rec-", "\r");
      DISPLAYRunFrame(nullptr);
      DISPLAYPaintCopy(0, 0, 640, 544, &copy);
    }
  });
  worker.join();
  ui.join();
  EXPECT_EQ(gfHexPrint.load(), 1);
  // Every row holds either whole status texts or hex digits of the block;
  // a mixture would show a raw 'Z' (0x5A) or a status text in hex (2d 52).
  for (int r = 0; r < kScreenRows; r++) {
    const std::string row = GridRow(r);
    EXPECT_EQ(row.find('Z'), std::string::npos) << row;
    EXPECT_EQ(row.find("2d 52"), std::string::npos) << row;
    if (row.find("-Rec-") != std::string::npos) {
      EXPECT_EQ(row.find("5a"), std::string::npos) << row;
    }
  }
}
