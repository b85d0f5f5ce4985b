// VT100 emulation as the user and the device see it: what the grid, its colours, the cursor and the history hold after a device's bytes, what keys and answers reach the device, and the hint in raw display.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "app/commands.h"
#include "display/keyboard.h"
#include "display/screen.h"
#include "display/screen_model.h"
#include "display/view.h"
#include "display/vt_screen.h"
#include "link/connection.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "tests/support/state.h"

namespace {

class Vt : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    VtNewConnection();
    std::snprintf(gszVtSize, sizeof gszVtSize, "40x10");
    gEmulation = kEmulationVt100;
    VtApplyMode();
    gfConnected = 1;   // a link counts as open; no worker drains the buffer
  }
  void TearDown() override {
    gfConnected = 0;
    gComTxLen = 0;
    gEmulation = kEmulationNone;
    VtApplyMode();
  }
  // A block as the link hands it over, in memory of exactly its size.
  static void Receive(const std::string& s) {
    std::unique_ptr<char[]> block(new char[s.size()]);
    std::memcpy(block.get(), s.data(), s.size());
    WriteDISPLAYReceived(block.get(), static_cast<int32_t>(s.size()), nullptr);
  }
  static std::string Sent() { return std::string(reinterpret_cast<const char*>(gComTxBuf), gComTxLen); }
  static CellAttr Attr(int r, int c) {
    ScopedLock hold(ScreenLock());
    return gScreenModel.attrAt(r, c);
  }
  static void VtViewSizedLocked() {
    ScopedLock hold(ScreenLock());
    VtViewSized();
  }
  static std::string HistoryRow(int64_t back) {
    ScopedLock hold(ScreenLock());
    static RowCells row;
    if (!gScreenModel.readRow(-back, &row)) return "<none>";
    std::string s;
    for (int c = 0; c < row.used; c++) s += static_cast<char>(row.ch[c]);
    return s;
  }
};

TEST_F(Vt, ColoursBoldUnderlineInverseAndEraseInLine) {
  Receive("\x1b[0;32mI (25907) ok\x1b[0m\r\n\x1b[1;4;7mX\x1b[0m \x1b[38;5;200mP\x1b[48;2;1;2;3mQ");
  EXPECT_EQ(GridRow(0), "I (25907) ok");
  EXPECT_EQ(Attr(0, 0).fg, ColourIndex(2));
  EXPECT_EQ(Attr(0, 0).bg, kColourDefault);
  EXPECT_TRUE(Attr(0, 12).isDefault()) << "ESC [0m ends the colour";
  EXPECT_EQ(Attr(1, 0).flags, kAttrBold | kAttrUnderline | kAttrInverse);
  EXPECT_EQ(Attr(1, 2).fg, ColourIndex(200));
  EXPECT_EQ(Attr(1, 3).bg, ColourRgb(1, 2, 3));
  // A line editor: back three, erase to the end of the line, new text.
  Receive("\rabcdef\x1b[3D\x1b[KXY");
  EXPECT_EQ(GridRow(1), "abcXY");
  EXPECT_EQ(CursorRow(), 1);
  EXPECT_EQ(CursorColumn(), 5);
}

TEST_F(Vt, CursorAddressingScrollRegionsAndTheHistory) {
  for (int i = 0; i < 12; i++) Receive("line " + std::to_string(i) + "\r\n");
  // Ten rows, the cursor on the last: three lines went up into the history, oldest first.
  EXPECT_EQ(HistoryRow(3), "line 0");
  EXPECT_EQ(HistoryRow(1), "line 2");
  EXPECT_EQ(GridRow(0), "line 3");
  EXPECT_EQ(GridRow(8), "line 11");
  EXPECT_EQ(GridRow(10), "") << "below the emulated screen the grid stays blank";
  // A region of rows 2..4 scrolled up: the rows outside stay, nothing goes to the history.
  const int64_t before = gScreenModel.historyRows();
  Receive("\x1b[3;5r\x1b[5;1H\n\x1b[r");
  EXPECT_EQ(GridRow(1), "line 4");
  EXPECT_EQ(GridRow(2), "line 6");
  EXPECT_EQ(GridRow(4), "");
  EXPECT_EQ(GridRow(5), "line 8");
  EXPECT_EQ(gScreenModel.historyRows(), before);
  // Addressing far outside the screen stops at its edge.
  Receive("\x1b[9999;9999HZ\x1b[00000000004;000000002HL");
  EXPECT_EQ(GridCell(9, 39), 'Z');
  EXPECT_EQ(GridCell(3, 1), 'L') << "leading zeros";
  // Switching between 80 and 132 columns erases the screen, as a VT100's does.
  Receive("\x1b[?3");
  Receive("l\x1b(0qx\x1b(B");
  EXPECT_EQ(GridRow(5), "");
  ScopedLock hold(ScreenLock());
  EXPECT_EQ(gScreenModel.charAt(0, 0), 0x2500u) << "the line-drawing set";
}

TEST_F(Vt, AnswersAndKeysReachTheDevice) {
  Receive("\x1b[5;7H\x1b[6n");
  EXPECT_EQ(Sent(), "\x1b[5;7R");
  gComTxLen = 0;
  ProcessDISPLAYKey(nullptr, kVtKeyUp, 0);
  Receive("\x1b[?1h");   // application cursor keys
  ProcessDISPLAYKey(nullptr, kVtKeyLeft, 0);
  ProcessDISPLAYCharacter(nullptr, 8);
  gBackspaceSends = kBackspaceBs;
  ProcessDISPLAYCharacter(nullptr, 8);
  ProcessDISPLAYCharacter(nullptr, 0xE9);   // é, as UTF-8
  EXPECT_EQ(Sent(), "\x1b[A\x1bOD\x7f\x08\xc3\xa9");
  // Raw display: the keys beyond characters send nothing, as ever.
  gEmulation = kEmulationNone;
  VtApplyMode();
  gComTxLen = 0;
  EXPECT_EQ(ProcessDISPLAYKey(nullptr, kVtKeyUp, 0), 0);
  EXPECT_EQ(Sent(), "");
}

TEST_F(Vt, SwitchingOnStartsAFreshScreenAndOffGoesBackToRawDisplay) {
  gEmulation = kEmulationNone;
  VtApplyMode();
  Receive("raw \x1b[31mred");
  EXPECT_EQ(GridRow(1), "-The device sends VT100 sequences: Config > VT100 Emulation shows them-");
  Receive("\x1b[0m again\r");
  EXPECT_EQ(GridRow(3), "") << "the hint comes once per connection";
  DoDISPLAYCommand(nullptr, kCmdVt100);
  EXPECT_EQ(gEmulation.load(), kEmulationVt100);
  EXPECT_EQ(GridRow(0), "") << "a cleared grid";
  Receive("\x1b[31mred");
  EXPECT_EQ(GridRow(0), "red");
  EXPECT_EQ(Attr(0, 0).fg, ColourIndex(1));
  DoDISPLAYCommand(nullptr, kCmdVt100);
  Receive("\x1b");
  EXPECT_EQ(GridCell(0, 3), 0x1B) << "raw display goes on at the emulator's cursor";
}

TEST_F(Vt, HostileInputNeverOverruns) {
  // A repeat before anything was printed repeats nothing (and never hangs).
  Receive("\x1b[5b\xe2\x80\x8b\x1b[");
  Receive("3bab\x1b[3b");
  EXPECT_EQ(GridRow(0), "abbbb");
  // A string's terminator split over two blocks, or with controls inside it.
  Receive("\x1b]0;title\x1b");
  Receive("\\c\x1bP\x1b\x06\x06\\d\x1b\x9b\xffP\x1b\x17\\");
  EXPECT_EQ(GridRow(0), "abbbbcd");
  std::string all;
  for (int b = 0; b < 256; b++) all += static_cast<char>(b);
  Receive(all);
  Receive("\x1b]0;" + std::string(1 << 20, 'x') + "\x07");
  for (int i = 0; i < 100000; i += 500) {
    std::string regions;
    for (int k = 0; k < 500; k++) regions += "\x1b[" + std::to_string(k % 9 + 1) + ";" + std::to_string(k % 7 + 3) + "r\n";
    Receive(regions);
  }
  Receive("\x1b[1" + std::string(40, ';') + "31mX");   // more arguments than libvterm keeps
  Receive("\x1b[5;5H\x1b[99999999999999999999X\x1b[2147483647C");   // arguments beyond any sum
  gVtCharset = kVtCharsetLatin1;   // a C1 byte dropped inside a sequence is not there for the count either
  Receive("\x1b[5:\x96" + std::string(30, '3') + "X");
  gVtCharset = kVtCharsetUtf8;
  // A character cut short by a line end in the next block.
  Receive("\x1b[2J\x1b[Hx\xe2\x94");
  Receive("\r\na\xe2\x94");
  Receive("\x82");
  EXPECT_EQ(GridRow(1).substr(0, 1) + std::to_string(gScreenModel.charAt(1, 1)), "a9474")
      << "the cut one dropped, the whole one (U+2502) drawn";
  // C1 controls in UTF-8, whole or split, on a narrow screen in insert mode.
  std::snprintf(gszVtSize, sizeof gszVtSize, "3x2");
  ClearDISPLAYScreen();
  Receive(std::string("\xff\xff\xff\xff\xff\x43\x6b\x6b\x6b\x6b\x6f\x00\x6e\x1b\x38\x41\x1e\x00\x00\x60\xff\xff\xff\xff"
                      "\x62\x5b\x3f\x1b\x52\x30\x00\xff\xff\xff\xff\xff\xff\xff\x30\xff\xff\xff\xff\x29\x5b\x01\x00\xff"
                      "\xff\xff\xef\xff\xff\xff\xff\xff\x00\x1b\x5b\x00\x30\x34\x68\x33\x33\x53\xc3\xbf\x6c\xc2\xa9\xc3"
                      "\xa2\xc2\x94\xc2",
                      76));
  Receive("\x83\xc2");
  Receive("\xa9");
  // A scroll region below the bottom of a screen made smaller.
  std::snprintf(gszVtSize, sizeof gszVtSize, "18x38");
  ClearDISPLAYScreen();
  Receive("\x1b[35r\x1b[36;1H\n\x1b[0");
  std::snprintf(gszVtSize, sizeof gszVtSize, "54x18");
  VtViewSizedLocked();
  Receive("\n\n\n\x1b[18;54H\x1b" "7");
  // A cursor saved on a larger screen, restored on a smaller one.
  std::snprintf(gszVtSize, sizeof gszVtSize, "20x5");
  VtViewSizedLocked();
  Receive("\x1b" "8XY");
  EXPECT_EQ(CursorRow() * 100 + CursorColumn(), 401) << "X in the last column, Y on a new bottom row";
  // Text below the cursor on a screen made smaller.
  Receive("\x1b[5;20HZ\x1b[H");
  std::snprintf(gszVtSize, sizeof gszVtSize, "12x2");
  VtViewSizedLocked();
  Receive("AB");
  EXPECT_EQ(GridRow(0).substr(0, 2), "AB");
  std::snprintf(gszVtSize, sizeof gszVtSize, "40x10");
  ClearDISPLAYScreen();
  Receive("\x1b[r\x1b[2J\x1b[Hok\x1b[3");
  WriteDISPLAYStatus("Aborted\r");   // a status text never ends a device's sequence
  EXPECT_EQ(GridRow(0), "okAborted");
}

}  // namespace
