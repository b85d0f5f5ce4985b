// Any rate on a serial port: Linux's termios2 with BOTHER, in a file of its
// own, since <asm/termbits.h> cannot share a translation unit with <termios.h>.
#include "platform/posix/serial_rate.h"

#if defined(__linux__)
#include <asm/termbits.h>
#include <sys/ioctl.h>

int posixSetAnyRate(int fd, uint32_t rate) {
  termios2 t;
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = rate;
  t.c_ospeed = rate;
  return ioctl(fd, TCSETS2, &t) == 0 ? 1 : 0;
}

int posixReadRates(int fd, uint32_t* in, uint32_t* out) {
  termios2 t;
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  *in = t.c_ispeed;
  *out = t.c_ospeed;
  return 1;
}
#else
// The BSDs and macOS: a termios speed is the rate itself.
#include <termios.h>

int posixSetAnyRate(int fd, uint32_t rate) {
  termios t;
  if (tcgetattr(fd, &t) != 0 || cfsetspeed(&t, rate) != 0) return 0;
  return tcsetattr(fd, TCSANOW, &t) == 0 ? 1 : 0;
}

int posixReadRates(int fd, uint32_t* in, uint32_t* out) {
  termios t;
  if (tcgetattr(fd, &t) != 0) return 0;
  *in = static_cast<uint32_t>(cfgetispeed(&t));
  *out = static_cast<uint32_t>(cfgetospeed(&t));
  return 1;
}
#endif
