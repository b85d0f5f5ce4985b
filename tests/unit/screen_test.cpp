// The screen model seen as the user sees it: what the grid holds and where
// the cursor and the view stand after bytes are written.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "app/commands.h"
#include "display/frame.h"
#include "display/screen.h"
#include "display/save_output.h"
#include "display/screen_model.h"
#include "display/view.h"
#include "platform/posix/filedlg_hook.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "tests/support/state.h"

namespace {

std::string TempFolder() {
  char dir[] = "/tmp/zelto-screen-XXXXXX";
  return mkdtemp(dir) ? dir : "/tmp";
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Screen : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    SizeDISPLAY(nullptr, static_cast<uint16_t>(34 * GyChar), static_cast<uint16_t>(80 * GxChar));
  }
  static void Write(const std::string& s) { WriteDISPLAYBlock(s.data(), static_cast<int32_t>(s.size())); }
  static uint8_t Cell(int r, int c) { return GridCell(r, c); }
};

TEST_F(Screen, RawCarriageReturnStartsRowAndLineFeedIsIgnored) {
  Write("AB\r\nC");
  EXPECT_EQ(GridRow(0), "AB");
  EXPECT_EQ(GridRow(1), "C");
  EXPECT_EQ(GnRow, 1);
  EXPECT_EQ(GnColumn, 1);
  Write("\n");
  EXPECT_EQ(GnRow, 1);
  EXPECT_EQ(GnColumn, 1);
  EXPECT_EQ(GridRow(2), "");
}

TEST_F(Screen, NewLineOnLfTakesALoneLfAndEitherPairAsOneLineEnd) {
  gfNewLineOnLf = 1;
  Write("a\nb\nc\n");
  EXPECT_EQ(GridRow(0), "a");
  EXPECT_EQ(GridRow(1), "b");
  EXPECT_EQ(GridRow(2), "c");
  EXPECT_EQ(GnRow, 3);
  Write("d\r");   // a pair split between two writes
  Write("\ne\n\rf\r\r");
  EXPECT_EQ(GridRow(3), "d");
  EXPECT_EQ(GridRow(4), "e");
  EXPECT_EQ(GridRow(5), "f");
  EXPECT_EQ(GridRow(6), "") << "CR CR is two line ends";
  EXPECT_EQ(GnRow, 7);
  EXPECT_EQ(GnColumn, 0);
}

TEST_F(Screen, TimeStampedHexBeginsARowAtEachReceivedLine) {
  gfHexPrint = 1;
  WriteDISPLAYReceived("A\rB", 3, "12:00:00.001 ");
  WriteDISPLAYReceived("C\r", 2, "12:00:00.002 ");
  EXPECT_EQ(GridRow(0), "12:00:00.001 41 0d");
  EXPECT_EQ(GridRow(1), "12:00:00.001 42 43 0d");
  EXPECT_EQ(GridRow(2), "");
}

TEST_F(Screen, RawBackspaceBlanksLeftCellButNeverLeavesTheRow) {
  Write("abcdef");
  GnColumn = 5;
  Write("\b");
  EXPECT_EQ(GnColumn, 4);
  EXPECT_EQ(GridRow(0), "abcd f");
  Write("\r");
  Write("xy");
  GnColumn = 0;
  Write("\b");
  EXPECT_EQ(GnRow, 1);
  EXPECT_EQ(GnColumn, 0);
  EXPECT_EQ(GridRow(1), " y");
}

TEST_F(Screen, RawEveryByteValueTakesOneCellAndRowWrapsAtEighty) {
  const uint8_t odd[] = {0x00, 0x09, 0x1B, 0xFF};
  WriteDISPLAYBlock(odd, 4);
  EXPECT_EQ(GnColumn, 4);
  EXPECT_EQ(std::memcmp(GridText().data(), odd, 4), 0);

  Write("\r");
  Write(std::string(80, 'x'));
  EXPECT_EQ(GridRow(1), std::string(80, 'x'));
  EXPECT_EQ(GnRow, 2);
  EXPECT_EQ(GnColumn, 0);
  Write("\r");   // the wrap already began a row: this leaves one empty row
  EXPECT_EQ(GnRow, 3);
  EXPECT_EQ(GridRow(2), "");
}

TEST_F(Screen, HexShowsThreeLowercaseCellsPerByteAndControlBytesAsDigits) {
  gfHexPrint = 1;
  const uint8_t bytes[] = {0x0D, 0xA5, 0x0A, 0x08};
  WriteDISPLAYBlock(bytes, 4);
  EXPECT_EQ(GridRow(0), "0d a5 0a 08");
  EXPECT_EQ(GnRow, 0);
  EXPECT_EQ(GnColumn, 12);
}

TEST_F(Screen, HexWrapsInTheMiddleOfAByte) {
  gfHexPrint = 1;
  uint8_t bytes[27];
  std::memset(bytes, 0x41, sizeof bytes);
  bytes[26] = 0x7e;
  WriteDISPLAYBlock(bytes, 27);
  EXPECT_EQ(Cell(0, 78), '7');
  EXPECT_EQ(Cell(0, 79), 'e');
  EXPECT_EQ(Cell(1, 0), ' ');
  EXPECT_EQ(GnRow, 1);
  EXPECT_EQ(GnColumn, 1);
}

TEST_F(Screen, GridKeepsTheLast128RowsWithTheCursorOnTheLast) {
  Write("Q");
  Write(std::string(127, '\r'));
  EXPECT_EQ(GnRow, 127);
  EXPECT_EQ(Cell(0, 0), 'Q');
  Write("\r");
  EXPECT_EQ(GnRow, 127);
  EXPECT_EQ(GridRow(0), "");
  for (int r = 0; r < kScreenRows; r++) ASSERT_EQ(GridRow(r), "") << r;
  Write("last");
  Write(std::string(5, '\r'));
  EXPECT_EQ(GridRow(122), "last");
  EXPECT_EQ(GnRow, 127);
}

TEST_F(Screen, ViewFollowsTheCursorAtThirtyTwoRows) {
  Write(std::string(40, '\r'));
  EXPECT_EQ(GnRow, 40);
  EXPECT_EQ(GyOffset, 8 * GyChar);

  // The user scrolled to the top while the cursor stands at row 100.
  Write(std::string(60, '\r'));
  ScrollDISPLAYVert(nullptr, kSbTop, 0);
  EXPECT_EQ(GyOffset, 0);
  Write("z");
  EXPECT_EQ(GnRow, 100);
  EXPECT_EQ(GyOffset, 68 * GyChar);
}

TEST_F(Screen, ClearBlanksHomesAndKeepsHexSetting) {
  gfHexPrint = 1;
  Write("some text that fills cells");
  Write(std::string(50, '\r'));
  ClearDISPLAYScreen();
  for (int r = 0; r < kScreenRows; r++) ASSERT_EQ(GridRow(r), "") << r;
  EXPECT_EQ(GnRow, 0);
  EXPECT_EQ(GnColumn, 0);
  EXPECT_EQ(GxOffset, 0);
  EXPECT_EQ(GyOffset, 0);
  EXPECT_EQ(gfHexPrint.load(), 1);
}

TEST_F(Screen, StatusTextShowsAsCharactersUnderHexDisplay) {
  gfHexPrint = 1;
  WriteDISPLAYStatus("Aborted\r");
  EXPECT_EQ(GridRow(0), "Aborted");
  EXPECT_EQ(GnRow, 1);
  EXPECT_EQ(GnColumn, 0);
  EXPECT_EQ(gfHexPrint.load(), 1);
  Write("A");
  EXPECT_EQ(GridRow(1), "41");
  WriteDISPLAYStatus2("COM Tx Timeout->", "Aborted\r");
  EXPECT_EQ(GridRow(1), "41 COM Tx Timeout->Aborted");
}

TEST_F(Screen, NothingWrittenForEmptyOrNegativeLength) {
  Write("ab");
  WriteDISPLAYBlock("zz", 0);
  WriteDISPLAYBlock("zz", -5);
  EXPECT_EQ(GridRow(0), "ab");
  EXPECT_EQ(GnColumn, 2);
}

// Runs of plain characters are laid in as a whole: a block must leave the
// grid, cursor and view exactly as the same bytes written one at a time,
// whatever column a run starts in and whatever breaks it (wrap, CR, LF,
// backspace), over enough rows to scroll the grid.
TEST_F(Screen, ABlockShowsTheSameAsItsBytesOneByOne) {
  std::string block;
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  while (block.size() < 40000) {
    const uint32_t pick = next() % 10;
    if (pick == 0) block += '\r';
    else if (pick == 1) block += '\n';
    else if (pick == 2) block += '\b';
    else block.append(next() % 200, static_cast<char>('!' + next() % 90));
  }
  auto state = [] {
    return GridText() + "|" + std::to_string(GnRow) + "," +
           std::to_string(GnColumn) + "," + std::to_string(GxOffset) + "," + std::to_string(GyOffset);
  };
  for (size_t cut : {block.size(), size_t{1537}, size_t{79}}) {
    ResetProgramState();
    SizeDISPLAY(nullptr, static_cast<uint16_t>(34 * GyChar), static_cast<uint16_t>(80 * GxChar));
    for (size_t at = 0; at < block.size(); at += cut) Write(block.substr(at, cut));
    const std::string whole = state();
    ResetProgramState();
    SizeDISPLAY(nullptr, static_cast<uint16_t>(34 * GyChar), static_cast<uint16_t>(80 * GxChar));
    for (char c : block) Write(std::string(1, c));
    EXPECT_EQ(whole, state()) << "blocks of " << cut;
  }
}

// A frame marks the cells written since the last one as one rectangle, in
// window pixels under the view's offset; rows that only moved with the view
// or the grid are moved with the window content, not drawn again.
TEST_F(Screen, AFrameMarksTheWrittenCellsAsOneRectangle) {
  auto marked = [] {
    DISPLAYRunFrame(nullptr);
    std::string out;
    for (const MarkedRect& r : headlessMarkedRects()) {
      char one[48];
      std::snprintf(one, sizeof one, "(%d,%d %dx%d)", r.left / GxChar, r.top / GyChar, r.width / GxChar,
                    r.height / GyChar);
      out += one;
      EXPECT_EQ(r.left % GxChar, 0);
      EXPECT_EQ(r.top % GyChar, 0);
    }
    headlessReset();
    return out;
  };
  headlessKeepMarkedRects(true);
  marked();
  Write("abc");
  EXPECT_EQ(marked(), "(0,0 3x1)");
  Write("d\re");   // the carriage return marks the first cell of the new row
  EXPECT_EQ(marked(), "(0,0 4x2)");
  gfHexPrint = 1;
  Write("AB");
  EXPECT_EQ(marked(), "(1,1 6x1)");
  gfHexPrint = 0;

  // Under a view that follows the cursor, rows are marked where they show.
  Write(std::string(40, '\r'));
  marked();
  Write("xy");
  EXPECT_EQ(GyOffset, 9 * GyChar);
  EXPECT_EQ(marked(), "(0,32 2x1)");
  Write("\r\r");   // the line feeds' cells, under a view two rows further down
  EXPECT_EQ(marked(), "(0,31 1x2)");
  Write("\r\r");   // the view's move is one window scroll
  DISPLAYRunFrame(nullptr);
  EXPECT_EQ(gHeadless.scrolls.load(), 1);
  EXPECT_EQ(gHeadless.viewInvalidations.load(), 0);
  headlessKeepMarkedRects(false);
}

// Rows that leave the grid's top go into the history, up to the limit:
// 20000 numbered lines leave the newest 10000 above the grid, in order, none
// doubled or missing, and Select All takes history and grid.
TEST_F(Screen, TheHistoryKeepsTheNewestRowsThatLeftTheGrid) {
  std::string stream, expected;
  char line[32];
  for (int i = 1; i <= 20000; i++) {
    std::snprintf(line, sizeof line, "line %05d", i);
    stream += std::string(line) + "\r";
    // The grid holds the last 127 lines and the empty cursor row.
    if (i > 20000 - 127 - 10000) expected += std::string(expected.empty() ? "" : "\n") + line;
  }
  Write(stream);
  EXPECT_EQ(gScreenModel.historyRows(), 10000);
  EXPECT_EQ(GridRow(126), "line 20000");
  DoDISPLAYCommand(nullptr, kCmdSelectAll);
  DoDISPLAYCommand(nullptr, kCmdCopy);
  EXPECT_EQ(headlessClipboard(0), expected);
  // Save Output As: the same rows, each ended by LF.
  const std::string dir = TempFolder();
  const std::string path = dir + "/out.txt";
  posixFileDlgAnswer(path.c_str());
  DoDISPLAYCommand(nullptr, kCmdSaveOutput);
  EXPECT_EQ(FileText(path), expected + "\n");
  EXPECT_NE(GridText().find("-Saved 10127 lines to " + path + "-"), std::string::npos);
  posixFileDlgReset();
  std::filesystem::remove_all(dir);

  // Erase Screen keeps the history, Clear Scrollback empties it too.
  DoDISPLAYCommand(nullptr, kCmdEraseScreen);
  EXPECT_EQ(gScreenModel.historyRows(), 10000);
  EXPECT_EQ(GridRow(126), "");
  DoDISPLAYCommand(nullptr, kCmdClearScrollback);
  EXPECT_EQ(gScreenModel.historyRows(), 0);
  EXPECT_EQ(GnRow + GnColumn + GyOffset, 0);

  // A lower limit takes the oldest rows at once; 0 keeps none, as the grid
  // alone did.
  Write(stream.substr(0, 11 * 500));
  EXPECT_EQ(gScreenModel.historyRows(), 500 - 127);
  gScrollbackLines = 100;
  ApplyScrollbackLimit();
  EXPECT_EQ(gScreenModel.historyRows(), 100);
  RowCells oldest;
  ASSERT_TRUE(gScreenModel.readRow(-100, &oldest));
  EXPECT_EQ(oldest.ch[9], '4');   // "line 00274"
  gScrollbackLines = 0;
  Write("\r");
  EXPECT_EQ(gScreenModel.historyRows(), 0);
  DoDISPLAYCommand(nullptr, kCmdSelectAll);
  DoDISPLAYCommand(nullptr, kCmdCopy);
  EXPECT_EQ(headlessClipboard(0).substr(0, 10), "line 00375");
}

// Save Output As writes the whole file or leaves everything as it was:
// over an existing file, into a folder that cannot take it, onto a folder
// or a FIFO, each refusal a box with the system's reason.
TEST_F(Screen, SaveOutputReplacesAFileWholeOrLeavesNothingBehind) {
  Write("first\rsecond\r");
  const std::string dir = TempFolder();
  const std::string path = dir + "/kept.txt";
  { std::ofstream(path) << "an older, longer file of the user's\n"; }
  EXPECT_EQ(SaveDISPLAYOutput(nullptr, path.c_str()), 2);
  EXPECT_EQ(FileText(path), "first\nsecond\n");
  const std::string fifo = dir + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& bad : {std::string("/proc/zelto-out.txt"), dir + "/missing/out.txt", dir, fifo}) {
    headlessClearMessages();
    EXPECT_EQ(SaveDISPLAYOutput(nullptr, bad.c_str()), -1) << bad;
    ASSERT_EQ(headlessMessageCount(), 1) << bad;
    EXPECT_EQ(headlessMessage(0).text.rfind("Output not saved to " + bad + ":\n", 0), 0u) << headlessMessage(0).text;
  }
  EXPECT_NE(headlessMessage(0).text.find("regular"), std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 2)
      << "no temporary file left";
  EXPECT_EQ(FileText(path), "first\nsecond\n");

  // A disk that fills up during the save (a tmpfs of 16 KiB, mounted in a
  // mount namespace of one thread alone; root only): the box gives the
  // system's reason, the file of that name stays as it was, nothing is left.
  const std::string disk = dir + "/disk";
  std::filesystem::create_directory(disk);
  bool mounted = false;
  std::thread full([&] {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("zelto-test", disk.c_str(), "tmpfs", 0, "size=16k") != 0)
      return;
    mounted = true;
    const std::string out = disk + "/out.txt";
    { std::ofstream(out) << "the user's own file\n"; }
    for (int i = 0; i < 600; i++) Write("a row of output long enough that six hundred of them fill the disk\r");
    headlessClearMessages();
    EXPECT_EQ(SaveDISPLAYOutput(nullptr, out.c_str()), -1);
    ASSERT_EQ(headlessMessageCount(), 1);
    EXPECT_NE(headlessMessage(0).text.find(std::strerror(ENOSPC)), std::string::npos) << headlessMessage(0).text;
    EXPECT_EQ(FileText(out), "the user's own file\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk), std::filesystem::directory_iterator()), 1);
    umount(disk.c_str());
  });
  full.join();
  std::filesystem::remove_all(dir);
  if (!mounted) GTEST_SKIP() << "no tmpfs could be mounted (root is needed)";
}

// Cells keep their attributes through the model's interface, in the grid
// and in the history; raw and hex output write the default ones. A line of
// a megabyte without a line end wraps row after row into the history.
TEST_F(Screen, AttributesStayWithTheirCellsAndLongLinesWrapIntoTheHistory) {
  const CellAttr red{ColourIndex(1), ColourIndex(0), kAttrBold};
  Write("abc");
  {
    ScopedLock hold(ScreenLock());
    gScreenModel.setAttrs(0, 1, 2, red);
  }
  Write("\rd");
  GnRow = 0;
  GnColumn = 2;
  Write("X");
  {
    ScopedLock hold(ScreenLock());
    EXPECT_EQ(gScreenModel.attrAt(0, 0), CellAttr{});
    EXPECT_EQ(gScreenModel.attrAt(0, 1), red);
    EXPECT_EQ(gScreenModel.attrAt(0, 2), CellAttr{}) << "written over in the default attributes";
    EXPECT_EQ(ColourToRgb(red.fg, 0), 0xCD0000u);
  }
  GnRow = 1;
  GnColumn = 1;
  Write(std::string(kScreenRows, '\r'));
  RowCells row;
  {
    ScopedLock hold(ScreenLock());
    ASSERT_TRUE(gScreenModel.readRow(-2, &row));
  }
  EXPECT_EQ(row.used, 3);
  EXPECT_EQ(row.ch[2], 'X');
  EXPECT_EQ(row.attr[1], red);
  EXPECT_EQ(row.attr[2], CellAttr{});

  ClearDISPLAYScrollback();
  const std::string mb(1 << 20, 'm');
  Write(mb);
  Write(mb);
  EXPECT_EQ(gScreenModel.historyRows(), 10000);
  ScopedLock hold(ScreenLock());
  ASSERT_TRUE(gScreenModel.readRow(-1, &row));
  EXPECT_TRUE(row.wrapped);
  EXPECT_EQ(row.used, kScreenCols);
  EXPECT_EQ(GnColumn, (2 * (1 << 20)) % kScreenCols);
}

}  // namespace
