// A peer for the XMODEM/YMODEM tests and benchmark: a program (lrzsz's sx,
// sb, rx, rb) on a stream socket (or a pseudo-terminal) of its own, joined to the one the
// terminal opens as COM1 by a relay that can spoil a byte on its way.
#pragma once
#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pty.h"

class ModemPeer {
 public:
  // The relay runs; COM1 is the terminal's end. The peer program's end is
  // a stream socket, or with onTerminal a pseudo-terminal of its own (the
  // benchmark's pair of terminals: lrzsz's last answer may be lost there,
  // see modem_peer.cpp).
  explicit ModemPeer(bool onTerminal = false);
  ~ModemPeer();
  ModemPeer(const ModemPeer&) = delete;
  ModemPeer& operator=(const ModemPeer&) = delete;

  // Starts argv in folder cwd on the peer's end; its diagnostics go to
  // cwd/peer.log.
  void start(const std::vector<std::string>& argv, const std::string& cwd);
  // Starts argv on the terminal's COM1 instead, in place of the terminal
  // (a reference program against the peer, over the same pair).
  void startInPlace(const std::vector<std::string>& argv, const std::string& cwd);
  // Its exit status once it ended within ms; -1 when it still runs (the
  // one started in place: waitInPlace).
  int wait(int ms) { return waitFor(&pid_, ms); }
  int waitInPlace(int ms) { return waitFor(&inPlace_, ms); }
  void signal(int sig);
  void signalInPlace(int sig);
  // Spoils (inverts) the byte at this offset of the stream to the terminal
  // (toTerminal) or to the peer, once; offsets count from now.
  void spoil(bool toTerminal, long offset);
  // Bytes as if from the peer, between two of its writes.
  void inject(const std::string& bytes);
  // Drops every byte of value b on its way to the peer, while set (-1: none).
  void drop(int b) { drop_ = b; }
  // Bytes relayed so far each way.
  long toTerminal() const { return counts_[0]; }
  long toPeer() const { return counts_[1]; }
  // Stops the relay: the test is the device then, through send and
  // receive on the terminal's COM1.
  void detach();
  bool send(const std::string& s) { return terminal_.send(s); }
  std::string receive(size_t n, int ms) { return terminal_.receive(n, ms); }

 private:
  void relay();
  int waitFor(pid_t* pid, int ms);
  PtyDevice terminal_;   // the terminal's COM1
  bool onTerminal_;
  PtyDevice peerTty_;            // the peer's terminal, with onTerminal
  int peerEnd_[2] = {-1, -1};   // the relay's end, the peer program's end
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<long> spoil_[2] = {-1, -1};
  std::atomic<long> counts_[2] = {0, 0};
  std::atomic<int> drop_{-1};
  std::mutex injectLock_;
  std::string injected_;
  // tty: a device to open as the program's stdin and stdout, or nullptr
  // for the peer's end.
  void spawn(const char* tty, const std::vector<std::string>& argv, const std::string& cwd, pid_t* pid);
  pid_t pid_ = -1;
  pid_t inPlace_ = -1;
};
