// The connection and its worker on a real serial line: a pseudo-terminal whose
// device end the test plays.
#include <gtest/gtest.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/commands.h"
#include "app/statusbar.h"
#include "display/screen.h"
#include "link/connection.h"
#include "link/serial.h"
#include "platform/msgbox.h"
#include "platform/posix/headless.h"
#include "platform/posix/paths.h"
#include "platform/posix/serial_rate.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "settings/options_dlg.h"
#include "settings/serial_options.h"
#include "transfer/paste.h"
#include "tests/support/pty.h"
#include "tests/support/state.h"

namespace {

class SerialWorker : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    ASSERT_GE(dev.master(), 0) << "no pseudo-terminal";
    dev.mapAs(1);
  }
  void TearDown() override {
    if (gfConnected) closeConnection();
    posixSetModemLines(-1);
  }
  static std::string Hex(const std::string& bytes) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (unsigned char c : bytes) {
      s += d[c >> 4];
      s += d[c & 15];
      s += ' ';
    }
    return s;
  }
  static std::string Grid() { return GridText(); }
  // Ok in the Options dialog with these [serial] rows changed, the others
  // as the dialog shows them.
  static int OptionsOk(const std::vector<std::pair<const char*, const char*>>& serial) {
    std::vector<std::string> fields(static_cast<size_t>(OptionCount()));
    std::vector<const char*> texts;
    for (int i = 0; i < OptionCount(); i++) {
      char text[kUploadListMax];
      const int32_t state = OptionsFieldState(i, text, sizeof text);
      const OptionKind kind = OptionAt(i).kind;
      fields[i] = kind == kOptionFlag || kind == kOptionChoice ? OptionsStateText(i, state) : text;
      for (const auto& [key, value] : serial)
        if (i == OptionIndex("serial", key)) fields[i] = value;
      texts.push_back(fields[i].c_str());
    }
    return OptionsStoreFields(nullptr, texts.data());
  }
  // The line as the device end finds it: rate, c_cflag, c_iflag.
  std::string DeviceLine() const {
    uint32_t in = 0, out = 0;
    termios t{};
    if (!posixReadRates(dev.master(), &in, &out) || tcgetattr(dev.master(), &t) != 0) return "unreadable";
    return std::to_string(out) + "/" + std::to_string(in) + ((t.c_cflag & CSTOPB) ? " 2 stop" : "") +
           ((t.c_iflag & IXON) ? " IXON" : "") + ((t.c_iflag & IXOFF) ? " IXOFF" : "");
  }
  PtyDevice dev;
};

TEST_F(SerialWorker, OpenCloseReopenAndTheFlagsOfEachState) {
  ASSERT_EQ(openConnection(), 1);
  EXPECT_EQ(gfConnected.load(), 1);
  EXPECT_EQ(gfComOpen.load(), 1);
  EXPECT_EQ(gfThreadCut.load(), 0);
  EXPECT_NE(gdwThreadID.load(), 0u);
  EXPECT_NE(ghCom, kInvalidHandle);
  EXPECT_EQ(headlessMessageCount(), 0);
  const std::string opened = std::string("-COM1 is ") + dev.path() + ", 115200 baud-";
  EXPECT_EQ(GridRow(1), opened) << "the open names the device";

  closeConnection();
  EXPECT_EQ(gfConnected.load(), 0);
  EXPECT_EQ(gfComOpen.load(), 0);
  EXPECT_EQ(gfThreadCut.load(), 1);
  EXPECT_EQ(gdwThreadID.load(), 0u);
  EXPECT_EQ(ghCom, kInvalidHandle);

  ASSERT_EQ(openConnection(), 1);
  EXPECT_EQ(GridRow(3), opened) << "and so does every open";
  sendCommByte('k');
  EXPECT_EQ(dev.receive(1, 2000), "k");
}

TEST_F(SerialWorker, PortsThatDoNotOpenAreReportedWithPortAndRate) {
  posixSetComDevice(1, "/nonexistent/tty");
  EXPECT_EQ(openConnection(), 0);
  gbPort = 10;   // COM10: no device for it here
  gdwBaudRate = 9600;
  EXPECT_EQ(openConnection(), 0);
  ASSERT_EQ(headlessMessageCount(), 2);
  EXPECT_EQ(headlessMessage(0).text, "Cannot open COM1 @ 115200 baud\n/nonexistent/tty: No such file or directory");
  EXPECT_EQ(headlessMessage(0).caption, "Zelto v3.16");
  EXPECT_EQ(headlessMessage(0).icon, kIconError);
  EXPECT_EQ(headlessMessage(1).text, "Cannot open COM10 @ 9600 baud\nCOM10: no such port");
  EXPECT_EQ(gfConnected.load(), 0);
  EXPECT_EQ(gfThreadCut.load(), 1);
  EXPECT_EQ(gfComOpen.load(), 0);

  // A rate that no list entry has (only a damaged preset holds one) is
  // refused rather than opening the line at an unknown rate.
  gbPort = 1;
  dev.mapAs(1);
  gdwBaudRate = 12345;
  EXPECT_EQ(openConnection(), 0);
  EXPECT_EQ(headlessMessage(2).text, "Cannot open COM1 @ 12345 baud\nCOM1: the line settings were refused");
}

TEST_F(SerialWorker, PortHeldByAnotherProgramDoesNotOpen) {
  ASSERT_EQ(openCOM(), 1);
  const PlatHandle first = ghCom;
  ghCom = kInvalidHandle;   // a second program opening the same port
  EXPECT_EQ(openCOM(), 0);
  ghCom = first;
  closeCOM();
}

TEST_F(SerialWorker, AllByteValuesPassUnchangedBothWays) {
  ASSERT_EQ(openConnection(), 1);
  ClearDISPLAYScreen();   // of the open's text
  std::string all;
  for (int i = 0; i < 256; i++) all += static_cast<char>(i);
  for (int i = 0; i < 256; i++) sendCommByte(i);
  EXPECT_EQ(dev.receive(256, 3000), all);

  gfHexPrint = 1;
  ASSERT_TRUE(dev.send(all));
  const std::string shown = Hex(all);
  ASSERT_TRUE(WaitFor([&] { return Grid().compare(0, shown.size(), shown) == 0; }, 3000)) << Grid().substr(0, 800);
}

TEST_F(SerialWorker, PollReturnsWhatWaitsUpToTheBlockSize) {
  ASSERT_EQ(openCOM(), 1);
  ASSERT_TRUE(dev.send(std::string(2000, 'w')));
  uint32_t waiting = 0;
  ASSERT_TRUE(WaitFor([&] { return platSerialClearErrors(ghCom, &waiting) && waiting == 2000; }, 2000));
  uint8_t block[kRxBlockSize];
  EXPECT_EQ(receiveCommBlock(nullptr, block, kRxBlockSize), 1536u);
  EXPECT_EQ(receiveCommBlock(nullptr, block, kRxBlockSize), 464u);
  EXPECT_EQ(receiveCommBlock(nullptr, block, kRxBlockSize), 0u);
  closeCOM();
}

TEST_F(SerialWorker, OpenDiscardsBytesQueuedBeforeAndStaleLineBytes) {
  sendCommByte('x');
  sendCommByte('y');
  ASSERT_TRUE(dev.send("stale"));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(openConnection(), 1);
  EXPECT_EQ(dev.receive(1, 200), "");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(GridRow(0), "");
}

TEST_F(SerialWorker, TransmitBufferKeepsTheFillingByteAndDropsTheRest) {
  ASSERT_EQ(openCOM(), 1);   // the port without its worker: nothing drains
  for (int i = 0; i < kTxBufSize - 1; i++) ASSERT_EQ(sendCommByte('a' + i % 26), 1);
  EXPECT_EQ(headlessMessageCount(), 0);
  EXPECT_EQ(sendCommByte('Z'), 0);
  EXPECT_EQ(gComTxLen.load(), kTxBufSize);
  EXPECT_EQ(gComTxBuf[kTxBufSize - 1], 'Z');
  EXPECT_EQ(sendCommByte('!'), 0);
  EXPECT_EQ(gComTxLen.load(), kTxBufSize);
  EXPECT_EQ(headlessCountMessages("COM Tx Overflow"), 2);
  EXPECT_EQ(headlessMessage(0).icon, kIconWarning);

  EXPECT_EQ(transmitCommBlock(), 1);   // one write of the whole buffer
  EXPECT_EQ(gComTxLen.load(), 0);
  const std::string out = dev.receive(kTxBufSize, 3000);
  ASSERT_EQ(out.size(), static_cast<size_t>(kTxBufSize));
  EXPECT_EQ(out.back(), 'Z');
  closeCOM();
}

TEST_F(SerialWorker, AppendsFromTwoThreadsAgainstFlushesLoseNothing) {
  ASSERT_EQ(openConnection(), 1);
  constexpr int kEach = 30000;
  std::string received;
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop || received.size() < 2 * kEach) {
      std::string part = dev.receive(4096, 20);
      received += part;
      if (stop && part.empty()) break;
    }
  });
  auto typist = [](int base) {
    for (int i = 0; i < kEach; i++) {
      // A typist pauses while the buffer is nearly full, as a slow line
      // under a sanitizer can make it: the test is about order, not overflow.
      while (gComTxLen > kTxBufSize - 512) std::this_thread::sleep_for(std::chrono::microseconds(100));
      sendCommByte(base + i % 128);
      if (i % 200 == 199) std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  };
  std::thread a(typist, 0), b(typist, 128);
  a.join();
  b.join();
  ASSERT_TRUE(WaitFor([] { return gComTxLen == 0; }, 5000));
  stop = true;
  reader.join();
  EXPECT_EQ(headlessCountMessages("COM Tx Overflow"), 0);
  ASSERT_EQ(received.size(), static_cast<size_t>(2 * kEach));
  int nextA = 0, nextB = 0;
  for (unsigned char c : received) {
    if (c < 128) {
      ASSERT_EQ(c, nextA % 128);
      nextA++;
    } else {
      ASSERT_EQ(c - 128, nextB % 128);
      nextB++;
    }
  }
  EXPECT_EQ(nextA, kEach);
  EXPECT_EQ(nextB, kEach);
}

TEST_F(SerialWorker, WriteGivesUpWhenTheDeviceStopsReading) {
  ASSERT_EQ(openConnection(), 1);
  ClearDISPLAYScreen();   // of the open's text
  gfHexPrint = 1;   // the texts show as characters all the same
  dev.fillUntilFull();
  const auto start = std::chrono::steady_clock::now();
  sendCommByte('q');
  ASSERT_TRUE(WaitFor([] { return GridRow(0).size() > 0; }, 8000));
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 2900);   // 3000 ms + 1 ms per byte before it gives up
  EXPECT_EQ(GridRow(0), "COM Tx Timeout->Aborted");
  EXPECT_EQ(CursorRow(), 1);
  EXPECT_EQ(gComTxLen.load(), 0);
  EXPECT_EQ(gfHexPrint.load(), 1);
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(SerialWorker, DroppedStreamIsCountedButNotShown) {
  ASSERT_EQ(openConnection(), 1);
  ClearDISPLAYScreen();   // of the open's text
  gfDropStream = 1;
  ASSERT_TRUE(dev.send("hidden"));
  ASSERT_TRUE(WaitFor([] { return gByteCount == 6; }, 2000));
  EXPECT_EQ(GridRow(0), "");
  gfDropStream = 0;
  ASSERT_TRUE(dev.send("shown"));
  ASSERT_TRUE(WaitFor([] { return GridRow(0) == "shown"; }, 2000));
}

TEST_F(SerialWorker, QuietRecordingShowsADotOncePastTwoThousand) {
  ASSERT_EQ(openConnection(), 1);
  ClearDISPLAYScreen();   // of the open's text
  gfRecQuiet = 1;
  gByteCount = 1800;
  ASSERT_TRUE(dev.send(std::string(150, 'a')));
  ASSERT_TRUE(WaitFor([] { return gByteCount == 1950; }, 2000));
  EXPECT_EQ(GridRow(0), "");
  ASSERT_TRUE(dev.send(std::string(100, 'b')));
  ASSERT_TRUE(WaitFor([] { return GridRow(0) == "."; }, 2000));
  EXPECT_EQ(gByteCount.load(), 0);   // the bytes past 2000 are not carried over
  ASSERT_TRUE(dev.send(std::string(2000, 'c')));
  ASSERT_TRUE(WaitFor([] { return gByteCount == 2000; }, 2000));
  EXPECT_EQ(GridRow(0), ".");
  ASSERT_TRUE(dev.send("d"));
  ASSERT_TRUE(WaitFor([] { return GridRow(0) == ".."; }, 2000));
}

TEST_F(SerialWorker, CloseDuringAStalledWriteReturnsWithWorkerEndedAndPortClosed) {
  ASSERT_EQ(openConnection(), 1);
  dev.fillUntilFull();
  sendCommByte('q');
  std::this_thread::sleep_for(std::chrono::milliseconds(100));   // the worker is inside its write
  const auto start = std::chrono::steady_clock::now();
  closeConnection();
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(took, 2500);   // the purge aborted the write instead of waiting it out
  EXPECT_EQ(gdwThreadID.load(), 0u);
  EXPECT_EQ(gfComOpen.load(), 0);
  EXPECT_EQ(ghCom, kInvalidHandle);
  EXPECT_EQ(gComTxLen.load(), 0);
}

TEST_F(SerialWorker, CtsHandshakeGateCountsAnyModemLine) {
  gfCtsHandsh = 1;
  posixSetModemLines(0);
  ASSERT_EQ(openConnection(), 1);   // warned, but the port still opens
  EXPECT_EQ(headlessCountMessages("Warning: CTS line is down!\ncannot send data\ndisable CTS handshake or change cable"),
            1);
  EXPECT_EQ(CheckModemState(), 0);
  posixSetModemLines(kModemDsr);   // a cable with DSR but no CTS passes
  EXPECT_EQ(CheckModemState(), 1);
  gfCtsHandsh = 0;
  posixSetModemLines(0);
  EXPECT_EQ(CheckModemState(), 1);   // no handshake: the lines are not read
  EXPECT_EQ(headlessMessageCount(), 2);
}

TEST_F(SerialWorker, ModemLineCommandsReachThePortAndLeaveTheLinkWorking) {
  EXPECT_EQ(DISPLAYCommandState(kCmdSendBreak), kCmdGreyed) << "no port open";
  ASSERT_EQ(openConnection(), 1);
  ClearDISPLAYScreen();   // of the open's text
  EXPECT_EQ(DISPLAYCommandState(kCmdDtr), kCmdChecked);
  EXPECT_EQ(DISPLAYCommandState(kCmdRts), kCmdChecked);
  std::vector<int> calls;
  auto take = [&] {
    int got[16];
    const int n = posixTakeSerialControls(got, 16);
    calls.insert(calls.end(), got, got + n);
    return calls.size();
  };
  take();
  calls.clear();
  DoDISPLAYCommand(nullptr, kCmdDtr);
  DoDISPLAYCommand(nullptr, kCmdRts);
  EXPECT_EQ(DISPLAYCommandState(kCmdDtr), 0u);
  DoDISPLAYCommand(nullptr, kCmdSendBreak);
  sendCommByte('k');   // queued during the break, sent once it is over
  ASSERT_TRUE(WaitFor([&] { return take() >= 4; }, 3000));
  EXPECT_EQ(calls, (std::vector<int>{kControlDtr, kControlRts, kControlBreak | 1, kControlBreak}));
  EXPECT_EQ(dev.receive(1, 2000), "k");
  ASSERT_TRUE(dev.send("ok\r"));
  ASSERT_TRUE(WaitFor([] { return GridRow(0) == "ok"; }, 2000)) << GridRow(0);

  // The status bar: the lines as the port reads them, the counts so far.
  posixSetModemLines(kModemCts | kModemRlsd);
  char bar[160];
  EXPECT_EQ(ComposeStatusBar(bar, sizeof bar), 1);
  EXPECT_STREQ(bar, "COM1 115.2k 8N1   CTS:1 DSR:0 DCD:1 RI:0   DTR:0 RTS:0   RX 3  TX 1");
  EXPECT_EQ(ComposeStatusBar(bar, sizeof bar), 0) << "nothing changed";

  // Each open raises both lines again; UDP has none of them.
  closeConnection();
  ASSERT_EQ(openConnection(), 1);
  EXPECT_EQ(DISPLAYCommandState(kCmdDtr), kCmdChecked);
  gfUdpMode = 1;
  EXPECT_EQ(DISPLAYCommandState(kCmdRts), kCmdGreyed | kCmdChecked);
  gfUdpMode = 0;
}

// The [serial] options on a real line: rates beyond the standard ones
// (termios2) and the preset's own, 7E2 with XON/XOFF, each as the device end
// reads its termios (a pseudo-terminal keeps 8 data bits without parity:
// those are seen where the port was asked), and a rate the driver does not
// keep, which leaves the port closed with its text.
TEST_F(SerialWorker, AnyRateAndFramingReachTheDeviceAndARefusedRateLeavesThePortClosed) {
  ASSERT_EQ(openConnection(), 1);
  for (const char* rate : {"921600", "1500000", "74880", "250000", "0"}) {
    EXPECT_EQ(OptionsOk({{"baud", rate}}), -1);   // reopened at once
    const std::string want = rate[0] == '0' ? "115200" : rate;
    EXPECT_EQ(DeviceLine(), want + "/" + want) << rate;
  }
  char bar[kStatusBarTextMax];
  ClearDISPLAYScreen();
  EXPECT_EQ(OptionsOk({{"baud", "1500000"}, {"data_bits", "7"}, {"parity", "even"}, {"stop_bits", "2"},
                       {"flow", "xonxoff"}}),
            -1);
  EXPECT_EQ(GridRow(1), std::string("-COM1 is ") + dev.path() + ", 1500000 baud 7E2, XON/XOFF-");
  ClearDISPLAYScreen();
  EXPECT_EQ(DeviceLine(), "1500000/1500000 2 stop IXON IXOFF");
  uint32_t rate = 0, cflag = 0, iflag = 0;
  posixAskedLineSettings(&rate, &cflag, &iflag);
  EXPECT_EQ(cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), static_cast<uint32_t>(CS7 | PARENB | CSTOPB));
  EXPECT_EQ(iflag & (IXON | IXOFF | IXANY), static_cast<uint32_t>(IXON | IXOFF));
  ComposeStatusBar(bar, sizeof bar);
  EXPECT_EQ(std::string(bar).substr(0, 20), "COM1 1.5M 7E2 XON   ");
  // The CTS warning is rtscts's alone: with XON/XOFF the lines are not read.
  posixSetModemLines(0);
  EXPECT_EQ(CheckModemState(), 1);
  sendCommByte('x');
  EXPECT_EQ(dev.receive(1, 2000), "x");
  ASSERT_TRUE(dev.send("y"));
  ASSERT_TRUE(WaitFor([] { return GridRow(0) == "y"; }, 2000)) << GridRow(0);

  // A driver that makes 74906 when asked for 74880: refused, never opened
  // at another rate than the one shown.
  posixPretendDriverRate(74880, 74906);
  EXPECT_EQ(OptionsOk({{"baud", "74880"}}), -1);
  posixPretendDriverRate(0, 0);
  EXPECT_EQ(gfComOpen.load(), 0);
  EXPECT_EQ(ghCom, kInvalidHandle);
  EXPECT_EQ(headlessMessage(headlessMessageCount() - 1).text,
            std::string("Cannot open COM1 @ 74880 baud\n") + dev.path() + ": 74880 baud refused by the driver");
  EXPECT_NE(GridText().find(std::string("-") + dev.path() + ": 74880 baud refused by the driver-"), std::string::npos);
  ComposeStatusBar(bar, sizeof bar);
  EXPECT_STREQ(bar, "COM1 74.88k 7E2 XON  (closed)   RX 0  TX 0");

  // The device named by its path, at the rate refused before.
  posixSetComDevice(1, "/nonexistent/tty");
  EXPECT_EQ(OptionsOk({{"device", dev.path()}, {"data_bits", "8"}, {"parity", "none"}, {"stop_bits", "1"}}), -1);
  EXPECT_EQ(gfComOpen.load(), 1);
  EXPECT_NE(GridText().find(std::string("-") + dev.path() + ", 74880 baud, XON/XOFF-"), std::string::npos);
  EXPECT_EQ(DeviceLine(), "74880/74880 IXON IXOFF");
}

}  // namespace

namespace {

// A megabyte pasted at delay 0: the paste returns at once, leaving the
// sending to the worker, so the window thread still answers (here: Setup
// is refused while it runs), and the device gets every byte once, in order,
// each line end as Enter sends it.
TEST_F(SerialWorker, AMegabytePasteArrivesWholeAndInOrderWhileTheWindowAnswers) {
  ASSERT_EQ(openConnection(), 1);
  gPackDelay = 0;
  gEnterSends = kEnterCrLf;
  std::string text, want;
  for (int i = 0; text.size() < (1u << 20); i++) {
    const std::string line = std::to_string(i) + " the quick brown fox";
    text += line + "\n";
    want += line + "\r\n";
  }
  ASSERT_EQ(PasteText(text), 1);
  EXPECT_EQ(PasteActive(), 1);
  DoDISPLAYCommand(nullptr, kCmdTerminal);
  EXPECT_EQ(headlessCountMessages("First terminate\nFile Transfer !"), 1);
  // So too a change of the port's settings in Options, which keeps its rows.
  EXPECT_EQ(OptionsOk({{"baud", "921600"}}), OptionIndex("serial", "baud"));
  EXPECT_EQ(headlessCountMessages("First terminate\nFile Transfer !"), 2);
  EXPECT_EQ(gSerialBaud.load(), 0);
  std::string got = dev.receive(want.size(), 30000);
  got += dev.receive(1, 200);   // nothing beyond
  gEnterSends = kEnterCr;
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want) << "first difference at " << std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin();
  EXPECT_EQ(PasteActive(), 0);
  EXPECT_EQ(headlessCountMessages("COM Tx Overflow"), 0);
}

}  // namespace
