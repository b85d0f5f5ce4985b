// POSIX serial ports with termios: raw bytes at any rate (termios2 beyond the
// standard speeds) and framing, DTR and RTS on, CTS output flow control or
// XON/XOFF when chosen, what the driver kept read back, reads that never wait
// and writes that give up after the write timeout. COM1 to COM9 name the
// machine's serial devices in a fixed order, unless a device was chosen for
// one; a path names its device.
#include "platform/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/posix/paths.h"
#include "platform/posix/serial_rate.h"

namespace {

// The persistent line-settings record: what the last mode text and
// flow-control settings asked for.
struct LineSettings {
  uint32_t baud;
  int dataBits;
  char parity;       // N, E, O, M, S
  char stopBits[4];  // "1", "1.5", "2"
  int dtr, rts, ctsFlow, xon;
};
LineSettings gComDCB = {0, 8, 'N', "1", 0, 0, 0, 0};

std::atomic<int> gModemOverride{-1};
CommTimeouts gWriteTimeouts = {};
std::atomic<unsigned> gTxAbortGeneration{0};
char gOpenAdvice[320];   // why the last open failed, for the user

// The standard speeds of termios; any other rate goes through
// posixSetAnyRate.
speed_t speedOf(uint32_t baud) {
  static const struct {
    uint32_t rate;
    speed_t speed;
  } kSpeeds[] = {{50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
                 {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
                 {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
#if defined(B4000000)
                 {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
                 {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
                 {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
  };
  for (const auto& s : kSpeeds)
    if (s.rate == baud) return s.speed;
  return 0;
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
  const bool com = name[0] != '/';
  if (com && posixComDeviceNamed(name[3] - '0') && std::strcmp(gToldFailure, gOpenFailure) != 0) {
    std::fprintf(stderr, "zelto: %s: %s\n", name, gOpenFailure);
    std::memcpy(gToldFailure, gOpenFailure, sizeof gToldFailure);
  }
  return kInvalidHandle;
}
}  // namespace

const char* platSerialOpenFailure() { return gOpenFailure; }

const char* platSerialOpenedDevice() { return gOpenedDevice; }

namespace {
// A device that is a serial port, or may be one: a terminal. sysfs tells a
// device's class without opening it (opening a port raises its DTR); a
// pseudo-terminal has no entry there, and the open's isatty decides.
bool terminalDevice(const struct stat& st) {
  if (!S_ISCHR(st.st_mode)) return false;
  char link[64], target[PATH_MAX];
  std::snprintf(link, sizeof link, "/sys/dev/char/%u:%u/subsystem", major(st.st_rdev), minor(st.st_rdev));
  const ssize_t n = readlink(link, target, sizeof target - 1);
  if (n <= 0) return true;
  target[n] = 0;
  const char* cls = std::strrchr(target, '/');
  return std::strcmp(cls ? cls + 1 : target, "tty") == 0;
}
}  // namespace

int platSerialNameCheck(const char* text) {
  const size_t n = std::strlen(text);
  if (text[0] != '/' || n > 255) return 0;
  struct stat st;
  // Not there now (an adapter not plugged in yet) is a port the open looks
  // for; a path through a file never leads to one.
  if (stat(text, &st) != 0) return errno != ENOTDIR ? 1 : 0;
  return terminalDevice(st) ? 1 : 0;
}

const char* platSerialNameRule() { return "the path of a serial device such as /dev/ttyUSB0"; }

int platSerialListPorts(char (*list)[kSerialEntryMax], int max) {
  char found[40][32];
  const int count = posixFindSerialDevices(found, max < 40 ? max : 40);
  for (int i = 0; i < count; i++) {
    char info[256];
    if (posixSerialDeviceInfo(found[i], info, sizeof info)) {
      std::snprintf(list[i], kSerialEntryMax, "%.31s  (%.255s)", found[i], info);
    } else {
      std::snprintf(list[i], kSerialEntryMax, "%.31s", found[i]);
    }
  }
  return count;
}

PlatHandle platSerialOpen(const char* name) {
  gOpenAdvice[0] = 0;
  gOpenFailure[0] = 0;
  // "COM1" to "COM9" name the program's ports, a path its device; any other
  // text names none.
  const bool com = std::strncmp(name, "COM", 3) == 0 && name[3] >= '1' && name[3] <= '9' && name[4] == 0;
  if (!com && (name[0] != '/' || std::strlen(name) > 255)) {
    std::snprintf(gOpenFailure, sizeof gOpenFailure, "%.255s: no such port", name);
    return kInvalidHandle;
  }
  char path[256];
  if (!com) {
    std::snprintf(path, sizeof path, "%s", name);
  } else if (!posixComDevicePath(name[3] - '0', path, sizeof path)) {
    return failOpen(-1, name, name, "no device for this port");
  }
  // A file, a folder or a FIFO is refused before it is opened.
  struct stat st;
  if (stat(path, &st) == 0 && !terminalDevice(st)) return failOpen(-1, name, path, "not a serial device");
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

void platSerialSetFlowControl(int dtrOn, int rtsOn, int ctsOutFlow, int xonXoff) {
  gComDCB.dtr = dtrOn;
  gComDCB.rts = rtsOn;
  gComDCB.ctsFlow = ctsOutFlow;
  gComDCB.xon = xonXoff;
}

int platSerialBuildState(const char* modeText) {
  LineSettings s = gComDCB;
  unsigned baud = 0;
  int data = 0, used = 0;
  char parity = 0;
  char stop[4] = "";
  if (std::sscanf(modeText, " baud=%u parity=%c data=%d stop=%3s%n", &baud, &parity, &data, stop, &used) != 4 ||
      modeText[used] != 0)
    return 0;
  if (baud == 0 || data < 5 || data > 8 || !std::strchr("NEOMS", parity)) return 0;
  if (std::strcmp(stop, "1") != 0 && std::strcmp(stop, "1.5") != 0 && std::strcmp(stop, "2") != 0) return 0;
  s.baud = baud;
  s.dataBits = data;
  s.parity = parity;
  std::memcpy(s.stopBits, stop, sizeof s.stopBits);
  gComDCB = s;
  return 1;
}

namespace {

// What the last apply asked of termios, and a driver's rounding pretended
// for tests: a pseudo-terminal keeps any rate and cannot refuse one.
std::atomic<uint32_t> gAskedRate{0}, gAskedCflag{0}, gAskedIflag{0};
std::atomic<uint32_t> gPretendAsked{0}, gPretendKept{0};

constexpr tcflag_t kFramingBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

// A Unix 98 pseudo-terminal (majors 136 to 143): it has no line, and keeps
// 8 data bits without parity whatever is asked.
bool pseudoTerminal(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

}  // namespace

void posixPretendDriverRate(uint32_t asked, uint32_t kept) {
  gPretendKept = kept;
  gPretendAsked = asked;
}

void posixAskedLineSettings(uint32_t* rate, uint32_t* cflag, uint32_t* iflag) {
  *rate = gAskedRate;
  *cflag = gAskedCflag;
  *iflag = gAskedIflag;
}

int platSerialApplyState(PlatHandle h) {
  const int fd = static_cast<int>(h);
  termios tio;
  // The system's reason for a refusal is the open's (see platSerialOpenFailure).
  const auto refused = [] {
    std::snprintf(gOpenFailure, sizeof gOpenFailure, "%s: %s", gOpenedDevice, std::strerror(errno));
    return 0;
  };
  const auto changed = [](const char* what) {
    std::snprintf(gOpenFailure, sizeof gOpenFailure, "%s: %s refused by the driver", gOpenedDevice, what);
    return 0;
  };
  if (tcgetattr(fd, &tio) != 0) return refused();
  cfmakeraw(&tio);   // all 256 byte values pass unchanged, no echo, no XON/XOFF
  tio.c_cflag &= ~(kFramingBits);
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[gComDCB.dataBits - 5] | CLOCAL | CREAD;
  // Mark and space are parity bits that stay 1 or 0 (CMSPAR).
  if (gComDCB.parity != 'N') tio.c_cflag |= PARENB;
  if (gComDCB.parity == 'O' || gComDCB.parity == 'M') tio.c_cflag |= PARODD;
  if (gComDCB.parity == 'M' || gComDCB.parity == 'S') tio.c_cflag |= CMSPAR;
  // With 5 data bits, two stop bits are sent as one and a half.
  if (gComDCB.stopBits[0] != '1' || gComDCB.stopBits[1] != 0) tio.c_cflag |= CSTOPB;
  if (gComDCB.ctsFlow) tio.c_cflag |= CRTSCTS;
  // Parity is not checked on input: every byte is shown as it came.
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  if (gComDCB.xon) {
    tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
  }
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  const uint32_t rate = gComDCB.baud;
  const speed_t sp = speedOf(rate);
#if defined(CIBAUD)
  // The input rate follows the output rate: none left from an earlier rate
  // set through termios2.
  tio.c_cflag &= ~CIBAUD;
#endif
  if (sp != 0 && (cfsetispeed(&tio, sp) != 0 || cfsetospeed(&tio, sp) != 0)) return refused();
  gAskedRate = rate;
  gAskedCflag = static_cast<uint32_t>(tio.c_cflag);
  gAskedIflag = static_cast<uint32_t>(tio.c_iflag);
  // EINVAL: the driver made none of the changes (glibc reads them back);
  // what it kept is compared below, and tells which was refused.
  if (tcsetattr(fd, TCSANOW, &tio) != 0 && errno != EINVAL) return refused();
  if (sp == 0 && !posixSetAnyRate(fd, rate)) return refused();
  // A driver takes what it can and says nothing of the rest: what it kept
  // is read back, so the port never runs at a rate or framing not shown.
  uint32_t in = 0, out = 0;
  if (!posixReadRates(fd, &in, &out)) return refused();
  if (rate == gPretendAsked && gPretendKept != 0) in = out = gPretendKept;
  char what[24];
  if (out != rate || (in != 0 && in != rate)) {
    std::snprintf(what, sizeof what, "%u baud", static_cast<unsigned>(rate));
    return changed(what);
  }
  termios kept;
  if (tcgetattr(fd, &kept) != 0) return refused();
  const tcflag_t checked = pseudoTerminal(fd) ? kFramingBits & ~(CSIZE | PARENB) : kFramingBits;
  if ((kept.c_cflag & checked & ~CRTSCTS) != (tio.c_cflag & checked & ~CRTSCTS)) {
    std::snprintf(what, sizeof what, "%d%c%s", gComDCB.dataBits, gComDCB.parity, gComDCB.stopBits);
    return changed(what);
  }
  if ((kept.c_cflag & CRTSCTS) != (tio.c_cflag & CRTSCTS)) return changed("CTS handshake");
  if ((kept.c_iflag & (IXON | IXOFF)) != (tio.c_iflag & (IXON | IXOFF))) return changed("XON/XOFF");
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
// One lock over the log and its count: a reader never sees a request
// counted but not yet written.
namespace {
std::mutex gControlLock;
int gControlLog[16];
int gControlCount = 0;
void noteControl(int what) {
  std::lock_guard<std::mutex> hold(gControlLock);
  if (gControlCount < 16) gControlLog[gControlCount++] = what;
}
}  // namespace

int posixTakeSerialControls(int* out, int max) {
  std::lock_guard<std::mutex> hold(gControlLock);
  int k = 0;
  for (; k < gControlCount && k < max; k++) out[k] = gControlLog[k];
  gControlCount = 0;
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
