// The two threads at full speed over a serial line: the user types, switches
// modes, pauses and resumes recording and aborts while the worker streams a
// file and records what the device sends. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
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
#include "transfer/record.h"

namespace {

class FileSendStress : public ::testing::Test {
 protected:
  void SetUp() override {
    AbortSendFileQuietly();
    CloseRecFileQuietly();
    ResetProgramState();
    ASSERT_GE(dev.master(), 0) << "no pseudo-terminal";
    dev.mapAs(1);
    char tmpl[] = "/tmp/zelto-stress-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    recPath = dir + "/ZELTO.REC";
    std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s", recPath.c_str());
    gPackDelay = 0;
    ASSERT_EQ(openConnection(), 1);
  }
  void TearDown() override {
    StopDevice();
    if (gfConnected) closeConnection();
    AbortSendFileQuietly();
    CloseRecFileQuietly();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  void Use(const std::string& content, const char* name) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str());
  }
  static void Do(int id) { DoDISPLAYCommand(nullptr, id); }

  // The device: takes in all the program sends, and sends a numbered
  // stream of its own in small bursts while running.
  void StartDevice(bool talk) {
    running = true;
    device = std::thread([this, talk] {
      int n = 0;
      while (running) {
        const std::string part = dev.receive(4096, 2);
        if (!part.empty()) {
          std::lock_guard<std::mutex> hold(mutex);
          received += part;
        }
        if (talk && n < 400000) {
          std::string burst;
          for (int i = 0; i < 97; i++, n++) burst += static_cast<char>('0' + n % 61);
          if (dev.send(burst)) {
            std::lock_guard<std::mutex> hold(mutex);
            talked += burst;
          }
        }
      }
    });
  }
  void StopDevice() {
    running = false;
    if (device.joinable()) device.join();
  }
  std::string Received() {
    std::lock_guard<std::mutex> hold(mutex);
    return received;
  }
  std::string Talked() {
    std::lock_guard<std::mutex> hold(mutex);
    return talked;
  }
  std::string RecordFile() const {
    std::ifstream in(recPath, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::string Without(const std::string& s, char c) {
    std::string out;
    for (char x : s) {
      if (x != c) out += x;
    }
    return out;
  }

  PtyDevice dev;
  std::string dir, recPath;
  std::thread device;
  std::atomic<bool> running{false};
  std::mutex mutex;
  std::string received, talked;
};

TEST_F(FileSendStress, TypingSwitchingAndRecordingDuringARawSendLoseNoFileByte) {
  // Lines of 40 bytes; the file holds no 'k', the byte the user types. Long
  // enough that the send is still running when the rounds are over (a key
  // F6 after its end would start it anew).
  std::string file;
  for (int i = 0; i < 3000000; i++) file += (i % 40 == 39) ? '\r' : static_cast<char>('A' + i % 26);
  Use(file, "big.txt");
  StartDevice(true);
  Do(kCmdRecordShown);
  Do(kCmdSendRaw);
  int pauses = 0;
  for (int round = 0; round < 300 && gfSendFileOpen; round++) {
    for (int i = 0; i < 5; i++) sendCommByte('k');
    if (round % 7 == 3) {
      Do(kCmdSendLine);   // the rest of the line now, from this thread
      Do(kCmdSendRaw);    // and on raw once it has gone out
      // The next switch only once that line has left the queue: a key
      // press while a line still goes out replaces its rest, by design.
      WaitFor([] { return gLinePtr >= gLineMax; }, 2000);
    }
    if (round % 11 == 5) {
      Do(kCmdPauseRecord);
      pauses++;
      Do(kCmdRecordShown);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  Do(kCmdAbortSend);
  WaitFor([] { return gComTxLen == 0; }, 2000);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  closeConnection();   // while recording
  StopDevice();

  const std::string sent = Without(Received(), 'k');
  ASSERT_GT(sent.size(), 0u);
  ASSERT_LE(sent.size(), file.size());
  EXPECT_EQ(sent, file.substr(0, sent.size())) << "the file's bytes arrive in order, none lost or repeated";

  // The record file: what the device said, in order, with one marker per
  // pause; each stretch between markers is whole received blocks.
  const std::string rec = RecordFile();
  const std::string marker = "-PaUsE-";
  const std::string said = Talked();
  size_t at = 0, markers = 0, from = 0;
  for (;;) {
    const size_t next = rec.find(marker, from);
    const std::string stretch = rec.substr(from, next == std::string::npos ? std::string::npos : next - from);
    if (!stretch.empty()) {
      const size_t found = said.find(stretch, at);
      ASSERT_NE(found, std::string::npos) << "recorded bytes the device never sent in that order";
      at = found + stretch.size();
    }
    if (next == std::string::npos) break;
    markers++;
    from = next + marker.size();
  }
  EXPECT_EQ(markers, static_cast<size_t>(pauses));
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_EQ(headlessCountMessages("Record File Write Error!"), 0);
}

TEST_F(FileSendStress, NothingOfAnEndedSendFollowsTheNextOne) {
  StartDevice(false);
  // Long enough that a raw send with no delay is still running when F8 comes.
  Use(std::string(4000000, 'a'), "a.txt");
  std::string b;
  for (int i = 0; i < 3000; i++) b += static_cast<char>('b' + i % 3);
  const std::string bPath = dir + "/b.txt";
  std::ofstream(bPath, std::ios::binary) << b;
  const std::string aPath = gszSendPathName;
  for (int round = 0; round < 40; round++) {
    // An early end in a different spot each round: abort, in raw or in a
    // line mode, or a held-back byte behind a '/'.
    std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", aPath.c_str());
    Do(round % 3 == 1 ? kCmdSendLine : kCmdSendRaw);
    if (round % 3 == 1) Do(kCmdSendLine);
    std::this_thread::sleep_for(std::chrono::microseconds(100 * (round % 9)));
    Do(kCmdAbortSend);
    std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", bPath.c_str());
    Do(kCmdSendRaw);
    ASSERT_TRUE(WaitFor([] { return gfSendFileOpen == 0 && gLinePtr >= gLineMax; }, 20000));
    ASSERT_TRUE(WaitFor([&] { return Received().find(b) != std::string::npos; }, 5000)) << round;
    const std::string got = Received();
    const size_t first = got.find('b');
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(got.substr(first), b) << "round " << round;
    EXPECT_EQ(Without(got.substr(0, first), 'a'), "") << "round " << round;
    std::lock_guard<std::mutex> hold(mutex);
    received.clear();
  }
  EXPECT_EQ(headlessMessageCount(), 0) << (headlessMessageCount() ? headlessMessage(0).text : "");
}

TEST_F(FileSendStress, KeysTypedDuringARawSendAllArriveAndNeverWaitForTheDevice) {
  std::string file;
  for (int i = 0; i < 200000; i++) file += static_cast<char>('A' + i % 26);
  Use(file, "keys.txt");
  Do(kCmdSendRaw);
  // The device does not read: the line fills and the worker's write blocks.
  ASSERT_TRUE(WaitFor([] { return gfTxBusy == 1; }, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  sendCommByte('k');
  EXPECT_EQ(gfSendFileOpen, 1) << "the key waited for the blocked write to time out";
  StartDevice(false);
  for (int i = 0; i < 9; i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    sendCommByte('k');
  }
  ASSERT_TRUE(WaitFor([] { return gfSendFileOpen == 0 && gLinePtr >= gLineMax && gComTxLen == 0; }, 20000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::string got = Received();
  EXPECT_EQ(got.size() - Without(got, 'k').size(), 10u) << "every typed key reaches the device";
  EXPECT_EQ(Without(got, 'k'), file);
}

}  // namespace
