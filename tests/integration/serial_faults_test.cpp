// Faults a user meets on a serial line: the device disappears while
// connected and comes back.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/commands.h"
#include "link/connection.h"
#include "link/serial.h"
#include "platform/posix/headless.h"
#include "platform/posix/paths.h"
#include "settings/globals.h"
#include "tests/support/pty.h"
#include "tests/support/state.h"

namespace {

double cpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// COM1 names the device through an alias of its own, as a USB adapter's
// stable name does: it goes when the device is pulled, and comes back
// pointing at the new terminal when the device is plugged in again.
struct Alias {
  std::string path = "/tmp/zelto-com1-" + std::to_string(getpid());
  Alias() { posixSetComDevice(1, path.c_str()); }
  ~Alias() {
    unlink(path.c_str());
    posixSetComDevice(1, nullptr);
  }
  bool pointAt(const char* device) const {
    const std::string tmp = path + ".new";
    unlink(tmp.c_str());
    return symlink(device, tmp.c_str()) == 0 && rename(tmp.c_str(), path.c_str()) == 0;
  }
};

TEST(SerialFaults, PulledDeviceIsLetGoAndReopenedByItselfWhenBack) {
  ResetProgramState();
  Alias com1;
  auto dev = std::make_unique<PtyDevice>();
  ASSERT_TRUE(com1.pointAt(dev->path()));
  ASSERT_EQ(openConnection(), 1);
  ASSERT_TRUE(dev->send("before"));
  ASSERT_TRUE(WaitFor([] { return GridRow(0) == "before"; }, 2000));

  dev->pull();
  unlink(com1.path.c_str());
  ASSERT_TRUE(WaitFor([] { return GridRow(1) == "-COM1 lost-"; }, 2000)) << GridRow(1);
  // The worker lets the dead line go instead of polling it: no processor
  // taken, and a typed key is dropped without a timeout or a hang.
  const double c0 = cpuSeconds();
  sendCommByte('x');
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LT(cpuSeconds() - c0, 0.25);
  EXPECT_EQ(gComTxLen.load(), 0);
  EXPECT_EQ(gfConnected.load(), 1);

  // The adapter comes back under the same name, on a new terminal: the link
  // is open again by itself, at the same rate, and works both ways.
  auto again = std::make_unique<PtyDevice>();
  ASSERT_TRUE(com1.pointAt(again->path()));
  ASSERT_TRUE(WaitFor([] { return GridRow(2) == "-COM1 back-"; }, 3000)) << GridRow(2);
  termios tio{};
  ASSERT_EQ(tcgetattr(again->master(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
  sendCommByte('y');
  EXPECT_EQ(again->receive(1, 2000), "y");
  ASSERT_TRUE(again->send("after"));
  ASSERT_TRUE(WaitFor([] { return GridRow(3) == "after"; }, 2000)) << GridRow(3);
  closeConnection();
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST(SerialFaults, ADevicePulledDuringASendIsLostNotTimedOutAndAFailedOpenSaysWhy) {
  ResetProgramState();
  Alias com1;
  auto dev = std::make_unique<PtyDevice>();
  ASSERT_TRUE(com1.pointAt(dev->path()));
  ASSERT_EQ(openConnection(), 1);
  std::ofstream(com1.path + ".txt") << std::string(2000000, 'z');
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s.txt", com1.path.c_str());
  gPackDelay = 0;
  DoDISPLAYCommand(nullptr, kCmdSendRaw);
  ASSERT_TRUE(WaitFor([] { return gfTxBusy == 1; }, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));   // the device reads nothing: the write waits
  dev->pull();
  unlink(com1.path.c_str());
  ASSERT_TRUE(WaitFor([] { return gfSendFileOpen == 0 && GridText().find("Aborted") != std::string::npos; }, 5000));
  EXPECT_EQ(GridText().find("COM Tx Timeout"), std::string::npos) << GridText().substr(0, 240);
  EXPECT_NE(GridText().find("-COM1 lost-"), std::string::npos);
  closeConnection();
  unlink(gszSendPathName);
  // The box is the same for every failed open; the screen says why.
  EXPECT_EQ(openConnection(), 0);
  EXPECT_EQ(headlessCountMessages("Cannot open COM1 @ 115200 baud"), 1);
  EXPECT_NE(GridText().find("-" + com1.path + ": No such file or directory-"), std::string::npos);
}

}  // namespace
