// Timed harness for the paced upload: 300 lines to a simulated FORTH board
// (ptydev --target 20: echo, 20 ms of work per line, input dropped while it
// works) on a pseudo-terminal. Three uploaders on the same device in the
// same run: Zelto's paced upload (Shift+F7's engine), an ideal uploader that
// sends a line and waits for " ok", and F5 at the smallest per-byte delay
// of the Setup dialog that loses no line. Medians of 5 runs (F5: one run).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "link/connection.h"
#include "platform/posix/paths.h"
#include "settings/globals.h"
#include "transfer/filesend.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLines = 300;
std::string gDir;
std::string gDevice;
std::string gWant;   // the lines as the board records them

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void clearLines() { std::ofstream(gDir + "/lines", std::ios::trunc); }
bool noLineLost() { return slurp(gDir + "/lines") == gWant; }

// The ideal uploader: a line, then wait for " ok", on the device itself.
double ideal(const std::vector<std::string>& lines) {
  const int fd = open(gDevice.c_str(), O_RDWR | O_NOCTTY);
  termios tio{};
  tcgetattr(fd, &tio);   // a zeroed record would set 0 baud: a hang-up
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  const Clock::time_point start = Clock::now();
  for (const std::string& line : lines) {
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
    std::string got;
    char buf[256];
    while (got.find(" ok") == std::string::npos) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) break;
      const ssize_t r = read(fd, buf, sizeof buf);
      if (r > 0) got.append(buf, static_cast<size_t>(r));
    }
  }
  const double s = seconds(Clock::now() - start);
  close(fd);
  return s;
}

// One send through the program: the command, then until the file is closed.
double zelto(int command) {
  if (!openConnection()) std::exit(1);
  usleep(100000);
  const Clock::time_point start = Clock::now();
  DoDISPLAYCommand(nullptr, command);
  while ((gfSendFileOpen != 0 || gLinePtr < gLineMax) && seconds(Clock::now() - start) < 400) usleep(200);
  const double s = seconds(Clock::now() - start);
  usleep(100000);   // the last reply
  closeConnection();
  return s;
}

}  // namespace

int main() {
  setvbuf(stdout, nullptr, _IONBF, 0);
  char tmpl[] = "/tmp/zelto-bench-upload-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  gDir = tmpl;
  const pid_t dev = fork();
  if (dev == 0) {
    execl(ZELTO_PTYDEV, "ptydev", "--link", (gDir + "/link").c_str(), "--target", "20", "--lines",
          (gDir + "/lines").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 500 && slurp(gDir + "/link").find('\n') == std::string::npos; i++) usleep(10000);
  gDevice = slurp(gDir + "/link");
  gDevice.pop_back();
  posixSetComDevice(1, gDevice.c_str());

  std::vector<std::string> lines;
  std::string file;
  for (int i = 1; i <= kLines; i++) {
    lines.push_back(": w" + std::to_string(i) + " " + std::to_string(i) + " ;\r");
    file += lines.back();
    gWant += lines.back().substr(0, lines.back().size() - 1) + "\n";
  }
  const std::string path = gDir + "/prog.fs";
  std::ofstream(path, std::ios::binary) << file;
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str());

  std::vector<double> paced, best;
  int pacedWhole = 0;
  for (int run = 0; run < 5; run++) {
    clearLines();
    best.push_back(ideal(lines));
    clearLines();
    paced.push_back(zelto(kCmdUploadPacedSkip));
    pacedWhole += noLineLost();
  }
  const double p = median(paced), b = median(best);
  std::printf("300 lines, 20 ms per line: ideal uploader median %.3f s\n", b);
  std::printf("300 lines, 20 ms per line: paced upload   median %.3f s  ratio %.3f  (no line lost in %d of 5)\n", p,
              p / b, pacedWhole);

  // F5: the smallest delay of the Setup dialog that loses no line on the
  // first 30 lines, then the whole file once at that delay.
  for (int delay : {1, 2, 5, 10, 20, 50, 100}) {
    gPackDelay = delay;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << file.substr(0, file.find(": w31 "));
    const std::string whole = gWant;
    gWant = whole.substr(0, whole.find(": w31 "));
    clearLines();
    zelto(kCmdSendRaw);
    const bool ok = noLineLost();
    gWant = whole;
    if (!ok) continue;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << file;
    clearLines();
    const double f5 = zelto(kCmdSendRaw);
    std::printf("300 lines, F5 at %d ms per byte (smallest lossless): %.3f s  ratio to paced %.1f  (no line lost: %d)\n",
                delay, f5, f5 / p, noLineLost() ? 1 : 0);
    break;
  }
  kill(dev, SIGTERM);
  waitpid(dev, nullptr, 0);
  return 0;
}
