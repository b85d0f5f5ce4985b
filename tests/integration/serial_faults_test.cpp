// Faults a user meets on a serial line: the device disappears while
// connected and comes back.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/commands.h"
#include "display/screen.h"
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
  // The device as the user named it, the link behind it.
  EXPECT_EQ(GridRow(1), "-COM1 is " + com1.path + ", 115200 baud-");
  ClearDISPLAYScreen();
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

// A user outside the device's group is refused with what to do about it, in
// the box under the usual failure and on standard error. Root opens every
// device, so the open is tried by an ordinary user (nobody) in a child.
TEST(SerialFaults, DeviceRefusedForItsPermissionsNamesTheGroupToJoin) {
  const group* dialout = getgrnam("dialout");
  if (geteuid() != 0 || !dialout) GTEST_SKIP() << "needs root and the group dialout";
  PtyDevice dev;
  ASSERT_EQ(chown(dev.path(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(dev.path(), 0660), 0);
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], 2);
    const gid_t nobody = 65534;
    if (setgroups(1, &nobody) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(3);
    ResetProgramState();
    posixSetComDevice(1, dev.path());
    const int opened = openConnection();
    const std::string box = headlessMessageCount() == 1 ? headlessMessage(0).text : "";
    std::fprintf(stderr, "BOX[%s]", box.c_str());
    _exit(opened);
  }
  close(out[1]);
  std::string seen;
  char buf[512];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) seen.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
  const std::string box = seen.substr(seen.find("BOX["));
  const std::string err = seen.substr(0, seen.find("BOX["));
  EXPECT_EQ(box.rfind(std::string("BOX[Cannot open COM1 @ 115200 baud\n") + dev.path() + ": Permission denied\n\n", 0), 0u)
      << box;
  for (const std::string& text : {box, err}) {
    EXPECT_NE(text.find(dev.path()), std::string::npos) << text;
    EXPECT_NE(text.find("the group dialout"), std::string::npos) << text;
    EXPECT_NE(text.find("sudo usermod -aG dialout $USER"), std::string::npos) << text;
    EXPECT_NE(text.find("log in again"), std::string::npos) << text;
  }
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
  // The box says why under its first line, and so does the screen.
  EXPECT_EQ(openConnection(), 0);
  EXPECT_EQ(headlessCountMessages(("Cannot open COM1 @ 115200 baud\n" + com1.path + ": No such file or directory").c_str()),
            1);
  EXPECT_NE(GridText().find("-" + com1.path + ": No such file or directory-"), std::string::npos);
}

}  // namespace

namespace {

// What zelto --list and the Options dialog's list say of a device, from
// sysfs (here a tree of the same shape): a USB adapter's driver, vendor and
// product; a built-in port's driver past the serial core's own devices; and
// of a path that is no serial device, that it is none.
TEST(SerialFaults, EachDeviceFoundNamesItsDriverAndUsbProduct) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("zelto-sysfs-" + std::to_string(getpid()));
  const fs::path usb = root / "devices/pci0/usb1/1-1", port = root / "devices/pnp0/00:00/00:00:0/00:00:0.0";
  fs::create_directories(usb / "1-1:1.0/ttyUSB0");
  fs::create_directories(port);
  for (const auto& [link, target] : std::initializer_list<std::pair<fs::path, const char*>>{
           {root / "class/tty/ttyUSB0/device", "../../../devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0"},
           {root / "class/tty/ttyS0/device", "../../../devices/pnp0/00:00/00:00:0/00:00:0.0"},
           {usb / "1-1:1.0/ttyUSB0/driver", "../../../../../bus/usb-serial/drivers/cp210x"},
           {port / "driver", "../../../../../bus/serial-base/drivers/port"},
           {port.parent_path() / "driver", "../../../../bus/serial-base/drivers/ctrl"},
           {port.parent_path().parent_path() / "driver", "../../../bus/pnp/drivers/serial"}}) {
    fs::create_directories(link.parent_path());
    fs::create_directory_symlink(target, link);
  }
  for (const auto& [name, text] : {std::pair<const char*, const char*>{"idVendor", "10c4\n"}, {"idProduct", "ea60\n"},
                                   {"manufacturer", "Silicon Labs\n"}, {"product", "CP2102 USB to UART Bridge\n"}})
    std::ofstream(usb / name) << text;
  for (const char* dev : {"ttyUSB0", "ttyS0", "ttyACM9"}) std::ofstream(root / dev) << "";   // only names count
  posixSetSysfsRoot(root.c_str());
  char info[256];
  EXPECT_EQ(posixSerialDeviceInfo((root / "ttyUSB0").c_str(), info, sizeof info), 1);
  EXPECT_STREQ(info, "cp210x, USB 10c4:ea60 Silicon Labs CP2102 USB to UART Bridge");
  EXPECT_EQ(posixSerialDeviceInfo((root / "ttyS0").c_str(), info, sizeof info), 1);
  EXPECT_STREQ(info, "serial");
  EXPECT_EQ(posixSerialDeviceInfo((root / "ttyACM9").c_str(), info, sizeof info), 0);
  posixSetSysfsRoot(nullptr);
  // Named with --com, what is no serial device is said to be none (not held
  // by every program that has /dev/null open).
  char why[640];
  for (const std::string& path : {std::string("/dev/null"), root.string(), (root / "ttyUSB0").string()}) {
    EXPECT_EQ(posixSerialDeviceProblem(path.c_str(), why, sizeof why), 1);
    EXPECT_STREQ(why, "not a serial device") << path;
  }
  fs::remove_all(root);
}

}  // namespace
