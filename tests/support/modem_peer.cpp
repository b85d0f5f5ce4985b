// The XMODEM/YMODEM peer: a program on a stream socket of its own (or a
// pseudo-terminal) and the relay between it and the terminal's COM1.
//
// Not a pseudo-terminal for the peer: lrzsz ends with tcdrain() and
// tcflush(TCIOFLUSH), and on a pseudo-terminal tcdrain() does not wait for
// the other end to read, so the flush throws away its last answer (the ACK
// of an EOT) whenever the relay had not read it yet. On a serial line the
// drain would have sent it; on a socket the calls do nothing.
#include "tests/support/modem_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

void writeAll(int fd, const char* p, ssize_t n, const std::atomic<bool>& stop) {
  while (n > 0 && !stop) {
    const ssize_t w = write(fd, p, static_cast<size_t>(n));
    if (w > 0) {
      p += w;
      n -= w;
      continue;
    }
    pollfd pfd{fd, POLLOUT, 0};
    poll(&pfd, 1, 5);
  }
}

}  // namespace

ModemPeer::ModemPeer(bool onTerminal) : onTerminal_(onTerminal) {
  terminal_.mapAs(1);
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, peerEnd_) != 0) peerEnd_[0] = peerEnd_[1] = -1;
  fcntl(peerEnd_[0], F_SETFL, O_NONBLOCK);
  thread_ = std::thread([this] { relay(); });
}

ModemPeer::~ModemPeer() {
  for (pid_t pid : {pid_, inPlace_}) {
    if (pid <= 0) continue;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  detach();
  for (int fd : peerEnd_) {
    if (fd >= 0) close(fd);
  }
}

void ModemPeer::detach() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void ModemPeer::relay() {
  const int fds[2] = {onTerminal_ ? peerTty_.master() : peerEnd_[0], terminal_.master()};   // [0] feeds the terminal
  char buf[4096];
  while (!stop_) {
    {
      std::lock_guard<std::mutex> hold(injectLock_);
      writeAll(fds[1], injected_.data(), static_cast<ssize_t>(injected_.size()), stop_);
      injected_.clear();
    }
    pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    if (poll(p, 2, 10) <= 0) continue;
    for (int dir = 0; dir < 2; dir++) {
      if (!(p[dir].revents & POLLIN)) continue;
      ssize_t n = read(fds[dir], buf, sizeof buf);
      if (n <= 0) continue;
      const long at = counts_[dir].fetch_add(n);
      const long spoil = spoil_[dir].load();
      if (spoil >= at && spoil < at + n) {
        buf[spoil - at] = static_cast<char>(~buf[spoil - at]);
        spoil_[dir] = -1;
      }
      if (dir == 1 && drop_ >= 0) {
        ssize_t kept = 0;
        for (ssize_t i = 0; i < n; i++) {
          if (static_cast<unsigned char>(buf[i]) != drop_) buf[kept++] = buf[i];
        }
        n = kept;
      }
      writeAll(fds[1 - dir], buf, n, stop_);
    }
  }
}

void ModemPeer::start(const std::vector<std::string>& argv, const std::string& cwd) {
  // What an earlier peer left unread is not this one's.
  char drop[512];
  while (recv(peerEnd_[1], drop, sizeof drop, MSG_DONTWAIT) > 0) {
  }
  spawn(onTerminal_ ? peerTty_.path() : nullptr, argv, cwd, &pid_);
}

void ModemPeer::startInPlace(const std::vector<std::string>& argv, const std::string& cwd) {
  spawn(terminal_.path(), argv, cwd, &inPlace_);
}

void ModemPeer::spawn(const char* tty, const std::vector<std::string>& argv, const std::string& cwd, pid_t* pid) {
  *pid = fork();
  if (*pid != 0) return;
  setsid();
  const int fd = tty ? open(tty, O_RDWR) : dup(peerEnd_[1]);
  const int log = open((cwd + "/peer.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0 || chdir(cwd.c_str()) != 0) _exit(126);
  dup2(fd, 0);
  dup2(fd, 1);
  dup2(log, 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

int ModemPeer::waitFor(pid_t* pid, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (*pid > 0) {
    int status = 0;
    if (waitpid(*pid, &status, WNOHANG) == *pid) {
      *pid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= end) return -1;
    usleep(2000);
  }
  return -1;
}

void ModemPeer::signal(int sig) {
  if (pid_ > 0) kill(pid_, sig);
}

void ModemPeer::inject(const std::string& bytes) {
  std::lock_guard<std::mutex> hold(injectLock_);
  injected_ += bytes;
}

void ModemPeer::signalInPlace(int sig) {
  if (inPlace_ > 0) kill(inPlace_, sig);
}

void ModemPeer::spoil(bool toTerminal, long offset) {
  const int dir = toTerminal ? 0 : 1;
  spoil_[dir] = counts_[dir].load() + offset;
}
