// File send over a real serial line: the worker streams the file, the user's
// keys switch, pace and stop it, and the device end of a pseudo-terminal
// records what arrives.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/commands.h"
#include "display/screen.h"
#include "link/connection.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "tests/support/pty.h"
#include "tests/support/state.h"
#include "transfer/filesend.h"
#include "transfer/paste.h"

namespace {

const char kFinished[] = "Transfer Finished, File Closed!";

class FileSendSerial : public ::testing::Test {
 protected:
  void SetUp() override {
    AbortSendFileQuietly();
    ResetProgramState();
    ASSERT_GE(dev.master(), 0) << "no pseudo-terminal";
    dev.mapAs(1);
    char tmpl[] = "/tmp/zelto-sendio-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    gPackDelay = 0;
    ASSERT_EQ(openConnection(), 1);
    // The open names the device; the cases then start on an empty screen.
    ASSERT_EQ(Screen(), std::string("-COM1 is ") + dev.path() + ", 115200 baud-");
    ClearDISPLAYScreen();
  }
  void TearDown() override {
    if (gfConnected) closeConnection();
    AbortSendFileQuietly();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  void Use(const std::string& content, const char* name = "send.txt") {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str());
  }
  static void Do(int id) { DoDISPLAYCommand(nullptr, id); }
  // Everything the device receives until the line has been quiet for ms.
  std::string ReceiveUntilQuiet(int ms) {
    std::string got;
    for (;;) {
      const std::string part = dev.receive(65536, ms);
      if (part.empty()) return got;
      got += part;
    }
  }
  static bool Idle() { return gfSendFileOpen == 0 && gLinePtr >= gLineMax; }
  static std::string Screen() {
    std::string s;
    for (int r = 0; r < kScreenRows; r++) {
      const std::string row = GridRow(r);
      if (row.empty()) continue;
      if (!s.empty()) s += '|';
      s += row;
    }
    return s;
  }

  PtyDevice dev;
  std::string dir;
};

TEST_F(FileSendSerial, RawSendArrivesByteExactWithAndWithoutCommentSkipping) {
  std::string file;
  for (int i = 0; i < 6000; i++) file += static_cast<char>((i * 37 + i / 256) & 0xFF);
  file += "keep/*cut*/end/";
  Use(file);
  Do(kCmdSendRaw);
  EXPECT_EQ(dev.receive(file.size(), 20000), file);
  ASSERT_TRUE(WaitFor(Idle, 5000));
  EXPECT_EQ(ReceiveUntilQuiet(100), "");
  EXPECT_EQ(Screen(), std::string("Sending|...|") + kFinished);

  gfSkipBigComment = 1;
  Use("a/**/b/***/c/* x **/d/*/e*/f\x01/*\xff*/\x02");
  Do(kCmdSendRaw);
  ASSERT_TRUE(WaitFor(Idle, 5000));
  EXPECT_EQ(ReceiveUntilQuiet(100), "abcdf\x01\x02");
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(FileSendSerial, LineModesSendALinePerKeyWithTheDelay) {
  gPackDelay = 1;
  Use(": SQ ( n -- n*n ) DUP * ;\r// note\r  // note\r5 SQ .\r");
  Do(kCmdSendLineSkip);
  EXPECT_EQ(ReceiveUntilQuiet(50), "");
  Do(kCmdSendLineSkip);
  EXPECT_EQ(dev.receive(6, 3000), ": SQ \r");
  Do(kCmdSendLineSkip);
  Do(kCmdSendLineSkip);
  EXPECT_EQ(dev.receive(3, 3000), "  \r");
  Do(kCmdSendLine);   // F6 now: the next line unfiltered
  EXPECT_EQ(dev.receive(7, 3000), "5 SQ .\r");
  Do(kCmdSendLine);
  ASSERT_TRUE(WaitFor(Idle, 3000));
  EXPECT_EQ(ReceiveUntilQuiet(50), "");
  EXPECT_EQ(Screen(), std::string("Sending|") + kFinished);

  // A line far longer than the queue goes out whole with one key press.
  gPackDelay = 0;
  std::string longLine;
  for (int i = 0; i < 9000; i++) longLine += static_cast<char>('a' + i % 26);
  Use(longLine + "\rnext\r");
  Do(kCmdSendLine);
  Do(kCmdSendLine);
  EXPECT_EQ(dev.receive(longLine.size() + 1, 20000), longLine + "\r");
  Do(kCmdSendLine);
  EXPECT_EQ(dev.receive(5, 3000), "next\r");

  // A paste held back by a break is the user's, not the file's: the next
  // line's key press leaves it queued, and it goes out once.
  Do(kCmdSendLine);
  ASSERT_TRUE(WaitFor(Idle, 3000));
  Use("one\rtwo\r");
  Do(kCmdSendLine);
  Do(kCmdSendLine);
  EXPECT_EQ(dev.receive(4, 3000), "one\r");
  Do(kCmdSendBreak);
  ASSERT_EQ(PasteText("pq"), 1);
  ASSERT_TRUE(WaitFor([] { return PasteActive() == 0; }, 200));
  Do(kCmdSendLine);
  EXPECT_EQ(ReceiveUntilQuiet(400), "pqtwo\r");
}

// The per-byte delay counts the worker's own time towards the gap, but the
// bytes of a send never come closer together than the setting: 40 bytes at
// 5 ms take 39 gaps. (A lower bound only: a loaded machine makes
// the gaps longer, never shorter.)
TEST_F(FileSendSerial, BytesOfARawSendNeverComeCloserThanTheDelay) {
  gPackDelay = 5;
  const std::string file(40, 'p');
  Use(file);
  Do(kCmdSendRaw);
  ASSERT_EQ(dev.receive(1, 3000), "p");
  const auto first = std::chrono::steady_clock::now();
  ASSERT_EQ(dev.receive(file.size() - 1, 10000), file.substr(1));
  const double spanMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - first).count();
  // Reading the first byte may have been late by a few gaps on a busy machine.
  EXPECT_GE(spanMs, 35 * 5.0) << "bytes came closer together than 5 ms";
  ASSERT_TRUE(WaitFor(Idle, 3000));
}

TEST_F(FileSendSerial, SwitchingBetweenRawAndLineModeLosesNothing) {
  // F5 during a line: the line ends, then the rest of the file streams.
  std::string rest(3000, 'r');
  Use("first\r" + rest);
  Do(kCmdSendLine);
  Do(kCmdSendLine);
  Do(kCmdSendRaw);
  EXPECT_EQ(dev.receive(6 + rest.size(), 20000), "first\r" + rest);
  ASSERT_TRUE(WaitFor(Idle, 5000));

  // F6 during a slow raw send: the rest of that line at once, then a line
  // per key.
  gPackDelay = 1;
  const std::string raw(3000, 'w');
  Use(raw + "\rNEXT\rLAST\r");
  Do(kCmdSendRaw);
  std::string got = dev.receive(50, 5000);
  ASSERT_EQ(got.size(), 50u);
  Do(kCmdSendLine);
  got += dev.receive(raw.size() + 1 - got.size(), 20000);
  EXPECT_EQ(got, raw + "\r");
  EXPECT_EQ(ReceiveUntilQuiet(100), "") << "line mode waits for the next key";
  Do(kCmdSendLine);
  EXPECT_EQ(dev.receive(5, 3000), "NEXT\r");
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(FileSendSerial, AbortAndLinkCloseEndTheSendForGood) {
  // 20 ms between bytes, so a test thread that the machine holds up for a
  // moment does not let more bytes out before its abort than the abort lets
  // through.
  gPackDelay = 20;
  Use(std::string(500, 'a'), "a.txt");
  Do(kCmdSendRaw);
  ASSERT_EQ(dev.receive(5, 5000).size(), 5u);
  Do(kCmdAbortSend);
  EXPECT_EQ(gfSendFileOpen, 0);
  // After the abort the device may still read two bytes: one the worker had
  // already written that the device had not read yet, and one handed over to
  // the transmit buffer just before the abort. Never more.
  EXPECT_LE(ReceiveUntilQuiet(100).size(), 2u) << "at most the bytes already on their way";
  EXPECT_EQ(Screen(), "Sending|Aborted");

  // A new send right away: none of the old bytes follow it.
  Use("bbbbbbbbbb", "b.txt");
  Do(kCmdSendRaw);
  EXPECT_EQ(dev.receive(10, 5000), "bbbbbbbbbb");
  ASSERT_TRUE(WaitFor(Idle, 3000));

  // The link closes in the middle of a send: "Aborted" once, and nothing of
  // it on the next connection.
  ClearDISPLAYScreen();
  Use(std::string(500, 'c'), "c.txt");
  Do(kCmdSendRaw);
  ASSERT_EQ(dev.receive(5, 5000).size(), 5u);
  closeConnection();
  EXPECT_EQ(gfSendFileOpen, 0);
  EXPECT_EQ(Screen(), "Sending|Aborted");
  dev.drain();
  ASSERT_EQ(openConnection(), 1);
  EXPECT_EQ(ReceiveUntilQuiet(100), "");
  EXPECT_EQ(headlessMessageCount(), 0);
}

// A key press reads at most one block of the file; the rest of a long unit
// is read by the worker. The file here is a pipe whose writer has given only
// part of a long line that the comment filter leaves empty: a key press
// that read on to the line's end would wait for the writer for good.
TEST_F(FileSendSerial, AFifoAsSendOrRecordFileIsRefusedAtOnce) {
  const std::string path = dir + "/pipe";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str());
  std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s", path.c_str());
  // Should an open wait for the pipe's other end, that end is opened for
  // it after 3 s, and the test fails.
  std::atomic<bool> returned{false}, rescued{false};
  int other = -1;
  std::thread rescue([&] {
    if (WaitFor([&] { return returned.load(); }, 3000)) return;
    rescued = true;
    other = open(path.c_str(), O_RDWR);
  });
  Do(kCmdSendRaw);
  Do(kCmdRecordShown);
  returned = true;
  rescue.join();
  if (other >= 0) close(other);
  EXPECT_FALSE(rescued) << "an open waited for the pipe";
  EXPECT_EQ(gfSendFileOpen, 0);
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_EQ(headlessCountMessages("Cannot open Source File!"), 1);
  EXPECT_EQ(headlessCountMessages("Cannot open Rec File!"), 1);
}

TEST_F(FileSendSerial, DeviceThatStopsReadingEndsTheSendWithTheTimeoutTexts) {
  gPackDelay = 0;
  Use(std::string(200000, 'z'));
  dev.fillUntilFull();
  Do(kCmdSendRaw);
  ASSERT_TRUE(WaitFor([] { return gfSendFileOpen == 0; }, 15000));
  ASSERT_TRUE(WaitFor([] { return Screen() == "Sending|COM Tx Timeout->Aborted"; }, 2000)) << Screen();
  EXPECT_TRUE(Idle());
  // The user-interface thread can still start, stop and close.
  Do(kCmdAbortSend);
  EXPECT_EQ(headlessCountMessages("Cannot Abort because not sending!"), 1);
  closeConnection();
}

}  // namespace
