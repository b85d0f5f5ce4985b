// Timed harness for the UDP link and its worker on loopback: the round trip
// of one typed byte through an echoing peer, the receive rate of 1536-byte
// datagrams into the grid (with and without losses), and the idle share.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "display/screen.h"
#include "link/connection.h"
#include "link/udp.h"
#include "settings/globals.h"

namespace {

using Clock = std::chrono::steady_clock;

double us(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }
double sec(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

int boundSocket(uint16_t port, uint16_t* bound) {
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  *bound = ntohs(a.sin_port);
  return s;
}

uint16_t freePort() {
  uint16_t p = 0;
  const int s = boundSocket(0, &p);
  if (s >= 0) close(s);
  return p;
}

sockaddr_in to(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// The cursor as one number, which every shown byte moves on.
long cursor() {
  ScopedLock hold(ScreenLock());
  return static_cast<long>(GnRow) * kScreenCols + GnColumn;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double cpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Rate {
  double datagramsPerSec;
  long lost;
};

// Sends count datagrams of 1536 bytes to the RX port. With a window, at most
// that many are ever waiting unread, so the receive socket cannot overflow;
// without one the sender runs free.
// received() tells how many bytes the receiving side has taken so far.
template <class Received>
Rate receiveRate(int peer, uint16_t rxPort, long count, long window, Received received) {
  static char datagram[kRxBlockSize];
  for (int i = 0; i < kRxBlockSize; i++) datagram[i] = static_cast<char>('!' + i % 90);
  const sockaddr_in dst = to(rxPort);
  const long base = received();
  auto got = [&] { return (received() - base) / kRxBlockSize; };
  const auto t0 = Clock::now();
  for (long sent = 0; sent < count; sent++) {
    while (window > 0 && sent - got() >= window) std::this_thread::sleep_for(std::chrono::microseconds(20));
    sendto(peer, datagram, sizeof datagram, 0, reinterpret_cast<const sockaddr*>(&dst), sizeof dst);
  }
  // Wait for the last ones, or for the stream to stop moving (losses).
  long last = -1;
  auto moved = Clock::now();
  while (got() < count) {
    const long now = got();
    if (now != last) {
      last = now;
      moved = Clock::now();
    } else if (Clock::now() - moved > std::chrono::milliseconds(200)) {
      break;
    }
    std::this_thread::yield();
  }
  const long n = got();
  const double elapsed = sec((n < count ? moved : Clock::now()) - t0);
  return Rate{n / elapsed, count - n};
}

}  // namespace

int main() {
  uint16_t peerPort = 0;
  const int peer = boundSocket(0, &peerPort);
  const uint16_t rxPort = freePort();
  if (peer < 0 || rxPort == 0) return 1;
  gfUdpMode = 1;
  std::snprintf(gszIPString, sizeof gszIPString, "127.0.0.1");
  std::snprintf(gszRX_PortString, sizeof gszRX_PortString, "%u", rxPort);
  std::snprintf(gszTX_PortString, sizeof gszTX_PortString, "%u", peerPort);
  if (!openConnection()) return 1;

  // Round trip: typed byte -> datagram -> peer echoes it to the RX port ->
  // shown in the grid.
  std::atomic<bool> stop{false};
  std::thread echo([&] {
    char buf[2048];
    const sockaddr_in dst = to(rxPort);
    while (!stop) {
      pollfd p{peer, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const ssize_t n = recv(peer, buf, sizeof buf, 0);
      if (n > 0) sendto(peer, buf, static_cast<size_t>(n), 0, reinterpret_cast<const sockaddr*>(&dst), sizeof dst);
    }
  });
  std::vector<double> p50s, p99s;
  for (int run = 0; run < 5; run++) {
    std::vector<double> rt;
    for (int i = 0; i < 2000; i++) {
      const long before = cursor();
      const auto t0 = Clock::now();
      sendCommByte('e');
      while (cursor() == before) std::this_thread::yield();
      rt.push_back(us(Clock::now() - t0));
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    std::sort(rt.begin(), rt.end());
    p50s.push_back(rt[rt.size() / 2]);
    p99s.push_back(rt[rt.size() * 99 / 100]);
  }
  stop = true;
  echo.join();
  std::printf("%-44s p50 %7.1f us   p99 %7.1f us   (median of 5 runs of 2000)\n",
              "typed byte -> echo peer -> gabScreen", median(p50s), median(p99s));

  // Receive rate into the grid, one datagram per pass. The reference in the
  // same run is a plain reader of the same datagrams on a socket of its own.
  uint16_t plainPort = 0;
  const int plain = boundSocket(0, &plainPort);
  std::atomic<long> plainBytes{0};
  std::atomic<bool> plainStop{false};
  std::thread reader([&] {
    static char buf[kRxBlockSize];
    while (!plainStop) {
      pollfd p{plain, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const ssize_t n = recv(plain, buf, sizeof buf, 0);
      if (n > 0) plainBytes += n;
    }
  });
  auto worker = [] { return static_cast<long>(gByteCount.load()); };
  auto plainReader = [&] { return plainBytes.load(); };
  std::vector<double> paced, free, reference;
  long pacedLost = 0, freeLost = 0, referenceLost = 0;
  for (int run = 0; run < 5; run++) {
    const Rate a = receiveRate(peer, rxPort, 20000, 64, worker);
    paced.push_back(a.datagramsPerSec);
    pacedLost += a.lost;
    const Rate r = receiveRate(peer, plainPort, 20000, 64, plainReader);
    reference.push_back(r.datagramsPerSec);
    referenceLost += r.lost;
    const Rate b = receiveRate(peer, rxPort, 20000, 0, worker);
    free.push_back(b.datagramsPerSec);
    freeLost += b.lost;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  plainStop = true;
  reader.join();
  close(plain);
  const double dp = median(paced), df = median(free), dr = median(reference);
  std::printf("%-44s %9.0f datagrams/s  %7.1f MB/s  lost %ld of 100000\n", "into the grid, at most 64 waiting", dp,
              dp * kRxBlockSize / 1e6, pacedLost);
  std::printf("%-44s %9.0f datagrams/s  %7.1f MB/s  lost %ld of 100000  (worker/plain %.2f)\n",
              "plain reader, same sender", dr, dr * kRxBlockSize / 1e6, referenceLost, dp / dr);
  std::printf("%-44s %9.0f datagrams/s  %7.1f MB/s  lost %ld of 100000\n", "into the grid, sender unpaced", df,
              df * kRxBlockSize / 1e6, freeLost);

  // Processor share of a connected, idle worker.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const double c0 = cpuSeconds();
  const auto w0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const double share = (cpuSeconds() - c0) / sec(Clock::now() - w0);
  std::printf("%-44s %9.2f %% of one core over 5 s\n", "idle connected worker", share * 100);

  closeConnection();
  close(peer);

  // Of a pass's time, the part the screen takes: the same blocks written
  // straight into the grid, which by now scrolls at every line.
  static char block[kRxBlockSize];
  for (int i = 0; i < kRxBlockSize; i++) block[i] = static_cast<char>('!' + i % 90);
  std::vector<double> writes;
  for (int run = 0; run < 5; run++) {
    const auto t0 = Clock::now();
    for (int i = 0; i < 2000; i++) WriteDISPLAYBlock(block, kRxBlockSize);
    writes.push_back(us(Clock::now() - t0) / 2000);
  }
  const double w = median(writes);
  std::printf("%-44s %9.1f us per block (%.0f %% of a pass at the paced rate)\n", "WriteDISPLAYBlock of 1536 bytes", w,
              w * dp / 1e4);
  return 0;
}
