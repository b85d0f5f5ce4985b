// POSIX serial ports with termios: raw 8N1 at the six rates, DTR and RTS on,
// CTS output flow control when chosen, reads that never wait and writes that
// give up after the write timeout. COM1 to COM9 name the machine's serial
// devices in a fixed order, unless a device was chosen for one.
#include "platform/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/paths.h"

namespace {

// The persistent line-settings record: what the last mode text and
// flow-control settings asked for.
struct LineSettings {
  int baud;
  int dataBits;
  char parity;
  int stopBits;
  int dtr, rts, ctsFlow;
};
LineSettings gComDCB = {0, 8, 'N', 1, 0, 0, 0};

std::atomic<int> gModemOverride{-1};
CommTimeouts gWriteTimeouts = {};
std::atomic<unsigned> gTxAbortGeneration{0};
char gOpenAdvice[320];   // why the last open failed, for the user

speed_t speedOf(int baud) {
  switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return 0;
  }
}

long long nowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

const char* platSerialOpenAdvice() { return gOpenAdvice; }

void posixSetModemLines(int mask) { gModemOverride = mask; }

namespace {
char gOpenFailure[320] = "";
char gOpenedDevice[256] = "";
// The failure last told on standard error: a port retried while its device
// is away fails the same way many times, and is told once.
char gToldFailure[sizeof gOpenFailure] = "";

PlatHandle failOpen(int fd, const char* name, const char* path, const char* reason) {
  std::snprintf(gOpenFailure, sizeof gOpenFailure, "%s: %s", path, reason);
  if (fd >= 0) close(fd);
  // A device the user named on the command line is told about at once, in
  // the terminal the program was started from, before any window.
  if (posixComDeviceNamed(name[3] - '0') && std::strcmp(gToldFailure, gOpenFailure) != 0) {
    std::fprintf(stderr, "zelto: %s: %s\n", name, gOpenFailure);
    std::memcpy(gToldFailure, gOpenFailure, sizeof gToldFailure);
  }
  return kInvalidHandle;
}
}  // namespace

const char* platSerialOpenFailure() { return gOpenFailure; }

const char* platSerialOpenedDevice() { return gOpenedDevice; }

PlatHandle platSerialOpen(const char* name) {
  gOpenAdvice[0] = 0;
  gOpenFailure[0] = 0;
  // Only "COM1" to "COM9" name a port; any other text names none.
  if (std::strncmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '9' || name[4] != 0) {
    std::snprintf(gOpenFailure, sizeof gOpenFailure, "%s: no such port", name);
    return kInvalidHandle;
  }
  char path[256];
  if (!posixComDevicePath(name[3] - '0', path, sizeof path)) return failOpen(-1, name, name, "no device for this port");
  // A device that another program holds exclusively (TIOCEXCL) refuses the
  // open here with EBUSY.
  const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // The open's own reason, before the look-ups below can change errno.
    const int why = errno;
    // Refused for its permissions: the user is told how to be let in, on
    // standard error here and in the failure's message box.
    if ((why == EACCES || why == EPERM) && posixSerialAccessAdvice(path, gOpenAdvice, sizeof gOpenAdvice)) {
      std::fprintf(stderr, "zelto: %s: %s\n", name, gOpenAdvice);
    }
    return failOpen(-1, name, path, std::strerror(why));
  }
  // No sharing: a port another terminal program has locked is refused, and
  // once open, this one is locked and exclusive for every later opener.
  if (!isatty(fd)) return failOpen(fd, name, path, "not a serial device");
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return failOpen(fd, name, path, "in use by another program");
  if (ioctl(fd, TIOCEXCL) != 0) return failOpen(fd, name, path, std::strerror(errno));
  std::snprintf(gOpenedDevice, sizeof gOpenedDevice, "%s", path);
  gToldFailure[0] = 0;
  return fd;
}

int platSerialSetTimeouts(PlatHandle, const CommTimeouts* t) {
  gWriteTimeouts = *t;
  return 1;
}

void platSerialSetFlowControl(int dtrOn, int rtsOn, int ctsOutFlow) {
  gComDCB.dtr = dtrOn;
  gComDCB.rts = rtsOn;
  gComDCB.ctsFlow = ctsOutFlow;
}

int platSerialBuildState(const char* modeText) {
  LineSettings s = gComDCB;
  int baud = 0, data = 0, stop = 0;
  char parity = 0;
  if (std::sscanf(modeText, " baud=%d parity=%c data=%d stop=%d", &baud, &parity, &data, &stop) != 4) return 0;
  if (speedOf(baud) == 0 || data != 8 || stop != 1 || (parity != 'N' && parity != 'n')) return 0;
  s.baud = baud;
  s.dataBits = data;
  s.parity = 'N';
  s.stopBits = stop;
  gComDCB = s;
  return 1;
}

int platSerialApplyState(PlatHandle h) {
  const int fd = static_cast<int>(h);
  termios tio;
  // The system's reason for a refusal is the open's (see platSerialOpenFailure).
  const auto refused = [] {
    std::snprintf(gOpenFailure, sizeof gOpenFailure, "%s: %s", gOpenedDevice, std::strerror(errno));
    return 0;
  };
  if (tcgetattr(fd, &tio) != 0) return refused();
  cfmakeraw(&tio);   // all 256 byte values pass unchanged, no echo, no XON/XOFF
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  if (gComDCB.ctsFlow) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  const speed_t sp = speedOf(gComDCB.baud);
  if (sp == 0 || cfsetispeed(&tio, sp) != 0 || cfsetospeed(&tio, sp) != 0) return 0;
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return refused();
  // DTR and RTS on while the port is open; a pseudo-terminal has no modem
  // lines and refuses this, which does not matter there.
  int lines = (gComDCB.dtr ? TIOCM_DTR : 0) | (gComDCB.rts ? TIOCM_RTS : 0);
  if (lines) ioctl(fd, TIOCMBIS, &lines);
  return 1;
}

int platSerialPurge(PlatHandle h, unsigned actions) {
  const int fd = static_cast<int>(h);
  if (actions & kPurgeTxAbort) gTxAbortGeneration++;
  const bool tx = actions & kPurgeTxClear;
  const bool rx = actions & kPurgeRxClear;
  if (tx || rx) tcflush(fd, tx && rx ? TCIOFLUSH : (tx ? TCOFLUSH : TCIFLUSH));
  return 1;
}

// Every modem-line and break request is noted before it is made: a
// pseudo-terminal has no such lines, so tests read here what reached the port.
namespace {
std::atomic<int> gControlLog[16];
std::atomic<int> gControlCount{0};
void noteControl(int what) {
  const int i = gControlCount.fetch_add(1);
  if (i < 16) gControlLog[i] = what;
}
}  // namespace

int posixTakeSerialControls(int* out, int max) {
  const int n = gControlCount.exchange(0);
  int k = 0;
  for (; k < n && k < 16 && k < max; k++) out[k] = gControlLog[k];
  return k;
}

int platSerialSetLine(PlatHandle h, int line, int on) {
  noteControl((line == kLineDtr ? kControlDtr : kControlRts) | (on ? 1 : 0));
  int bit = line == kLineDtr ? TIOCM_DTR : TIOCM_RTS;
  return ioctl(static_cast<int>(h), on ? TIOCMBIS : TIOCMBIC, &bit) == 0 ? 1 : 0;
}

int platSerialBreak(PlatHandle h, int on) {
  noteControl(kControlBreak | (on ? 1 : 0));
  return ioctl(static_cast<int>(h), on ? TIOCSBRK : TIOCCBRK) == 0 ? 1 : 0;
}

int platSerialModemStatus(PlatHandle h, uint32_t* lines) {
  *lines = 0;
  const int forced = gModemOverride;
  if (forced >= 0) {
    *lines = static_cast<uint32_t>(forced);
    return 1;
  }
  int bits = 0;
  if (ioctl(static_cast<int>(h), TIOCMGET, &bits) != 0) return 0;
  if (bits & TIOCM_CTS) *lines |= kModemCts;
  if (bits & TIOCM_DSR) *lines |= kModemDsr;
  if (bits & TIOCM_RI) *lines |= kModemRing;
  if (bits & TIOCM_CD) *lines |= kModemRlsd;
  return 1;
}

int platSerialClearErrors(PlatHandle h, uint32_t* inQueue) {
  int n = 0;
  *inQueue = 0;
  if (ioctl(static_cast<int>(h), FIONREAD, &n) != 0) return 0;
  *inQueue = n > 0 ? static_cast<uint32_t>(n) : 0;
  return 1;
}

int platSerialDeviceGone(PlatHandle h) {
  // A line whose device went away reports a hang-up, or the descriptor an
  // error, from then on; a passing failure does neither.
  pollfd p{static_cast<int>(h), POLLIN, 0};
  if (poll(&p, 1, 0) < 0) return errno == EINTR ? 0 : 1;
  return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) ? 1 : 0;
}

int platSerialRead(PlatHandle h, void* buf, uint32_t n, uint32_t* got) {
  *got = 0;
  const ssize_t r = read(static_cast<int>(h), buf, n);
  if (r < 0) return (errno == EAGAIN || errno == EINTR) ? 1 : 0;
  *got = static_cast<uint32_t>(r);
  return 1;
}

int platSerialWrite(PlatHandle h, const void* buf, uint32_t n, uint32_t* put) {
  const int fd = static_cast<int>(h);
  const char* p = static_cast<const char*>(buf);
  const long long deadline =
      nowMs() + gWriteTimeouts.WriteTotalTimeoutConstant + static_cast<long long>(gWriteTimeouts.WriteTotalTimeoutMultiplier) * n;
  const unsigned generation = gTxAbortGeneration;
  *put = 0;
  while (*put < n) {
    const ssize_t r = write(fd, p + *put, n - *put);
    if (r > 0) {
      *put += static_cast<uint32_t>(r);
      continue;
    }
    if (r < 0 && errno != EAGAIN && errno != EINTR) return 0;
    // The port takes no more for now (the device does not read, or CTS is
    // off): wait in short steps, so a purge can abort the write.
    const long long left = deadline - nowMs();
    if (left <= 0 || generation != gTxAbortGeneration) return 1;
    pollfd pfd{fd, POLLOUT, 0};
    poll(&pfd, 1, left < 10 ? static_cast<int>(left) : 10);
  }
  return 1;
}

void platSerialClose(PlatHandle h) {
  if (h != kInvalidHandle) close(static_cast<int>(h));
}
