// Selecting, copying and pasting as the user sees it: the text a selection yields, where it goes when the grid scrolls, and the bytes a paste sends.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/commands.h"
#include "display/charset.h"
#include "display/find.h"
#include "display/screen.h"
#include "display/selection.h"
#include "display/view.h"
#include "link/connection.h"
#include "transfer/upload.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "tests/support/state.h"
#include "transfer/filesend.h"
#include "transfer/paste.h"

namespace {

class Selection : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  void TearDown() override {
    gfConnected = 0;
    gComTxLen = 0;
  }
  static void Show(const std::string& s) { WriteDISPLAYBlock(s.data(), static_cast<int32_t>(s.size())); }
  static std::string Copied() {
    DoDISPLAYCommand(nullptr, kCmdCopy);
    return headlessClipboard(0);
  }
  // Pastes text with no worker running and takes what reached the link.
  static std::string Pasted(const std::string& text) {
    headlessSetClipboard(text, 0);
    DoDISPLAYCommand(nullptr, kCmdPaste);
    while (PasteStep()) {
    }
    std::string sent(reinterpret_cast<const char*>(gComTxBuf), gComTxLen);
    gComTxLen = 0;
    return sent;
  }
};

TEST_F(Selection, DragCopiesRowWiseAsShownWithoutTrailingBlanks) {
  Show("first line   \rsecond \x01\x82\xB0\xFF row\r   third");
  SelectionPress(0, 6, 1);
  EXPECT_EQ(Copied(), "") << "a click alone selects nothing";
  SelectionDrag(2, 4);
  // Bytes as the screen draws them (code page 437), rows joined by LF.
  EXPECT_EQ(Copied(), "line\nsecond \u263A\u00E9\u2591\u00A0 row\n   th");
  SelectionDrag(0, 2);   // back above the anchor: the other way round
  EXPECT_EQ(Copied(), "rst l");
  SelectionPress(1, 3, 2);
  EXPECT_EQ(Copied(), "second");
  SelectionDrag(1, 13);
  EXPECT_EQ(Copied(), "second \u263A\u00E9\u2591\u00A0 row") << "by words: to the end of the word reached";
  SelectionPress(2, 0, 3);
  EXPECT_EQ(Copied(), "   third");
  EXPECT_EQ(headlessClipboard(1), "") << "the primary selection is the front end's to offer";
}

TEST_F(Selection, HexDisplayIsCopiedAsItsDigits) {
  gfHexPrint = 1;
  Show("A\x82\r");
  DoDISPLAYCommand(nullptr, kCmdSelectAll);
  EXPECT_EQ(Copied(), "41 82 0d");
  EXPECT_EQ(headlessClipboard(1), "41 82 0d") << "Select All offers the primary selection";
}

TEST_F(Selection, MovesWithTheTextAsTheGridScrollsAndGoesWithIt) {
  GnRow = kScreenRows - 1;
  Show("kept");
  SelectionPress(kScreenRows - 1, 0, 3);
  Show("\rnext\r");
  EXPECT_EQ(Copied(), "kept");
  int first = 0, last = 0;
  EXPECT_EQ(selectionRowSpan(kScreenRows - 3, &first, &last), 1);
  // Into the history with its row, still on its text.
  for (int i = 0; i < kScreenRows; i++) Show("\r");
  EXPECT_EQ(selectionRowSpan(-3, &first, &last), 1);
  EXPECT_EQ(Copied(), "kept");
  // Without a history it goes with the row.
  gScrollbackLines = 0;
  Show("\r");
  EXPECT_EQ(SelectionActive(), 0);
  SelectAllCells();
  DoDISPLAYCommand(nullptr, kCmdEraseScreen);
  EXPECT_EQ(SelectionActive(), 0) << "Erase Screen takes the selection with the text";
}

TEST_F(Selection, ADragPastTheViewScrollsItAndSelectsOn) {
  SizeDISPLAY(nullptr, static_cast<uint16_t>(34 * GyChar), static_cast<uint16_t>(80 * GxChar));
  SelectionPress(0, 0, 1);
  DISPLAYSelectTo(nullptr, 3, 34 * GyChar + 2);
  EXPECT_EQ(GyOffset, GyChar);
  int first = 0, last = 0;
  EXPECT_EQ(selectionRowSpan(34, &first, &last), 1);
  EXPECT_EQ(last, 0);
}

TEST_F(Selection, PasteSendsEachLineEndAsEnterAndTakesHexDigitsAsTyped) {
  EXPECT_EQ(Pasted("x"), "");
  EXPECT_EQ(headlessCountMessages("No Connection"), 1);
  gfConnected = 1;
  gfLocalEcho = 1;
  gEnterSends = kEnterCrLf;
  EXPECT_EQ(Pasted("a\nb\r\nc\rd\u00E9\u4E00"), "a\r\nb\r\nc\r\nd\x82?");
  EXPECT_EQ(GridRow(0), "a") << "echoed as typed";
  gEnterSends = kEnterCr;
  gfHexEnter = 1;
  gfLocalEcho = 0;
  ClearDISPLAYScreen();
  EXPECT_EQ(Pasted("41 42\n4x43"), "AB");
  EXPECT_EQ(Pasted("\n"), "C") << "the pending digits wait for the next key, as typed ones do";
  EXPECT_EQ(GridRow(0), "?") << "a refused entry shows, even without echo";

  headlessSetClipboard("4142", 0);
  DoDISPLAYCommand(nullptr, kCmdPaste);
  DoDISPLAYCommand(nullptr, kCmdAbortSend);   // F8, before the worker took any of it
  EXPECT_EQ(PasteStep(), 0);
  EXPECT_EQ(headlessCountMessages("Cannot Abort because not sending!"), 0);
  EXPECT_EQ(GridRow(0), "?Aborted");

  // With a per-byte delay too, a paste waits for room in a buffer that does
  // not drain: no overflow, no byte lost.
  gfHexEnter = 0;
  gPackDelay = 1;
  gComTxLen = kTxBufSize - 1;
  headlessSetClipboard("xyz", 0);
  DoDISPLAYCommand(nullptr, kCmdPaste);
  EXPECT_EQ(PasteStep(), 0);
  EXPECT_EQ(PasteActive(), 1);
  EXPECT_EQ(headlessCountMessages("COM Tx Overflow"), 0);
  AbortPasteQuietly();
  gPackDelay = 0;
}

TEST_F(Selection, PasteSendsBackEveryByteCopiedAndEveryByteGiven) {
  gfConnected = 1;
  gPackDelay = 0;
  gEnterSends = kEnterCr;
  // Every byte the screen draws (not CR, LF or backspace, which move the
  // cursor), copied as its glyph and pasted: the same bytes, a row end Enter.
  std::string shown;
  for (int b = 0x01; b < 0x100; b++) {
    if (b == 0x08 || b == 0x0A || b == 0x0D) continue;
    shown.push_back(static_cast<char>(b));
    if (b == 0x3F || b == 0x7F || b == 0xBF) shown.push_back('\r');
  }
  Show(shown);
  DoDISPLAYCommand(nullptr, kCmdSelectAll);
  EXPECT_EQ(Pasted(Copied()), shown);
  EXPECT_EQ(Pasted("\u25D8\u25D9\u266A"), "\x08\x0A\x0D") << "glyphs of the cursor bytes are bytes, not Enter";

  EXPECT_EQ(Pasted(std::string("abc\0def\n", 8)), std::string("abc\0def\r", 8)) << "a NUL is a byte like any";
  EXPECT_EQ(Pasted("caf\xE9\r\n\xFF\xC3"), "caf\xE9\r\xFF\xC3") << "not UTF-8: byte for byte";
  EXPECT_EQ(Pasted("\xED\xA0\x80\xC0\xAF"), "\xED\xA0\x80\xC0\xAF") << "a surrogate or overlong form is no character";
  // Windows' clipboard text (UTF-16): a surrogate without its partner, and
  // a character no byte is drawn as, each a '?'.
  const uint16_t wide[] = {'a', 0xD800, 'b', 0xDC00, 0xD83D, 0xDE00, 0x00E9, 0};
  EXPECT_EQ(Pasted(Utf8FromUtf16(wide, 8)), std::string("a?b??\x82\0", 7));
}

TEST_F(Selection, APasteUnderWayWhenAnUploadStartsGoesOutBeforeItsFirstLine) {
  gfConnected = 1;
  const std::string path = ::testing::TempDir() + "paste_during_upload.fs";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs(": sq dup * ;\n", f);
  std::fclose(f);
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str());
  headlessSetClipboard("typed", 0);
  DoDISPLAYCommand(nullptr, kCmdPaste);
  DoDISPLAYCommand(nullptr, kCmdUploadPaced);
  // The upload waits for the paste, and the paste does not wait for the
  // upload: its bytes go out whole, then the first line after them.
  UploadStep();
  EXPECT_EQ(gComTxLen.load(), 0) << "no line before the paste's bytes";
  EXPECT_NE(PasteStep(), 0);
  for (int i = 0; i < 100 && PasteActive(); i++) PasteStep();   // a byte a step, with the File Send Delay
  EXPECT_EQ(PasteActive(), 0);
  UploadStep();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(gComTxBuf), static_cast<size_t>(gComTxLen.load())),
            "typed: sq dup * ;\r");
  DoDISPLAYCommand(nullptr, kCmdAbortSend);
  AbortSendFileQuietly();
  std::remove(path.c_str());
}

// Find: from the last match towards older output (Next) or newer
// (Previous), wrapping at the ends; a match is selected (and offered as the
// primary selection), brought into view and stays on its text as output
// goes on.
TEST_F(Selection, FindSelectsTheNearestMatchAndBringsItIntoView) {
  SizeDISPLAY(nullptr, static_cast<uint16_t>(34 * GyChar), static_cast<uint16_t>(80 * GxChar));
  std::string stream;
  char line[32];
  for (int i = 1; i <= 20000; i++) {
    std::snprintf(line, sizeof line, "line %05d\r", i);
    stream += line;
  }
  Show(stream);
  FindMatch m{};
  EXPECT_EQ(FindInScreen(nullptr, "LINE 12345", false, true, &m), kFindFound);
  EXPECT_EQ(Copied(), "line 12345");
  EXPECT_EQ(m.firstRow, 12345 - 20000 + 126);
  const int top = DISPLAYViewBack();
  EXPECT_GE(top, -m.firstRow) << "the view's top above the match";
  EXPECT_LT(top, -m.firstRow + 34) << "the match within the view";
  Show("more\rlines\r");
  EXPECT_EQ(Copied(), "line 12345") << "the match stays on its text";

  EXPECT_EQ(DISPLAYFindText(nullptr, "line 1234", 0, 1), kFindFound);
  EXPECT_EQ(headlessClipboard(1), "line 1234") << "offered as the primary selection";
  EXPECT_EQ(FindInScreen(nullptr, "line 1234", false, false, &m), kFindFound);
  EXPECT_EQ(FindInScreen(nullptr, "line 1234", false, false, &m), kFindFound);
  EXPECT_EQ(m.firstRow - m.lastRow, 0);
  SelectionDrag(m.lastRow, 9);
  EXPECT_EQ(Copied(), "line 12346");
  EXPECT_EQ(FindInScreen(nullptr, "LINE 1", true, true, &m), kFindNotFound) << "Match case";
  EXPECT_EQ(Copied(), "line 12346") << "not found leaves the selection";
  EXPECT_EQ(FindInScreen(nullptr, std::string(10000, 'l'), false, true, &m), kFindNotFound);
  EXPECT_EQ(FindInScreen(nullptr, "", false, true, &m), kFindNone);
  EXPECT_EQ(FindInScreen(nullptr, "lines", false, true, &m), kFindWrapped);
  EXPECT_EQ(DISPLAYViewBack(), 0);
  EXPECT_EQ(FindInScreen(nullptr, "lines", false, true, &m), kFindWrapped) << "the only match: itself again";
  EXPECT_STREQ(DISPLAYFindNote(kFindWrapped), "-wrapped-");
  EXPECT_STREQ(DISPLAYFindNote(kFindNotFound), "not found");

  // Hex display: the text as its hex digits, across a wrapped row.
  ClearDISPLAYScrollback();
  gfHexPrint = 1;
  Show(std::string(26, 'a') + "OK\r");   // 26 bytes fill 78 cells: "4f" ends row 0, " 4b" begins row 1
  EXPECT_EQ(FindInScreen(nullptr, "ok", true, true, &m), kFindNotFound);
  EXPECT_EQ(FindInScreen(nullptr, "OK", true, true, &m), kFindFound);
  EXPECT_EQ(Copied(), "4f\n 4b");
  EXPECT_EQ(m.firstRow, 0);
  EXPECT_EQ(m.lastRow, 1);
}

}  // namespace
