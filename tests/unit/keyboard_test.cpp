// Keyboard entry as the user and the device see it: the bytes that reach the
// transmit buffer and what the screen shows, in raw and in hex entry.
#include <gtest/gtest.h>

#include <string>

#include "display/keyboard.h"
#include "display/screen.h"
#include "display/view.h"
#include "link/connection.h"
#include "platform/msgbox.h"
#include "platform/posix/headless.h"
#include "platform/posix/paths.h"
#include "platform/serial.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "tests/support/state.h"

namespace {

const char kCtsWarning[] = "Warning: CTS line is down!\ncannot send data\ndisable CTS handshake or change cable";

class Keyboard : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    SizeDISPLAY(nullptr, static_cast<uint16_t>(34 * GyChar), static_cast<uint16_t>(80 * GxChar));
    gfConnected = 1;   // a link counts as open; no worker drains the buffer
  }
  void TearDown() override {
    posixSetModemLines(-1);
    gfConnected = 0;
    gComTxLen = 0;
  }
  static void Type(const std::string& keys) {
    for (unsigned char ch : keys) ProcessDISPLAYCharacter(nullptr, ch);
  }
  static std::string Sent() { return std::string(reinterpret_cast<const char*>(gComTxBuf), gComTxLen); }
  static void Forget() { gComTxLen = 0; }
};

TEST_F(Keyboard, HexEntrySendsOneByteForOneOrTwoDigitsAndASeparator) {
  gfHexEnter = 1;
  gfLocalEcho = 1;
  Type("4");
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(GridRow(0), "") << "digits are never echoed";
  Type("1 ");
  EXPECT_EQ(Sent(), "A");
  EXPECT_EQ(GridRow(0), "A") << "the byte sent is echoed";
  Forget();

  Type("4\r");
  EXPECT_EQ(Sent(), std::string(1, '\x04'));
  Forget();
  Type("aB ");
  Type("fF\r");
  EXPECT_EQ(Sent(), "\xAB\xFF");
  EXPECT_EQ(gNibbleCount, 0);
  EXPECT_EQ(gTxByte, 0);
}

TEST_F(Keyboard, HexEntryRejectsWhatCannotMakeAByteAndStartsOver) {
  gfHexEnter = 1;
  gfLocalEcho = 1;
  Type("412");
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(GridRow(0), "?");
  Type("20 ");
  EXPECT_EQ(Sent(), " ") << "the byte after a reject is typed afresh";
  EXPECT_EQ(GnColumn, 2) << "the echoed blank follows the '?'";

  InitDISPLAYGrid();
  Forget();
  Type(" ");      // a separator with nothing typed
  Type("\r");
  Type("gGx.");
  Type("4g");     // a pending digit is discarded with the bad character
  Type(" ");
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(GridRow(0), "????????");
}

TEST_F(Keyboard, HexEntryIgnoresLineFeedAndKeepsThePendingDigit) {
  gfHexEnter = 1;
  gfLocalEcho = 1;
  Type("4\n1 ");
  EXPECT_EQ(Sent(), "A");
  EXPECT_EQ(GridRow(0), "A");
  Type("\n");
  EXPECT_EQ(GridRow(0), "A") << "a lone line feed shows nothing";
}

TEST_F(Keyboard, HexEntryRejectIsShownEvenWithoutEchoAndInTheDisplayMode) {
  gfHexEnter = 1;
  Type("41 ");
  Type("z");
  EXPECT_EQ(Sent(), "A");
  EXPECT_EQ(GridRow(0), "?") << "without echo only the reject shows";

  InitDISPLAYGrid();
  gfHexPrint = 1;
  Type("z");
  EXPECT_EQ(GridRow(0), "3f") << "hex display shows the '?' as its digits";
  EXPECT_EQ(GnColumn, 3);
}

TEST_F(Keyboard, RawEntrySendsEachCharacterAsItsByte) {
  gfLocalEcho = 1;
  gfHexPrint = 1;
  Type("A");
  EXPECT_EQ(Sent(), "A");
  EXPECT_EQ(GridRow(0), "41");
  EXPECT_EQ(GnColumn, 3);
  Forget();

  gfHexPrint = 0;
  InitDISPLAYGrid();
  Type("ab\r");
  EXPECT_EQ(Sent(), "ab\r") << "Enter sends 13 alone";
  EXPECT_EQ(GnRow, 1);
  Type("xy\b");
  EXPECT_EQ(Sent(), "ab\rxy\b");
  EXPECT_EQ(GridRow(1), "x") << "the echoed backspace blanks the cell before it";
  Forget();

  gfLocalEcho = 0;
  Type("\xE9z");
  EXPECT_EQ(Sent(), "\xE9z");
  EXPECT_EQ(GridRow(2), "") << "without echo nothing is shown";
  Forget();

  // "Enter sends" LF or CR LF; Ctrl+Enter (10) stays a lone LF.
  gEnterSends = kEnterLf;
  Type("\r\n");
  gEnterSends = kEnterCrLf;
  Type("\r");
  EXPECT_EQ(Sent(), "\n\n\r\n");
}

TEST_F(Keyboard, ClosedLinkDropsEveryKeySilently) {
  gfConnected = 0;
  gfLocalEcho = 1;
  Type("hello\r");
  gfHexEnter = 1;
  Type("4x ");
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(GridText(), std::string(kScreenCells, ' '));
  EXPECT_EQ(gNibbleCount, 0);
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(Keyboard, CtsDownHoldsTypingBackOnlyOnAHandshakingSerialLink) {
  gfCtsHandsh = 1;
  gfHexEnter = 1;
  gfLocalEcho = 1;
  posixSetModemLines(0);
  Type("4");
  Type("x");
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(GridRow(0), "") << "a held-back key is not even rejected";
  EXPECT_EQ(gNibbleCount, 0);
  EXPECT_EQ(headlessCountMessages(kCtsWarning), 2);
  EXPECT_EQ(headlessMessage(0).icon, kIconWarning);

  headlessClearMessages();
  gfSendFileOpen = 1;   // typing during a file send joins the file's bytes
  Type("41 ");
  gfSendFileOpen = 0;
  gfUdpMode = 1;
  Type("42 ");
  gfUdpMode = 0;
  gfCtsHandsh = 0;
  Type("43 ");
  gfCtsHandsh = 1;
  posixSetModemLines(kModemCts);
  Type("44 ");
  EXPECT_EQ(Sent(), "ABCD");
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(Keyboard, FullTransmitBufferStillEchoesAndEndsTheHexByte) {
  gfHexEnter = 1;
  gfLocalEcho = 1;
  gComTxLen = kTxBufSize;
  Type("41 ");
  EXPECT_EQ(gComTxLen, kTxBufSize);
  EXPECT_EQ(headlessCountMessages("COM Tx Overflow"), 1);
  EXPECT_EQ(GridRow(0), "A");
  EXPECT_EQ(gNibbleCount, 0);
  Type("42 ");
  EXPECT_EQ(GridRow(0), "AB");
}

}  // namespace
