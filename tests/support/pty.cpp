// The test device end of a pseudo-terminal.
#include "tests/support/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/posix/paths.h"

PtyDevice::PtyDevice() {
  termios tio;
  std::memset(&tio, 0, sizeof tio);
  cfmakeraw(&tio);
  if (openpty(&master_, &slave_, path_, &tio, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(slave_, F_SETFL, fcntl(slave_, F_GETFL) | O_NONBLOCK);
}

PtyDevice::~PtyDevice() {
  for (int n = 1; n <= 9; n++) posixSetComDevice(n, nullptr);
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

void PtyDevice::mapAs(int n) const { posixSetComDevice(n, path_); }

bool PtyDevice::send(const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (done < n && std::chrono::steady_clock::now() < deadline) {
    const ssize_t r = write(master_, p + done, n - done);
    if (r > 0) {
      done += static_cast<size_t>(r);
    } else {
      pollfd pfd{master_, POLLOUT, 0};
      poll(&pfd, 1, 5);
    }
  }
  return done == n;
}

std::string PtyDevice::receive(size_t n, int ms) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  char buf[4096];
  while (got.size() < n) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd pfd{master_, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left)) <= 0) continue;
    const ssize_t r = read(master_, buf, sizeof buf < n - got.size() ? sizeof buf : n - got.size());
    if (r > 0) got.append(buf, static_cast<size_t>(r));
  }
  return got;
}

size_t PtyDevice::fillUntilFull() {
  char chunk[1024];
  std::memset(chunk, 'f', sizeof chunk);
  size_t total = 0;
  // The kernel moves bytes between the line's buffers a moment later, which
  // frees room again: the line is full once it stays full for a while.
  for (int quiet = 0; quiet < 3;) {
    const ssize_t r = write(slave_, chunk, sizeof chunk);
    if (r > 0) {
      total += static_cast<size_t>(r);
      quiet = 0;
    } else {
      quiet++;
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  }
  return total;
}

void PtyDevice::pull() {
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

void PtyDevice::drain() {
  char buf[4096];
  while (read(master_, buf, sizeof buf) > 0) {
  }
}

bool WaitFor(const std::function<bool()>& cond, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
