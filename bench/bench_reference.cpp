// Zelto's worker beside an established serial terminal from Debian
// (picocom), on the same kind of pseudo-terminal in the same run: the
// processor share while connected and idle, and receive throughput. The
// reference's output goes to a pipe that this harness counts.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "link/connection.h"
#include "platform/posix/paths.h"
#include "settings/globals.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr long kBytes = 8L << 20;
constexpr int kIdleSeconds = 10;

struct Line {
  int master = -1, slave = -1;
  char path[128] = "";
  Line() {
    termios tio{};
    cfmakeraw(&tio);
    if (openpty(&master, &slave, path, &tio, nullptr) != 0) std::exit(1);
  }
};

double ticksOf(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::istringstream in(s.substr(s.rfind(')') + 2));
  std::string field;
  double ut = 0, st = 0;
  for (int i = 3; i <= 15 && in >> field; i++) {
    if (i == 14) ut = std::stod(field);
    if (i == 15) st = std::stod(field);
  }
  return (ut + st) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double idleShare(pid_t pid) {
  const double c0 = ticksOf(pid);
  std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
  return (ticksOf(pid) - c0) / kIdleSeconds;
}

void pump(int fd) {
  static char chunk[4096];
  for (size_t i = 0; i < sizeof chunk; i++) chunk[i] = (i % 70 == 69) ? '\r' : static_cast<char>('!' + i % 90);
  long sent = 0;
  while (sent < kBytes) {
    const ssize_t r = write(fd, chunk, sizeof chunk);
    if (r > 0) {
      sent += r;
    } else {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 10);
    }
  }
}

}  // namespace

int main() {
  // Reference: picocom on its own line, its keyboard a pseudo-terminal of its own.
  if (std::system("command -v picocom >/dev/null 2>&1") != 0) {
    std::printf("reference terminal picocom is not installed (scripts/install-deps.sh installs it)\n");
    return 1;
  }
  Line refLine;
  int keysMaster = -1, keysSlave = -1;
  if (openpty(&keysMaster, &keysSlave, nullptr, nullptr, nullptr) != 0) return 1;
  int out[2];
  if (pipe(out) != 0) return 1;
  const pid_t ref = fork();
  if (ref == 0) {
    dup2(keysSlave, 0);
    dup2(out[1], 1);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 2);
    execlp("picocom", "picocom", "-q", "-b", "115200", "-l", refLine.path, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const double refIdle = idleShare(ref);
  auto t0 = Clock::now();
  std::thread w1(pump, refLine.master);
  long got = 0;
  static char sink[65536];
  while (got < kBytes) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) {   // the reference stalled
      std::fprintf(stderr, "stalled after %ld bytes\n", got);
      std::exit(1);
    }
    const ssize_t r = read(out[0], sink, sizeof sink);
    if (r <= 0) break;
    got += r;
  }
  const double refSec = std::chrono::duration<double>(Clock::now() - t0).count();
  kill(ref, SIGKILL);
  waitpid(ref, nullptr, 0);
  if (got < kBytes) {
    // The pump may be stuck writing to a line nobody reads any more.
    std::printf("reference terminal did not deliver the data (%ld bytes)\n", got);
    std::fflush(stdout);
    std::_Exit(1);
  }
  w1.join();

  // Zelto's worker on a line of its own, in this process.
  Line zLine;
  posixSetComDevice(1, zLine.path);
  if (!openConnection()) return 1;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const double zIdle = idleShare(getpid());
  gByteCount = 0;
  t0 = Clock::now();
  std::thread w2(pump, zLine.master);
  while (gByteCount < kBytes) std::this_thread::sleep_for(std::chrono::microseconds(200));
  const double zSec = std::chrono::duration<double>(Clock::now() - t0).count();
  w2.join();
  closeConnection();

  std::printf("idle processor share     zelto %6.2f %%   picocom %6.2f %%\n", zIdle * 100, refIdle * 100);
  std::printf("receive throughput       zelto %6.1f MB/s picocom %6.1f MB/s  ratio %.2f\n", kBytes / zSec / 1e6,
              kBytes / refSec / 1e6, refSec / zSec);
  return 0;
}
