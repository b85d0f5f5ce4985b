// Timed harness for the serial link and its worker, with a pseudo-terminal
// as the device: latency both ways, receive throughput against a plain
// reader of the same line, the processor share of an idle connected worker,
// and heap allocations while data flows both ways.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "display/screen.h"
#include "link/connection.h"
#include "platform/posix/paths.h"
#include "settings/globals.h"

extern "C" void* __libc_malloc(size_t);
static std::atomic<long> gAllocations{0};
extern "C" void* malloc(size_t n) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}

namespace {

using Clock = std::chrono::steady_clock;
int gMaster = -1;
char gPath[128];

double us(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void openDevice() {
  termios tio{};
  cfmakeraw(&tio);
  int slave = -1;
  if (openpty(&gMaster, &slave, gPath, &tio, nullptr) != 0) {
    std::perror("openpty");
    std::exit(1);
  }
  posixSetComDevice(1, gPath);
}

bool readOne(int ms) {
  pollfd p{gMaster, POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return false;
  char c;
  return read(gMaster, &c, 1) == 1;
}

int cursorColumn() {
  ScopedLock hold(ScreenLock());
  return GnColumn;
}

void percentiles(const char* what, std::vector<double>& v) {
  std::sort(v.begin(), v.end());
  std::printf("%-34s p50 %8.1f us   p99 %8.1f us   (n=%zu)\n", what, v[v.size() / 2], v[v.size() * 99 / 100], v.size());
}

double cpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main() {
  openDevice();
  if (!openConnection()) return 1;

  // Typed byte to the device end.
  std::vector<double> tx;
  for (int i = 0; i < 3000; i++) {
    const auto t0 = Clock::now();
    sendCommByte('a');
    if (!readOne(1000)) return 1;
    tx.push_back(us(Clock::now() - t0));
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  percentiles("sendCommByte -> device", tx);

  // Device byte to the grid.
  std::vector<double> rx;
  for (int i = 0; i < 3000; i++) {
    if (i % 70 == 0) {
      const char cr = '\r';
      if (write(gMaster, &cr, 1) != 1) return 1;
      while (cursorColumn() != 0) std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    const int col = cursorColumn();
    const auto t0 = Clock::now();
    const char b = 'b';
    if (write(gMaster, &b, 1) != 1) return 1;
    while (cursorColumn() == col) std::this_thread::yield();
    rx.push_back(us(Clock::now() - t0));
  }
  percentiles("device -> gabScreen", rx);

  // Receive throughput: the device writes as fast as the line takes it.
  // A plain reader of the pseudo-terminal in the same run is the reference.
  constexpr long kBytes = 8L << 20;
  static char chunk[4096];
  for (size_t i = 0; i < sizeof chunk; i++) chunk[i] = (i % 70 == 69) ? '\r' : static_cast<char>('!' + i % 90);
  auto pump = [&] {
    long sent = 0;
    while (sent < kBytes) {
      const ssize_t r = write(gMaster, chunk, sizeof chunk);
      if (r > 0) {
        sent += r;
      } else {
        pollfd p{gMaster, POLLOUT, 0};
        poll(&p, 1, 10);
      }
    }
  };
  gByteCount = 0;
  auto t0 = Clock::now();
  std::thread writer(pump);
  while (gByteCount < kBytes) std::this_thread::sleep_for(std::chrono::microseconds(200));
  const double zeltoSec = std::chrono::duration<double>(Clock::now() - t0).count();
  writer.join();
  closeConnection();

  const int slave = open(gPath, O_RDWR | O_NOCTTY);
  termios tio{};
  tcgetattr(slave, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave, TCSANOW, &tio);
  t0 = Clock::now();
  std::thread writer2(pump);
  long got = 0;
  static char sink[1536];
  while (got < kBytes) {
    const ssize_t r = read(slave, sink, sizeof sink);
    if (r > 0) got += r;
  }
  const double plainSec = std::chrono::duration<double>(Clock::now() - t0).count();
  writer2.join();
  close(slave);
  std::printf("%-34s %8.1f MB/s  (plain reader of the same line %8.1f MB/s, ratio %.2f)\n", "receive into the grid",
              kBytes / zeltoSec / 1e6, kBytes / plainSec / 1e6, plainSec / zeltoSec);

  // Processor share of a connected, idle worker.
  if (!openConnection()) return 1;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const double c0 = cpuSeconds();
  const auto w0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const double share = (cpuSeconds() - c0) / std::chrono::duration<double>(Clock::now() - w0).count();
  std::printf("%-34s %8.2f %% of one core over 10 s\n", "idle connected worker", share * 100);

  // Heap allocations while 10000 bytes go out and come back, one pass each
  // way at least.
  std::atomic<bool> stop{false};
  std::thread echo([&] {
    char buf[256];
    while (!stop) {
      pollfd p{gMaster, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) {
        const ssize_t r = read(gMaster, buf, sizeof buf);
        if (r > 0 && write(gMaster, buf, static_cast<size_t>(r)) != r) break;
      }
    }
  });
  gByteCount = 0;
  const long a0 = gAllocations.load();
  for (int i = 0; i < 10000; i++) {
    sendCommByte(i % 2 ? '\r' : 'e');
    while (gByteCount <= i) std::this_thread::yield();
  }
  const long allocations = gAllocations.load() - a0;
  stop = true;
  echo.join();
  std::printf("%-34s %8ld heap allocations\n", "10000 echoed bytes (both ways)", allocations);
  closeConnection();
  return 0;
}
