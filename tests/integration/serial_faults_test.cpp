// Faults a user meets on a serial line: the device disappears while
// connected and comes back; the user reopens.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <memory>
#include <thread>

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

TEST(SerialFaults, PulledDeviceEndsSendingAndAReopenFindsTheNewOne) {
  ResetProgramState();
  auto dev = std::make_unique<PtyDevice>();
  dev->mapAs(1);
  ASSERT_EQ(openConnection(), 1);
  ASSERT_TRUE(dev->send("before"));
  ASSERT_TRUE(WaitFor([] { return GridRow(0) == "before"; }, 2000));

  dev->pull();
  // The worker keeps polling a line that hangs up at once; it must pause
  // between passes instead of taking a whole processor.
  const double c0 = cpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LT(cpuSeconds() - c0, 0.25);

  // Typing into the dead line: the write fails and the user is told on the
  // screen, without a hang.
  sendCommByte('x');
  ASSERT_TRUE(WaitFor([] { return GridRow(0) == "beforeCOM Tx Timeout->Aborted"; }, 8000)) << GridRow(0);
  EXPECT_EQ(gComTxLen.load(), 0);

  // The adapter comes back (as a new device); the user reopens through Setup.
  auto again = std::make_unique<PtyDevice>();
  again->mapAs(1);
  closeConnection();
  ASSERT_EQ(openConnection(), 1);
  sendCommByte('y');
  EXPECT_EQ(again->receive(1, 2000), "y");
  ASSERT_TRUE(again->send("after"));
  ASSERT_TRUE(WaitFor([] { return GridRow(1) == "after"; }, 2000)) << GridRow(1);
  closeConnection();
  EXPECT_EQ(headlessMessageCount(), 0);
}

}  // namespace
