// Receive recording over a real serial line: the device end of a
// pseudo-terminal sends, the worker records, the user's keys pause, resume
// and close; the record file is read back byte for byte.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/commands.h"
#include "display/screen.h"
#include "link/connection.h"
#include "platform/posix/headless.h"
#include "platform/posix/paths.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "tests/support/pty.h"
#include "tests/support/state.h"
#include "transfer/record.h"

namespace {

class RecordSerial : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseRecFileQuietly();
    ResetProgramState();
    ASSERT_GE(dev.master(), 0) << "no pseudo-terminal";
    dev.mapAs(1);
    char tmpl[] = "/tmp/zelto-recio-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    path = dir + "/ZELTO.REC";
    std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s", path.c_str());
    ASSERT_EQ(openConnection(), 1);
    ClearDISPLAYScreen();   // of the open's text, "-COM1 is ..."
  }
  void TearDown() override {
    posixSetLocalTimeOfDay(-1);
    if (gfConnected) closeConnection();
    CloseRecFileQuietly();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static void Do(int id) { DoDISPLAYCommand(nullptr, id); }
  std::string File() const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  uintmax_t FileSize() const {
    std::error_code ec;
    const uintmax_t n = std::filesystem::file_size(path, ec);
    return ec ? 0 : n;
  }
  // Sends bytes as the device and waits until the worker has taken them
  // all: recorded, they are in the file; paused, they were counted.
  void Arrive(const std::string& s, bool recorded = true) {
    const uintmax_t size = FileSize() + s.size();
    const int32_t count = gByteCount + static_cast<int32_t>(s.size());
    ASSERT_TRUE(dev.send(s));
    if (recorded) {
      ASSERT_TRUE(WaitFor([&] { return FileSize() == size; }, 10000)) << FileSize() << " of " << size;
    } else {
      ASSERT_TRUE(WaitFor([&] { return gByteCount == count; }, 5000)) << gByteCount.load() << " of " << count;
    }
  }

  PtyDevice dev;
  std::string dir, path;
};

TEST_F(RecordSerial, PausedBytesAreShownButNotRecorded) {
  Do(kCmdRecordShown);
  Arrive("P1P2");
  Do(kCmdPauseRecord);
  Arrive("QQ", false);
  Do(kCmdRecordShown);
  Arrive("R");
  Do(kCmdCloseRecord);
  EXPECT_EQ(File(), "P1P2-PaUsE-R");
  EXPECT_EQ(GridRow(0), "-Recording-P1P2-PaUsE-QQ-Recording-RTransfer Finished, File Closed!");
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(RecordSerial, QuietHexAndDroppedDisplayChangeNothingInTheFile) {
  std::string all;
  for (int i = 0; i < 256; i++) all += static_cast<char>(i);
  gfHexPrint = 1;
  Do(kCmdRecordQuiet);
  EXPECT_EQ(GridRow(0), "-Recording-Quietly-");
  Arrive(std::string(150, 'a'));
  EXPECT_EQ(GridRow(0), "-Recording-Quietly-");
  Arrive(std::string(60, 'b'));
  ASSERT_TRUE(WaitFor([] { return GridRow(0) == "-Recording-Quietly-."; }, 2000)) << GridRow(0);
  Do(kCmdPauseRecord);
  Arrive("not recorded", false);
  Do(kCmdRecordShown);   // resumes, now shown (in hex)
  Arrive(all);
  gfDropStream = 1;
  Arrive(all + all);
  Do(kCmdCloseRecord);
  EXPECT_EQ(File(), std::string(150, 'a') + std::string(60, 'b') + "-PaUsE-" + all + all + all);
}

TEST_F(RecordSerial, ClosingTheLinkWhileRecordingLeavesTheFileComplete) {
  std::string data;
  for (int i = 0; i < 100000; i++) data += static_cast<char>((i * 7 + i / 300) & 0xFF);
  Do(kCmdRecordQuiet);
  Arrive(data);
  closeConnection();
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_EQ(gfRecRecv, 0);
  EXPECT_EQ(gfRecQuiet, 0);
  EXPECT_EQ(File(), data);

  // A new recording after reopening starts an empty file.
  ASSERT_EQ(openConnection(), 1);
  Do(kCmdRecordShown);
  Arrive("new");
  Do(kCmdCloseRecord);
  EXPECT_EQ(File(), "new");
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(RecordSerial, TimeStampsBeginEachReceivedLineOnScreenAndInTheFile) {
  posixSetLocalTimeOfDay(((13 * 60 + 5) * 60 + 9) * 1000 + 42);
  gfTimeStamps = 1;
  gfTimeStampsInRecord = 1;
  gfNewLineOnLf = 1;
  Do(kCmdRecordShown);
  ASSERT_TRUE(dev.send("one\r\ntwo\n\rthr"));
  ASSERT_TRUE(WaitFor([] { return GridRow(2) == "13:05:09.042 thr"; }, 5000)) << GridRow(2);
  ASSERT_TRUE(dev.send("ee\n"));
  ASSERT_TRUE(WaitFor([] { return CursorRow() == 3; }, 5000));
  Do(kCmdCloseRecord);
  EXPECT_EQ(File(), "13:05:09.042 one\r\n13:05:09.042 two\n\r13:05:09.042 three\n");
  EXPECT_EQ(GridRow(0), "-Recording-13:05:09.042 one");
  EXPECT_EQ(GridRow(1), "13:05:09.042 two");
  EXPECT_EQ(GridRow(2), "13:05:09.042 three");
  EXPECT_EQ(GridRow(3), "Transfer Finished, File Closed!");
}

}  // namespace
