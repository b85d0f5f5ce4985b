// The display view through the headless window: what the scroll bars, the wheel, a size change, painting and the caret leave on the window once a frame has run.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/commands.h"
#include "display/frame.h"
#include "display/screen.h"
#include "display/screen_model.h"
#include "display/selection.h"
#include "display/view.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "tests/support/state.h"

namespace {

constexpr int L = 16;   // the tests' cell: 8 x 16 pixels
constexpr int kEnd = 94 * L;   // vertical range of a view 34 rows high

class View : public ::testing::Test {
 protected:
  // The grid's own view rules, as without a history (the Scrollback cases
  // below take the bar over history and grid).
  void SetUp() override {
    ResetProgramState();
    gScrollbackLines = 0;
    SizeDISPLAY(nullptr, 34 * L, 80 * 8);
    DISPLAYRunFrame(nullptr);
  }
  void TearDown() override { ghDISPLAYWnd = nullptr; }
  static void Write(const std::string& s) { WriteDISPLAYBlock(s.data(), static_cast<int32_t>(s.size())); }
  // A request of the vertical bar and the frame after it: the offset.
  static int32_t Vert(int code, int pos = 0, int handled = 1) {
    EXPECT_EQ(ScrollDISPLAYVert(nullptr, code, pos), handled) << "code " << code;
    DISPLAYRunFrame(nullptr);
    EXPECT_EQ(gHeadless.vScrollPos.load(), GyOffset) << "code " << code;
    return GyOffset;
  }
};

TEST_F(View, ScrollRequestsWheelAndSizeChangesStayWithinTheRange) {
  EXPECT_EQ(gHeadless.vScrollMax.load(), kEnd);
  EXPECT_EQ(gHeadless.hScrollMax.load(), 0);   // exactly 80 cells wide: no horizontal bar
  EXPECT_EQ(Vert(kSbPageDown), kEnd);
  EXPECT_EQ(Vert(kSbLineDown), kEnd);
  EXPECT_EQ(Vert(kSbLineUp), kEnd - L);
  EXPECT_EQ(Vert(kSbThumbTrack, 40, 0), kEnd - L);   // dragging moves nothing until released
  EXPECT_EQ(Vert(kSbEndScroll, 0, 0), kEnd - L);
  EXPECT_EQ(Vert(kSbThumbPosition, 100), 100);
  EXPECT_EQ(Vert(kSbThumbPosition, 5000), kEnd);
  EXPECT_EQ(Vert(kSbTop), 0);
  EXPECT_EQ(Vert(kSbLineUp), 0);
  EXPECT_EQ(Vert(kSbBottom), kEnd);
  EXPECT_EQ(Vert(kSbPageUp), 0);

  // A wheel notch is three line requests, within the range.
  ScrollDISPLAYWheel(nullptr, -1);
  EXPECT_EQ(Vert(kSbEndScroll, 0, 0), 3 * L);
  ScrollDISPLAYWheel(nullptr, 2);
  EXPECT_EQ(Vert(kSbEndScroll, 0, 0), 0);
  // Pulled one row beyond the range by the cursor, the view comes back into
  // it with the first line up, as the bar's requests bring it.
  Write(std::string(127, '\r'));
  EXPECT_EQ(GyOffset, 95 * L);
  ScrollDISPLAYWheel(nullptr, 1);
  EXPECT_EQ(Vert(kSbEndScroll, 0, 0), kEnd - 2 * L);

  // Enlarging the view below the offset brings the offset to the new end;
  // shrinking it keeps the offset.
  Vert(kSbBottom);
  SizeDISPLAY(nullptr, 40 * L, 80 * 8 - 1);
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(GyOffset, 88 * L);
  EXPECT_EQ(gHeadless.vScrollPos.load(), 88 * L);
  EXPECT_EQ(gHeadless.vScrollMax.load(), 88 * L);
  EXPECT_EQ(gHeadless.hScrollMax.load(), 1);   // one pixel narrower: a range of 1
  EXPECT_EQ(ScrollDISPLAYHorz(nullptr, kSbPageDown, 0), 1);
  EXPECT_EQ(GxOffset, 1);
  SizeDISPLAY(nullptr, 34 * L, 80 * 8 - 1);
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(GyOffset, 88 * L);
  EXPECT_EQ(gHeadless.vScrollMax.load(), kEnd);
  SizeDISPLAY(nullptr, 130 * L, 90 * 8);
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(GyOffset, 0);
  EXPECT_EQ(GxOffset, 0);
  EXPECT_EQ(gHeadless.vScrollMax.load(), 0);
  EXPECT_EQ(gHeadless.hScrollMax.load(), 0);
}

// Changes are only recorded: the first asks the window for a frame, and the
// frame moves the window content once for every row it moved.
TEST_F(View, OneFrameRequestAndOneViewMovePerFrame) {
  ghDISPLAYWnd = &gHeadless;   // any window: the headless one ignores it
  headlessReset();
  Write("a");
  Write("b\r");
  EXPECT_EQ(gHeadless.frameRequests.load(), 1);
  DISPLAYRunFrame(nullptr);
  Write("c");
  EXPECT_EQ(gHeadless.frameRequests.load(), 2);

  // 200 lines, the view scrolled to the top, then one echoed key: the view
  // is pulled 95 rows in one repaint, the cursor row the 33rd in the view,
  // the scroll position where the last one-row move would leave it.
  for (int i = 0; i < 200; i++) Write("line\r");
  Vert(kSbTop);
  headlessReset();
  Write("k");
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(GyOffset, 95 * L);
  EXPECT_EQ(gHeadless.vScrollPos.load(), kEnd);
  EXPECT_EQ(gHeadless.viewInvalidations.load(), 1);
  EXPECT_EQ(gHeadless.scrolls.load(), 0);
  EXPECT_EQ(gHeadless.frameRequests.load(), 1);

  // Lines at the bottom scroll the grid: one window scroll for all of them.
  long repaints = gHeadless.viewInvalidations, scrolls = gHeadless.scrolls;
  Write("1\r2\r3\r");
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(gHeadless.scrolls - scrolls, 1);
  EXPECT_EQ(gHeadless.viewInvalidations - repaints, 0);

  // Erase Screen: a blank grid, everything home, one repaint; the scroll
  // position stays where the grid's worth of line feeds would leave it.
  repaints = gHeadless.viewInvalidations, scrolls = gHeadless.scrolls;
  ClearDISPLAYScreen();
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(GridRow(127), "");
  EXPECT_EQ(GnRow + GnColumn + GxOffset + GyOffset, 0);
  EXPECT_EQ(gHeadless.vScrollPos.load(), kEnd);
  EXPECT_EQ(gHeadless.viewInvalidations - repaints, 1);
  EXPECT_EQ(gHeadless.scrolls - scrolls, 0);
}

TEST_F(View, APaintAfterAFloodScrolledTheGridPastTheLastFrameIsNeverBlank) {
  Write(std::string(200, '\r'));
  DISPLAYRunFrame(nullptr);
  gfHexPrint = 1;
  Write(std::string(300 * 27, 'x'));   // some 300 rows of hex, more than the grid holds, no frame since
  static PaintCopy copy;
  DISPLAYPaintCopy(0, 0, 80 * 8, 34 * L, &copy);
  ASSERT_GT(copy.range.lastRow, copy.range.firstRow);
  for (int32_t row = copy.range.firstRow; row <= copy.range.lastRow; row++) {
    EXPECT_NE(std::memchr(copy.cells[row], '7', static_cast<size_t>(copy.range.count)), nullptr) << row;
  }
}

TEST_F(View, PaintRangeAndCaret) {
  // A repaint before the frame draws the lines where the window still shows
  // them, though the grid has scrolled under them.
  Write("\rT" + std::string(126, '\r'));
  Vert(kSbTop);
  Write("\r");
  static PaintCopy copy;
  DISPLAYPaintCopy(0, 0, 8, 2 * L, &copy);
  EXPECT_EQ(copy.cells[1][0], 'T');
  EXPECT_EQ(copy.cells[0][0], ' ');
  Vert(kSbTop);
  DISPLAYPaintCopy(0, 0, 8, 2 * L, &copy);
  EXPECT_EQ(copy.cells[0][0], 'T');

  // The caret: none while the link is closed; a block of one cell, one
  // pixel right of the cursor cell, following it frame by frame; gone with
  // the focus.
  SetDISPLAYFocus(nullptr);
  EXPECT_EQ(gHeadless.caretExists.load(), 0);
  gfConnected = 1;
  SetDISPLAYFocus(nullptr);
  EXPECT_EQ(gHeadless.caretExists.load(), 1);
  EXPECT_EQ(gHeadless.caretWidth.load(), 8);
  EXPECT_EQ(gHeadless.caretHeight.load(), L);
  EXPECT_EQ(gHeadless.caretX.load(), 1);
  EXPECT_EQ(gHeadless.caretY.load(), 127 * L);
  Write("ab");
  EXPECT_EQ(gHeadless.caretX.load(), 1);
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(gHeadless.caretX.load(), 2 * 8 + 1);
  EXPECT_EQ(gHeadless.caretY.load(), 32 * L);
  KillDISPLAYFocus(nullptr);
  EXPECT_EQ(gHeadless.caretExists.load(), 0);
  gfConnected = 0;

  // A rectangle inside one cell draws that whole cell; beyond row 127 and
  // column 79 only background.
  SizeDISPLAY(nullptr, 130 * L, 90 * 8);
  DISPLAYRunFrame(nullptr);
  PaintRange p = DISPLAYPaintRange(9, 17, 10, 18);
  EXPECT_EQ(p.firstRow, 1);
  EXPECT_EQ(p.lastRow, 1);
  EXPECT_EQ(p.firstCol, 1);
  EXPECT_EQ(p.count, 1);
  EXPECT_EQ(p.x, 8);
  EXPECT_EQ(p.y0, L);
  p = DISPLAYPaintRange(0, 0, 90 * 8, 130 * L);
  EXPECT_EQ(p.lastRow, 127);
  EXPECT_EQ(p.count, 80);
  EXPECT_EQ(p.gridRight, 80 * 8);
  EXPECT_EQ(p.gridBottom, 128 * L);
}

// Cells are painted in their attributes, the same in both front ends: a
// red-on-black cell red on black, inverse and a selection each swapping the
// colours, runs broken where the look changes; in the history too.
TEST_F(View, CellsArePaintedInTheirAttributes) {
  Write("plain RED under");
  {
    ScopedLock hold(ScreenLock());
    gScreenModel.setAttrs(0, 6, 3, CellAttr{ColourIndex(1), ColourIndex(0), kAttrBold});
    gScreenModel.setAttrs(0, 10, 5, CellAttr{ColourRgb(1, 2, 3), kColourDefault, kAttrUnderline | kAttrInverse});
  }
  SelectionPress(0, 7, 1);
  SelectionDrag(0, 7);
  SelectionDrag(0, 8);
  static PaintCopy copy;
  const uint32_t text = 0x000000, paper = 0xFFFFFF;
  DISPLAYPaintCopy(0, 0, 80 * 8, L, &copy);
  EXPECT_EQ(DISPLAYCellLook(copy, 0, 0, text, paper), (CellLook{text, paper, false, false}));
  EXPECT_EQ(DISPLAYCellLook(copy, 0, 6, text, paper), (CellLook{0xCD0000, 0x000000, true, false}));
  EXPECT_EQ(DISPLAYCellLook(copy, 0, 7, text, paper), (CellLook{0x000000, 0xCD0000, true, false})) << "selected";
  EXPECT_EQ(DISPLAYCellLook(copy, 0, 10, text, paper), (CellLook{paper, 0x010203, false, true})) << "inverse";
  EXPECT_EQ(DISPLAYLookRun(copy, 0, 0, text, paper), 6);
  EXPECT_EQ(DISPLAYLookRun(copy, 0, 6, text, paper), 1);
  EXPECT_EQ(DISPLAYLookRun(copy, 0, 7, text, paper), 2);
  EXPECT_EQ(DISPLAYLookRun(copy, 0, 10, text, paper), 5);
  ClearSelection();
  gScrollbackLines = 100;
  Write(std::string(kScreenRows, '\r'));
  Vert(kSbTop);
  DISPLAYPaintCopy(0, 0, 80 * 8, L, &copy);
  EXPECT_EQ(std::string(copy.cells[copy.range.firstRow], 9), "plain RED");
  EXPECT_EQ(DISPLAYCellLook(copy, copy.range.firstRow, 6, text, paper), (CellLook{0xCD0000, 0x000000, true, false}));
}

// The view over history and grid: the bar covers both; scrolled up into
// the history the view stays on its text while output continues, the bar
// showing the growth; back at the end it follows output again.
TEST_F(View, ScrolledIntoTheHistoryTheViewStaysOnItsText) {
  gScrollbackLines = 10000;
  static PaintCopy copy;
  auto topRow = [] {
    DISPLAYPaintCopy(0, 0, 80 * 8, L, &copy);
    return std::string(copy.cells[copy.range.firstRow], 9);
  };
  for (int i = 0; i < 300; i++) Write("line " + std::to_string(1000 + i) + "\r");
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(gHeadless.vScrollMax.load(), 173 * L + kEnd);
  EXPECT_EQ(gHeadless.vScrollPos.load(), 173 * L + kEnd);
  ScrollDISPLAYVert(nullptr, kSbTop, 0);
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(DISPLAYViewBack(), 173);
  EXPECT_EQ(gHeadless.vScrollPos.load(), 0);
  EXPECT_EQ(topRow(), "line 1000");
  ScrollDISPLAYWheel(nullptr, -1);   // three rows down, still in the history
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(topRow(), "line 1003");

  headlessReset();
  for (int i = 0; i < 50; i++) Write("more\r");
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(topRow(), "line 1003");
  EXPECT_EQ(gHeadless.scrolls.load() + gHeadless.viewInvalidations.load(), 0) << "nothing on the window moved";
  EXPECT_EQ(gHeadless.vScrollPos.load(), 3 * L);
  EXPECT_EQ(gHeadless.vScrollMax.load(), 223 * L + kEnd);

  // Shift+Page Down a view's height less a row; Shift+End to the end, where
  // output pulls the view along again.
  DoDISPLAYCommand(nullptr, kCmdViewPageDown);
  EXPECT_EQ(DISPLAYViewBack(), 220 - 33);
  DoDISPLAYCommand(nullptr, kCmdViewBottom);
  EXPECT_EQ(DISPLAYViewBack(), 0);
  EXPECT_EQ(GyOffset, kEnd);
  Write("end\r");
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(gHeadless.vScrollPos.load(), 224 * L + kEnd);
  // In a stream of output the bar follows the history every few frames,
  // not every frame, and at once when the stream ends.
  int changes = 0, range = gHeadless.vScrollMax.load();
  for (int i = 0; i < 16; i++) {
    Write("s\r");
    DISPLAYRunFrame(nullptr);
    if (gHeadless.vScrollMax.load() != range) changes++;
    range = gHeadless.vScrollMax.load();
  }
  EXPECT_LE(changes, 3);
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(gHeadless.vScrollMax.load(), 240 * L + kEnd);
  EXPECT_EQ(gHeadless.vScrollPos.load(), 240 * L + kEnd);

  // A view held on rows that leave a full history stays on the oldest kept.
  DoDISPLAYCommand(nullptr, kCmdViewTop);
  gScrollbackLines = 240;
  Write("over\r");
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(DISPLAYViewBack(), 240);
  EXPECT_EQ(topRow(), "line 1001");
}

}  // namespace
