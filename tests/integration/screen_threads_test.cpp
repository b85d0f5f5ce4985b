// Two threads at the screen at once, as the worker (received blocks) and the
// user-interface thread (status texts, scrolling, find, copy) are.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "display/find.h"
#include "display/frame.h"
#include "display/screen.h"
#include "display/selection.h"
#include "display/view.h"
#include "settings/globals.h"
#include "settings/options.h"
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

// A flood of numbered lines on the worker while the user-interface thread
// scrolls through the history, finds, selects all and copies, runs frames
// and paints: every copy is a run of whole lines in order, none doubled or
// missing, even as rows leave the history under it.
TEST(ScreenThreads, AFloodWhileTheUserScrollsFindsAndCopies) {
  ResetProgramState();
  gScrollbackLines = 2000;
  SizeDISPLAY(nullptr, static_cast<uint16_t>(34 * GyChar), static_cast<uint16_t>(80 * GxChar));
  constexpr int kLines = 30000;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    std::string block;
    char line[16];
    for (int i = 0; i < kLines; i++) {
      std::snprintf(line, sizeof line, "L%06d\r", i);
      block += line;
      if (block.size() > 600) {
        WriteDISPLAYBlock(block.data(), static_cast<int32_t>(block.size()));
        block.clear();
      }
    }
    WriteDISPLAYBlock(block.data(), static_cast<int32_t>(block.size()));
    done = true;
  });
  auto inOrder = [](const std::string& text) {
    int last = -1;
    size_t at = 0;
    while (at < text.size()) {
      const size_t end = text.find('\n', at);
      const std::string row = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
      at = end == std::string::npos ? text.size() : end + 1;
      if (row.size() != 7 || row[0] != 'L') return false;
      const int n = std::atoi(row.c_str() + 1);
      if (last >= 0 && n != last + 1) return false;
      last = n;
    }
    return true;
  };
  static PaintCopy copy;
  const int codes[] = {kSbTop, kSbLineDown, kSbPageDown, kSbPageUp, kSbBottom};
  int round = 0;
  while (!done) {
    ScrollDISPLAYVert(nullptr, codes[round % 5], 0);
    FindInScreen(nullptr, round % 2 ? "L0" : "L01", false, round % 3 != 0, nullptr);
    if (round % 4 == 0) {
      SelectAllCells();
      EXPECT_TRUE(inOrder(SelectionText("\n"))) << "round " << round;
    }
    DISPLAYRunFrame(nullptr);
    DISPLAYPaintCopy(0, 0, 640, 544, &copy);
    round++;
  }
  worker.join();
  SelectAllCells();
  const std::string all = SelectionText("\n");
  EXPECT_TRUE(inOrder(all));
  char last[16];
  std::snprintf(last, sizeof last, "L%06d", kLines - 1);
  EXPECT_EQ(all.substr(all.size() - 7), last);
  EXPECT_EQ(all.size(), static_cast<size_t>(2000 + 127) * 8 - 1);
}
