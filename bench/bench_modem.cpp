// Timed harness for YMODEM: a file sent by Zelto to lrzsz's rb and received
// by Zelto from lrzsz's sb -k, against sb -k to rb over the same pair of
// pseudo-terminals and relay, in the same run. Medians of N runs (the first
// argument, 3 by default) of a file of M MB (the second, 10 by default);
// the ratios are Zelto's rate over the reference's. Each sender is started
// first and given a moment to set up its line (lrzsz drops what comes while
// it does), then the receiver; the time runs from the receiver's start.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "link/connection.h"
#include "settings/globals.h"
#include "tests/support/modem_peer.h"
#include "transfer/xmodem.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
size_t gSize = 10u << 20;
constexpr int kSetUpMs = 300;

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool over(int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (ProtocolRunning()) {
    if (Clock::now() > end) return false;
    usleep(1000);
  }
  return true;
}

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  if (argc > 2) gSize = static_cast<size_t>(std::max(1, std::atoi(argv[2]))) << 20;
  char tmpl[] = "/tmp/zelto-bench-modem-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path dir = tmpl;
  for (const char* sub : {"send", "peer", "in"}) fs::create_directories(dir / sub);
  std::string data(gSize, 0);
  std::mt19937 r(29);
  for (char& c : data) c = static_cast<char>(r());
  std::ofstream(dir / "send/big.bin", std::ios::binary) << data;
  char path[1][kPathMax];
  std::snprintf(path[0], kPathMax, "%s", (dir / "send/big.bin").c_str());
  const std::string in = (dir / "in").string() + "/";

  std::vector<double> ref, send, recv;
  bool exact = true;
  for (int i = 0; i < runs; i++) {
    for (const char* sub : {"peer", "in"}) {
      fs::remove_all(dir / sub);
      fs::create_directories(dir / sub);
    }
    {
      // The reference: sb in Zelto's place.
      ModemPeer peer(true);
      peer.startInPlace({"sb", "-q", "-k", "big.bin"}, (dir / "send").string());
      usleep(kSetUpMs * 1000);
      const auto t = Clock::now();
      peer.start({"rb", "-q"}, (dir / "peer").string());
      // The batch is over when rb has the file and ends; sb may still wait
      // for an answer rb never gives to the batch's end, and is ended.
      if (peer.wait(900000) != 0) return 2;
      ref.push_back(since(t));
      peer.signalInPlace(SIGKILL);
      peer.waitInPlace(5000);
      exact = exact && slurp(dir / "peer/big.bin") == data;
      fs::remove(dir / "peer/big.bin");
    }
    {
      ModemPeer peer(true);
      if (!openConnection()) return 3;
      if (!ProtocolSend(1, path, 1)) return 4;
      usleep(kSetUpMs * 1000);
      const auto t = Clock::now();
      peer.start({"rb", "-q"}, (dir / "peer").string());
      if (!over(900000)) return 5;
      send.push_back(since(t));
      peer.wait(10000);
      exact = exact && slurp(dir / "peer/big.bin") == data;
      peer.start({"sb", "-q", "-k", "big.bin"}, (dir / "send").string());
      usleep(kSetUpMs * 1000);
      const auto u = Clock::now();
      if (!ProtocolReceive(1, in.c_str())) return 6;
      if (!over(600000)) return 7;
      recv.push_back(since(u));
      peer.wait(10000);
      exact = exact && slurp(dir / "in/big.bin") == data;
      closeConnection();
    }
  }
  const double mb = static_cast<double>(gSize) / 1e6;
  const double refRate = mb / median(ref), sendRate = mb / median(send), recvRate = mb / median(recv);
  std::printf("ymodem %zu MB, %d runs, medians: sb -k to rb %.3f MB/s; Zelto to rb %.3f MB/s (%.2f); "
              "sb -k to Zelto %.3f MB/s (%.2f); byte-exact %s\n",
              gSize >> 20, runs, refRate, sendRate, sendRate / refRate, recvRate, recvRate / refRate, exact ? "yes" : "NO");
  fs::remove_all(dir);
  return exact ? 0 : 8;
}
