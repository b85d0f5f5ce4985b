// Timed harness for file send over the serial link, with a pseudo-terminal as
// the device: raw throughput with no delay, the pacing achieved against the
// per-byte delay setting, and the time from a key press to the last byte of a
// line. Medians of several runs.
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "link/connection.h"
#include "platform/posix/paths.h"
#include "settings/globals.h"
#include "transfer/filesend.h"

namespace {

using Clock = std::chrono::steady_clock;
int gMaster = -1;
char gDevice[128];
char gFile[] = "/tmp/zelto-bench-send-XXXXXX";

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void openDevice() {
  termios tio{};
  cfmakeraw(&tio);
  int slave = -1;
  if (openpty(&gMaster, &slave, gDevice, &tio, nullptr) != 0) {
    std::perror("openpty");
    std::exit(1);
  }
  posixSetComDevice(1, gDevice);
}

void useFile(const std::string& content) {
  std::ofstream(gFile, std::ios::binary | std::ios::trunc) << content;
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", gFile);
}

// Reads n bytes at the device; the times at which the first and the last
// of them arrived, and the bytes when asked for. False when the line went
// quiet for 5 s.
bool receive(size_t n, Clock::time_point* first, Clock::time_point* last, std::string* bytes = nullptr) {
  size_t got = 0;
  char buf[4096];
  while (got < n) {
    pollfd p{gMaster, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) return false;
    const ssize_t r = read(gMaster, buf, std::min(sizeof buf, n - got));
    if (r <= 0) continue;
    const Clock::time_point now = Clock::now();
    if (got == 0) *first = now;
    got += static_cast<size_t>(r);
    *last = now;
    if (bytes) bytes->append(buf, static_cast<size_t>(r));
  }
  return true;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void waitIdle() {
  while (gfSendFileOpen != 0 || gLinePtr < gLineMax) usleep(1000);
}

}  // namespace

int main() {
  if (mkstemp(gFile) < 0) return 1;
  openDevice();
  gdwBaudRate = 230400;   // the fastest line: raw send with no delay must keep it full
  if (!openConnection()) return 1;
  gfSkipBigComment = 0;

  // Raw mode, no delay: bytes per second from the key to the last byte.
  {
    constexpr size_t kBytes = 50000;
    std::string file;
    for (size_t i = 0; i < kBytes; i++) file += static_cast<char>('a' + i % 26);
    useFile(file);
    gPackDelay = 0;
    std::vector<double> rates;
    int same = 0;
    for (int run = 0; run < 5; run++) {
      Clock::time_point first, last;
      std::string got;
      const Clock::time_point start = Clock::now();
      DoDISPLAYCommand(nullptr, kCmdSendRaw);
      if (!receive(kBytes, &first, &last, &got)) return 1;
      rates.push_back(kBytes / (ms(last - start) / 1000.0));
      same += got == file;
      waitIdle();
    }
    std::printf("raw send, delay 0              median %10.0f bytes/s  (%zu bytes, 5 runs)\n", median(rates),
                kBytes);
    // What the device got is the file, byte for byte and in order.
    std::printf("raw send, delay 0, 230400 baud identical %d of 5 runs  (the line takes 23040 bytes/s)\n", same);
  }

  // Raw mode with the delay: the spacing achieved between bytes.
  for (int delay : {1, 2, 10}) {
    const size_t bytes = delay == 10 ? 150 : 600 / static_cast<size_t>(delay);
    useFile(std::string(bytes, 'd'));
    gPackDelay = delay;
    std::vector<double> perByte;
    for (int run = 0; run < 5; run++) {
      Clock::time_point first, last;
      DoDISPLAYCommand(nullptr, kCmdSendRaw);
      if (!receive(bytes, &first, &last)) return 1;
      perByte.push_back(ms(last - first) / static_cast<double>(bytes - 1));
      waitIdle();
    }
    const double m = median(perByte);
    std::printf("raw send, delay %2d ms          median %7.3f ms per byte  (%+.3f ms, %+.1f %%)\n", delay, m,
                m - delay, 100.0 * (m - delay) / delay);
  }

  // Line mode, no delay: from the key press to the last byte of a 60-byte line.
  {
    constexpr int kLines = 200;
    std::string line(59, 'L');
    line += '\r';
    std::string file;
    for (int i = 0; i < kLines + 1; i++) file += line;
    useFile(file);
    gPackDelay = 0;
    DoDISPLAYCommand(nullptr, kCmdSendLine);   // opens the file
    std::vector<double> latency;
    for (int i = 0; i < kLines; i++) {
      Clock::time_point first, last;
      const Clock::time_point start = Clock::now();
      DoDISPLAYCommand(nullptr, kCmdSendLine);
      if (!receive(line.size(), &first, &last)) return 1;
      latency.push_back(ms(last - start));
    }
    std::printf("F6 to last byte of 60-byte line median %7.3f ms  (%d lines)\n", median(latency), kLines);
  }

  AbortSendFileQuietly();
  closeConnection();
  unlink(gFile);
  return 0;
}
