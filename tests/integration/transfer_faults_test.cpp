// Faults a file transfer meets on a real serial line: the record file's disk
// fills up, the send file is deleted or cut short while it goes out, and the
// program is closed while it sends, records and receives at once.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "app/commands.h"
#include "display/screen.h"
#include "link/connection.h"
#include "platform/msgbox.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "tests/support/numbered_text.h"
#include "tests/support/pty.h"
#include "tests/support/state.h"
#include "transfer/filesend.h"
#include "transfer/record.h"

namespace {

const char kFinished[] = "Transfer Finished, File Closed!";

std::string ReadAll(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

uintmax_t SizeOf(const std::string& path) {
  std::error_code ec;
  const uintmax_t n = std::filesystem::file_size(path, ec);
  return ec ? 0 : n;
}

// Where two byte strings first differ, with a little of each from there:
// empty when they are equal. Long streams are compared without printing them whole.
std::string Difference(const std::string& got, const std::string& want) {
  if (got == want) return "";
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) i++;
  return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size()) + ", first difference at " +
         std::to_string(i) + ": got \"" + got.substr(i, 40) + "\", want \"" + want.substr(i, 40) + "\"";
}

// Whether this process still holds a descriptor on path.
bool HeldOpen(const std::string& path) {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    std::error_code rc;
    if (std::filesystem::read_symlink(e.path(), rc).string() == path) return true;
  }
  return false;
}

// A small disk of its own, filled up to `room` free bytes: a tmpfs, or where
// that may not be mounted, an ext2 image on a loop device. Unmounted when the
// test ends, however it ends.
class SmallDisk {
 public:
  explicit SmallDisk(size_t room) {
    char tmpl[] = "/tmp/zelto-smalldisk-XXXXXX";
    if (!mkdtemp(tmpl)) {
      why_ = "no folder for the mount point";
      return;
    }
    dir_ = tmpl;
    if (mount("zelto-smalldisk", tmpl, "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0) {
      mounted_ = true;
    } else {
      why_ = std::string("tmpfs could not be mounted (") + std::strerror(errno) + ")";
      image_ = dir_ + ".img";
      const std::string cmd = "truncate -s 128k '" + image_ + "' && mkfs.ext2 -q -F -m 0 -b 1024 '" + image_ +
                              "' >/dev/null 2>&1 && mount -o loop '" + image_ + "' '" + dir_ + "' 2>/dev/null";
      mounted_ = std::system(cmd.c_str()) == 0;
      if (!mounted_) why_ += ", nor a loop device";
    }
    if (mounted_ && !fillUpTo(room)) why_ = "the small disk could not be filled";
  }
  ~SmallDisk() {
    if (mounted_ && umount(dir_.c_str()) != 0) umount2(dir_.c_str(), MNT_DETACH);
    if (!dir_.empty()) rmdir(dir_.c_str());
    if (!image_.empty()) unlink(image_.c_str());
  }
  SmallDisk(const SmallDisk&) = delete;
  bool ok() const { return mounted_ && filled_; }
  const std::string& why() const { return why_; }
  std::string path(const char* name) const { return dir_ + "/" + name; }
  size_t Free() const {
    struct statvfs vfs {};
    if (statvfs(dir_.c_str(), &vfs) != 0) return 0;
    return static_cast<size_t>(vfs.f_bavail) * vfs.f_frsize;
  }

 private:
  // Fills the disk to the last byte, then gives room bytes back.
  bool fillUpTo(size_t room) {
    const int fd = open(path("filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    static const char chunk[4096] = {};
    off_t size = 0;
    for (ssize_t r; (r = write(fd, chunk, sizeof chunk)) > 0;) size += r;
    filled_ = size > static_cast<off_t>(room) && ftruncate(fd, size - static_cast<off_t>(room)) == 0;
    close(fd);
    return filled_;
  }

  std::string dir_, image_, why_;
  bool mounted_ = false;
  bool filled_ = false;
};

// Ends the run when a step that must return does not: a hang is reported as
// a hang, not waited out by the test runner.
class Watchdog {
 public:
  Watchdog(const char* what, int seconds)
      : thread_([this, what, seconds] {
          for (int ms = 0; !done_ && ms < seconds * 1000; ms += 10) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
          if (done_) return;
          std::fprintf(stderr, "watchdog: %s did not return within %d s\n", what, seconds);
          std::abort();
        }) {}
  ~Watchdog() {
    done_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// A device that talks without pause: it writes its stream as fast as the
// line takes it, and keeps what the program sends.
class FloodingDevice {
 public:
  FloodingDevice(int fd, const std::string& stream) : fd_(fd), stream_(stream), thread_([this] { run(); }) {}
  ~FloodingDevice() { stop(); }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  const std::string& received() const { return received_; }   // after stop()

 private:
  void run() {
    size_t off = 0;
    char buf[4096];
    while (!stop_) {
      pollfd pfd{fd_, static_cast<short>(POLLIN | (off < stream_.size() ? POLLOUT : 0)), 0};
      if (poll(&pfd, 1, 5) <= 0) continue;
      if (pfd.revents & POLLIN) {
        const ssize_t r = read(fd_, buf, sizeof buf);
        if (r > 0) received_.append(buf, static_cast<size_t>(r));
      }
      if ((pfd.revents & POLLOUT) && off < stream_.size()) {
        const ssize_t w = write(fd_, stream_.data() + off, std::min<size_t>(4096, stream_.size() - off));
        if (w > 0) off += static_cast<size_t>(w);
      }
    }
  }

  const int fd_;
  const std::string& stream_;
  std::atomic<bool> stop_{false};
  std::string received_;
  std::thread thread_;
};

// The part of the main window's closing that is not the window system's:
// WM_CLOSE ends the connection (worker stopped, both files closed) and then
// closes whichever file is still open; WM_DESTROY does the latter again.
void CloseOpenFiles() {
  if (gfSendFileOpen) AbortSendFileQuietly();
  if (gfRecFileOpen) CloseRecFileQuietly();
}

class TransferFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    ASSERT_GE(dev.master(), 0) << "no pseudo-terminal";
    dev.mapAs(1);
    char tmpl[] = "/tmp/zelto-xferfault-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    gPackDelay = 0;
    ASSERT_EQ(openConnection(), 1);
    ClearDISPLAYScreen();   // of the open's text
  }
  void TearDown() override {
    if (gfConnected) closeConnection();
    CloseOpenFiles();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static void Do(int id) { DoDISPLAYCommand(nullptr, id); }
  std::string Use(const std::string& content, const char* name = "send.txt") {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str());
    return path;
  }
  static void RecordTo(const std::string& path) {
    std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s", path.c_str());
  }
  std::string ReceiveUntilQuiet(int ms) {
    std::string got;
    for (std::string part; !(part = dev.receive(65536, ms)).empty();) got += part;
    return got;
  }
  static bool Idle() { return gfSendFileOpen == 0 && gLinePtr >= gLineMax; }
  // The send ended as at the end of its file, with rest the last to go out.
  void ExpectFinished(const std::string& rest) {
    ASSERT_TRUE(WaitFor(Idle, 10000));
    EXPECT_EQ(ReceiveUntilQuiet(100), rest);
    EXPECT_EQ(Screen(), std::string("Sending|") + kFinished);
  }
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
  // The grid as bytes laid in from a blank screen would leave it.
  static std::string Replayed(const std::string& bytes) {
    ClearDISPLAYScreen();
    WriteDISPLAYBlock(bytes.data(), static_cast<int32_t>(bytes.size()));
    return GridText();
  }
  static std::string Shown(size_t n) { return GridText().substr(0, n); }

  PtyDevice dev;
  std::string dir;
};

TEST_F(TransferFaults, RecordDiskFullIsReportedOnceAndNothingShownIsLost) {
  SmallDisk disk(8192);   // less than the device sends, so that all it sends still fits the screen
  if (!disk.ok()) GTEST_SKIP() << disk.why();
  const std::string recPath = disk.path("ZELTO.REC");
  RecordTo(recPath);
  Do(kCmdRecordShown);
  const std::string data = NumberedText(10000);
  ASSERT_TRUE(dev.send(data));
  const std::string expect = "-Recording-" + data;
  ASSERT_TRUE(WaitFor([&] { return Shown(expect.size()) == expect; }, 10000)) << Shown(expect.size());
  EXPECT_EQ(GridText().find_first_not_of(' ', expect.size()), std::string::npos);

  ASSERT_EQ(headlessCountMessages("Record File Write Error!"), 1);
  const RecordedMessage m = headlessMessage(0);
  EXPECT_EQ(m.caption, "(default)");
  EXPECT_EQ(m.icon, kIconWarning);
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_EQ(gfRecRecv, 0);
  EXPECT_FALSE(HeldOpen(recPath));
  // Everything that fitted, in order; only what found no room is missing.
  const std::string file = ReadAll(recPath);
  EXPECT_GE(file.size(), 4096u);
  EXPECT_LT(file.size(), data.size());
  EXPECT_EQ(file, data.substr(0, file.size()));
  EXPECT_EQ(disk.Free(), 0u);

  // The user closes the record (F12) and records onto a disk with room.
  Do(kCmdCloseRecord);
  RecordTo(dir + "/again.REC");
  Do(kCmdRecordShown);
  ASSERT_TRUE(dev.send("after the disk filled up"));
  ASSERT_TRUE(WaitFor([&] { return SizeOf(dir + "/again.REC") == 24; }, 5000));
  Do(kCmdCloseRecord);
  EXPECT_EQ(ReadAll(dir + "/again.REC"), "after the disk filled up");
  EXPECT_EQ(headlessMessageCount(), 1);
}

TEST_F(TransferFaults, PauseMarkerThatFindsNoRoomEndsTheRecording) {
  SmallDisk disk(8192);
  if (!disk.ok()) GTEST_SKIP() << disk.why();
  const std::string recPath = disk.path("ZELTO.REC");
  RecordTo(recPath);
  Do(kCmdRecordShown);
  const size_t room = disk.Free();
  ASSERT_GT(room, 7u);
  const std::string data = NumberedText(room - 3);   // the marker's 7 bytes do not fit behind it
  ASSERT_TRUE(dev.send(data));
  ASSERT_TRUE(WaitFor([&] { return SizeOf(recPath) == data.size(); }, 10000)) << SizeOf(recPath);
  Do(kCmdPauseRecord);
  EXPECT_EQ(headlessCountMessages("Rec File Write Error!"), 1);
  EXPECT_EQ(headlessMessage(0).caption, gszAppName);
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_FALSE(HeldOpen(recPath));
  const std::string file = ReadAll(recPath);
  ASSERT_GE(file.size(), data.size());
  EXPECT_EQ(file.substr(0, data.size()), data);
  EXPECT_EQ(file.substr(data.size()), std::string("-PaUsE-").substr(0, file.size() - data.size()));

  // No marker on the screen; what arrives next is still shown.
  ASSERT_TRUE(dev.send("more"));
  const std::string expect = "-Recording-" + data + "more";
  ASSERT_TRUE(WaitFor([&] { return Shown(expect.size()) == expect; }, 5000)) << Shown(expect.size());
  EXPECT_EQ(headlessMessageCount(), 1);
}

TEST_F(TransferFaults, SendFileDeletedWhileSendingStillGoesOutWhole) {
  // Raw mode: the open file reads on to its end after its name is gone.
  gPackDelay = 1;
  const std::string raw = NumberedText(900);
  std::string path = Use(raw);
  Do(kCmdSendRaw);
  std::string got = dev.receive(50, 5000);
  ASSERT_EQ(got.size(), 50u);
  ASSERT_EQ(gfSendFileOpen, 1);
  ASSERT_EQ(unlink(path.c_str()), 0);
  got += dev.receive(raw.size() - got.size(), 20000);
  EXPECT_EQ(got, raw);
  ExpectFinished("");
  EXPECT_FALSE(HeldOpen(path + " (deleted)"));

  // Line mode: the deleted file still gives one line per key.
  ClearDISPLAYScreen();
  path = Use("one\rtwo\rthree\r");
  Do(kCmdSendLine);
  Do(kCmdSendLine);
  EXPECT_EQ(dev.receive(4, 3000), "one\r");
  ASSERT_EQ(unlink(path.c_str()), 0);
  Do(kCmdSendLine);
  EXPECT_EQ(dev.receive(4, 3000), "two\r");
  Do(kCmdSendLine);
  EXPECT_EQ(dev.receive(6, 3000), "three\r");
  Do(kCmdSendLine);
  ExpectFinished("");
  EXPECT_FALSE(HeldOpen(path + " (deleted)"));
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(TransferFaults, SendFileCutShortWhileSendingEndsAtItsNewEnd) {
  // Raw mode: cut to nothing in the middle of the send. What went out is the
  // file's beginning, and the send ends as at any end of file.
  gPackDelay = 2;
  const std::string raw = NumberedText(900);
  std::string path = Use(raw);
  Do(kCmdSendRaw);
  std::string got = dev.receive(50, 5000);
  ASSERT_EQ(got.size(), 50u);
  ASSERT_EQ(truncate(path.c_str(), 0), 0);
  ASSERT_TRUE(WaitFor(Idle, 10000));
  got += ReceiveUntilQuiet(100);
  EXPECT_LT(got.size(), raw.size());
  EXPECT_EQ(got, raw.substr(0, got.size()));
  EXPECT_EQ(Screen(), std::string("Sending|") + kFinished);
  EXPECT_FALSE(HeldOpen(path));

  // Line mode: cut inside a line not yet read. The lines before the cut go
  // out whole, the cut line as far as it still reaches, then the end texts.
  gPackDelay = 0;
  ClearDISPLAYScreen();
  path = Use("first\rsecond\rthird\rfourth\r");
  Do(kCmdSendLine);
  Do(kCmdSendLine);
  EXPECT_EQ(dev.receive(6, 3000), "first\r");
  ASSERT_EQ(truncate(path.c_str(), 16), 0);   // "first\rsecond\rthi"
  Do(kCmdSendLine);
  EXPECT_EQ(dev.receive(7, 3000), "second\r");
  EXPECT_EQ(gfSendFileOpen, 1);
  Do(kCmdSendLine);
  ExpectFinished("thi");

  // Cut behind the reader's position: the next key finds the end at once.
  ClearDISPLAYScreen();
  path = Use("first\rsecond\r");
  Do(kCmdSendLine);
  Do(kCmdSendLine);
  EXPECT_EQ(dev.receive(6, 3000), "first\r");
  ASSERT_EQ(truncate(path.c_str(), 0), 0);
  Do(kCmdSendLine);
  ExpectFinished("");

  // A new send afterwards goes out whole.
  Use("fresh start\r", "fresh.txt");
  Do(kCmdSendRaw);
  EXPECT_EQ(dev.receive(12, 5000), "fresh start\r");
  ASSERT_TRUE(WaitFor(Idle, 3000));
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(TransferFaults, ClosingWhileSendingRecordingAndReceivingKeepsWhatWasShown) {
  std::string stream;
  char line[64];
  for (int i = 0; stream.size() < 4000000; i++) {
    std::snprintf(line, sizeof line, "%07d the device talks on and on, line after line\r\n", i);
    stream += line;
  }
  const std::string send = NumberedText(900);   // under 999 bytes: no progress dot
  // Closed at different depths of the flood.
  const uintmax_t depths[] = {3000, 30000, 150000};
  for (const uintmax_t depth : depths) {
    SCOPED_TRACE(depth);
    // A new line each round, so that no byte of the last flood is in flight.
    PtyDevice line;
    ASSERT_GE(line.master(), 0);
    line.mapAs(1);
    if (gfConnected) closeConnection();
    ASSERT_EQ(openConnection(), 1);
    ClearDISPLAYScreen();
    gPackDelay = 3;
    const std::string sendPath = Use(send);
    const std::string recPath = dir + "/flood.REC";
    RecordTo(recPath);
    Do(kCmdRecordShown);
    Do(kCmdSendRaw);
    ASSERT_EQ(gfSendFileOpen, 1);
    FloodingDevice flood(line.master(), stream);
    ASSERT_TRUE(WaitFor([&] { return SizeOf(recPath) >= depth; }, 30000)) << SizeOf(recPath);
    ASSERT_EQ(gfSendFileOpen, 1) << "the send must still be under way";
    ASSERT_EQ(gfRecRecv, 1);

    int sentinel[3] = {-1, -1, -1};
    {
      Watchdog dog("closing the main window", 30);
      if (gfConnected) closeConnection();   // WM_CLOSE, through the display teardown
      // The port's, the send file's and the record file's descriptors are
      // free now; whatever takes them must survive the closes that follow.
      for (int& s : sentinel) s = open("/dev/null", O_RDONLY | O_CLOEXEC);
      CloseOpenFiles();   // WM_CLOSE
      CloseOpenFiles();   // WM_DESTROY
    }
    for (const int s : sentinel) {
      EXPECT_NE(fcntl(s, F_GETFD), -1) << "descriptor " << s << " was closed a second time";
      close(s);
    }
    flood.stop();
    EXPECT_EQ(gfConnected, 0);
    EXPECT_EQ(gdwThreadID.load(), 0u);
    EXPECT_EQ(gfSendFileOpen, 0);
    EXPECT_EQ(gfRecFileOpen, 0);
    EXPECT_FALSE(HeldOpen(sendPath));
    EXPECT_FALSE(HeldOpen(recPath));

    // The file is the device's stream from its start. Closing purges the
    // port first, which discards what waited in its receive queue; the
    // worker's last passes may still take bytes that came after the purge.
    // So the stream may jump ahead once, and only within those last passes.
    const std::string rec = ReadAll(recPath);
    EXPECT_GE(rec.size(), depth);
    size_t same = 0;
    while (same < rec.size() && rec[same] == stream[same]) same++;
    const std::string late = rec.substr(same);
    EXPECT_LE(late.size(), 2u * kRxBlockSize) << Difference(rec, stream.substr(0, rec.size()));
    if (!late.empty()) {
      EXPECT_NE(stream.find(late, same), std::string::npos) << "bytes out of order: " << late;
    }
    // The screen is what that file shows behind the status texts: no shown
    // byte is missing from it.
    const std::string screen = GridText();
    EXPECT_EQ(Difference(screen, Replayed("-Recording-\rSending\r" + rec + "Aborted\r")), "");
    // What reached the device is the send file's beginning.
    EXPECT_LT(flood.received().size(), send.size());
    EXPECT_EQ(flood.received(), send.substr(0, flood.received().size()));
  }
  EXPECT_EQ(headlessMessageCount(), 0);
}

}  // namespace
