// Timed harness for file send in the Win32 build under Wine, over COM1: raw
// throughput with no delay, the pacing achieved against the per-byte delay
// setting, and the time from a key press to the last byte of a line; the
// same figures, in the same lines, as bench_filesend. Medians of several runs.
//
//   wine_filesend.exe STAMPS RX
//
// COM1 leads to a pseudo-terminal whose device end (ptydev --stamps STAMPS)
// appends one line per byte it receives: the time it read the byte, in
// nanoseconds of the clock that QueryPerformanceCounter counts under Wine.
// Arrival times are thus taken at the device, as in bench_filesend, and the
// key press is timed here on the same clock; RX is the file into which it
// writes the bytes themselves. Run by bench/wine_filesend.sh.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/commands.h"
#include "link/connection.h"
#include "platform/msgbox.h"
#include "settings/globals.h"
#include "transfer/filesend.h"

namespace {

char gFile[MAX_PATH];

// Now, in nanoseconds of the performance counter.
long long nowNs() {
  static const long long freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart / freq * 1000000000LL + c.QuadPart % freq * 1000000000LL / freq;
}

double ms(long long ns) { return static_cast<double>(ns) / 1e6; }

// The device's record of arrivals, read as it grows.
class Stamps {
 public:
  bool open(const char* path) {
    h_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
    return h_ != INVALID_HANDLE_VALUE;
  }

  // The arrival time of the next byte; false when none came for 5 s.
  bool next(long long* t) {
    const DWORD start = GetTickCount();
    for (;;) {
      const size_t nl = pending_.find('\n', pos_);
      if (nl != std::string::npos) {
        *t = std::strtoll(pending_.c_str() + pos_, nullptr, 10);
        pos_ = nl + 1;
        return true;
      }
      pending_.erase(0, pos_);
      pos_ = 0;
      char buf[65536];
      DWORD got = 0;
      if (ReadFile(h_, buf, sizeof buf, &got, nullptr) && got > 0) {
        pending_.append(buf, got);
        continue;
      }
      if (GetTickCount() - start > 5000) return false;
      Sleep(1);
    }
  }

  // Forgets what has arrived so far.
  void drain() {
    while (more()) {
    }
    const size_t nl = pending_.rfind('\n');
    pending_.erase(0, nl == std::string::npos || nl < pos_ ? pos_ : nl + 1);
    pos_ = 0;
  }

 private:
  bool more() {
    char buf[65536];
    DWORD got = 0;
    if (!ReadFile(h_, buf, sizeof buf, &got, nullptr) || got == 0) return false;
    pending_.append(buf, got);
    return true;
  }

  HANDLE h_ = INVALID_HANDLE_VALUE;
  std::string pending_;
  size_t pos_ = 0;
};

Stamps gStamps;

void fail(const char* what) {
  std::fprintf(stderr, "wine_filesend: %s\n", what);
  std::exit(1);
}

void useFile(const std::string& content) {
  HANDLE h = CreateFileA(gFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD put = 0;
  if (h == INVALID_HANDLE_VALUE || !WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &put, nullptr) ||
      put != content.size())
    fail("cannot write the file to send");
  CloseHandle(h);
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", gFile);
}

// The arrival times of the next n bytes at the device: the first and the
// last. A key press at start must come before them, and not long before:
// otherwise the device does not count on this program's clock.
void receive(size_t n, long long start, long long* first, long long* last) {
  for (size_t i = 0; i < n; i++) {
    long long t = 0;
    if (!gStamps.next(&t)) fail("the device received nothing for 5 s");
    if (i == 0) *first = t;
    *last = t;
  }
  if (start != 0 && (*first < start || *first - start > 2000000000LL))
    fail("the device's clock is not the performance counter's");
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void waitIdle() {
  while (gfSendFileOpen != 0 || gLinePtr < gLineMax) Sleep(1);
}

// Everything the device has received so far (ptydev --rx).
std::string received(const char* path) {
  std::string s;
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return s;
  char buf[65536];
  for (DWORD got = 0; ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0;) s.append(buf, got);
  CloseHandle(h);
  return s;
}

}  // namespace

// Message boxes (the end of each send) are not shown: nobody clicks them here.
void platMessageBox(WindowHandle, const char*, const char*, unsigned) {}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wine_filesend.exe STAMPS RX\n");
    return 2;
  }
  gdwBaudRate = 230400;   // the fastest line: raw send with no delay must keep it full
  if (!gStamps.open(argv[1])) fail("cannot open the device's arrival record");
  char dir[MAX_PATH];
  if (!GetTempPathA(sizeof dir, dir) || !GetTempFileNameA(dir, "zsb", 0, gFile)) fail("no temporary file");
  if (!openConnection()) fail("cannot open COM1");
  gfSkipBigComment = 0;
  Sleep(200);
  gStamps.drain();

  // Raw mode, no delay: bytes per second from the key to the last byte.
  {
    constexpr size_t kBytes = 50000;
    std::string file;
    for (size_t i = 0; i < kBytes; i++) file += static_cast<char>('a' + i % 26);
    useFile(file);
    gPackDelay = 0;
    std::vector<double> rates;
    for (int run = 0; run < 5; run++) {
      long long first = 0, last = 0;
      const long long start = nowNs();
      DoDISPLAYCommand(nullptr, kCmdSendRaw);
      receive(kBytes, start, &first, &last);
      rates.push_back(kBytes / (ms(last - start) / 1000.0));
      waitIdle();
    }
    std::printf("raw send, delay 0              median %10.0f bytes/s  (%zu bytes, 5 runs)\n", median(rates),
                kBytes);
    // What the device got is the file, five times, byte for byte and in order.
    Sleep(200);
    const std::string got = received(argv[2]);
    int same = 0;
    for (int run = 0; run < 5; run++) same += got.compare(run * kBytes, kBytes, file) == 0;
    if (got.size() != 5 * kBytes) same = 0;
    std::printf("raw send, delay 0, 230400 baud identical %d of 5 runs  (the line takes 23040 bytes/s)\n", same);
    std::fflush(stdout);
  }

  // Raw mode with the delay: the spacing achieved between bytes.
  for (int delay : {1, 2, 10}) {
    const size_t bytes = delay == 10 ? 150 : 600 / static_cast<size_t>(delay);
    useFile(std::string(bytes, 'd'));
    gPackDelay = delay;
    std::vector<double> perByte;
    for (int run = 0; run < 5; run++) {
      long long first = 0, last = 0;
      const long long start = nowNs();
      DoDISPLAYCommand(nullptr, kCmdSendRaw);
      receive(bytes, start, &first, &last);
      perByte.push_back(ms(last - first) / static_cast<double>(bytes - 1));
      waitIdle();
    }
    const double m = median(perByte);
    std::printf("raw send, delay %2d ms          median %7.3f ms per byte  (%+.3f ms, %+.1f %%)\n", delay, m,
                m - delay, 100.0 * (m - delay) / delay);
    std::fflush(stdout);
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
    Sleep(100);
    gStamps.drain();
    std::vector<double> latency;
    for (int i = 0; i < kLines; i++) {
      long long first = 0, last = 0;
      const long long start = nowNs();
      DoDISPLAYCommand(nullptr, kCmdSendLine);
      receive(line.size(), start, &first, &last);
      latency.push_back(ms(last - start));
    }
    std::printf("F6 to last byte of 60-byte line median %7.3f ms  (%d lines)\n", median(latency), kLines);
  }

  AbortSendFileQuietly();
  closeConnection();
  DeleteFileA(gFile);
  return 0;
}
