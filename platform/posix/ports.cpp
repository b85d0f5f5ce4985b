// Which device each COM port is on this machine: the devices named for a port, and the serial devices found, which take the free numbers; what the system says of each; and why a device cannot be used.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/paths.h"
#include "platform/serial.h"

namespace {

char gComPaths[10][256];
char gSysfs[256] = "/sys";

// Serial devices of one kind ("ttyUSB" names /dev/ttyUSB0, /dev/ttyUSB1...)
// in number order, appended to list from position *count on (at most max).
// With uart, only the ports with a UART behind them: the kernel makes
// /dev/ttyS0 to ttyS31 whether or not one answers.
void listDevices(const char* prefix, bool uart, char (*list)[32], int* count, int max) {
  DIR* d = opendir("/dev");
  if (!d) return;
  int numbers[64] = {};
  int found = 0;
  const size_t plen = std::strlen(prefix);
  while (dirent* e = readdir(d)) {
    if (std::strncmp(e->d_name, prefix, plen) != 0) continue;
    const char* digits = e->d_name + plen;
    char* end = nullptr;
    const long n = std::strtol(digits, &end, 10);
    if (end == digits || *end != 0 || n < 0 || n > 9999 || found == 64) continue;
    numbers[found++] = static_cast<int>(n);
  }
  closedir(d);
  std::qsort(numbers, static_cast<size_t>(found), sizeof numbers[0],
             [](const void* a, const void* b) { return *static_cast<const int*>(a) - *static_cast<const int*>(b); });
  for (int i = 0; i < found && *count < max; i++) {
    char path[32];
    std::snprintf(path, sizeof path, "/dev/%s%d", prefix, numbers[i]);
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISCHR(st.st_mode)) continue;
    if (uart) {
      // sysfs says the UART type, 0 for none; without sysfs, a port
      // without one refuses the open or its settings.
      char type[320];
      std::snprintf(type, sizeof type, "%s/class/tty/%s%d/type", gSysfs, prefix, numbers[i]);
      if (FILE* f = std::fopen(type, "r")) {
        int t = 0;
        const bool known = std::fscanf(f, "%d", &t) == 1;
        std::fclose(f);
        if (known && t == 0) continue;
      } else {
        const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio;
        const bool answers = fd >= 0 && tcgetattr(fd, &tio) == 0;
        if (fd >= 0) close(fd);
        if (!answers) continue;
      }
    }
    std::snprintf(list[(*count)++], sizeof list[0], "%s", path);
  }
}

bool sameDevice(const char* a, const char* b) {
  struct stat sa, sb;
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return std::strcmp(a, b) == 0;
  if (S_ISCHR(sa.st_mode) && S_ISCHR(sb.st_mode)) return sa.st_rdev == sb.st_rdev;
  return sa.st_ino == sb.st_ino && sa.st_dev == sb.st_dev;
}

bool namedForAPort(const char* path) {
  for (int n = 1; n <= 9; n++) {
    if (gComPaths[n][0] && sameDevice(gComPaths[n], path)) return true;
  }
  return false;
}

// "NAME (pid N)" of the processes that hold path open, as far as this user
// may see, comma-separated into out.
void holders(const char* path, char* out, size_t len) {
  out[0] = 0;
  char real[PATH_MAX];
  if (!realpath(path, real)) return;
  DIR* proc = opendir("/proc");
  if (!proc) return;
  const pid_t self = getpid();
  while (dirent* p = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(p->d_name, &end, 10);
    if (end == p->d_name || *end != 0 || pid == self) continue;
    char fdDir[64];
    std::snprintf(fdDir, sizeof fdDir, "/proc/%ld/fd", pid);
    DIR* fds = opendir(fdDir);
    if (!fds) continue;
    bool holds = false;
    while (dirent* f = readdir(fds)) {
      char link[384], target[PATH_MAX];
      std::snprintf(link, sizeof link, "%s/%s", fdDir, f->d_name);
      const ssize_t n = readlink(link, target, sizeof target - 1);
      if (n <= 0) continue;
      target[n] = 0;
      if (std::strcmp(target, real) == 0) {
        holds = true;
        break;
      }
    }
    closedir(fds);
    if (!holds) continue;
    char comm[64] = "?";
    std::snprintf(fdDir, sizeof fdDir, "/proc/%ld/comm", pid);
    if (FILE* c = std::fopen(fdDir, "r")) {
      if (std::fgets(comm, sizeof comm, c)) comm[std::strcspn(comm, "\n")] = 0;
      std::fclose(c);
    }
    const size_t used = std::strlen(out);
    std::snprintf(out + used, len - used, "%s%s (pid %ld)", used ? ", " : "", comm, pid);
  }
  closedir(proc);
}

}  // namespace

int posixFindSerialDevices(char (*list)[32], int max) {
  // USB adapters first, as a Linux user plugs them in for a device on the
  // desk; the built-in ports after them. The order is by name and number,
  // so the same devices give the same COM numbers at every start.
  int count = 0;
  listDevices("ttyUSB", false, list, &count, max);
  listDevices("ttyACM", false, list, &count, max);
  listDevices("ttyS", true, list, &count, max);
  return count;
}

int posixComDevicePath(int n, char* buf, size_t len) {
  if (n < 1 || n > 9 || len == 0) return 0;
  buf[0] = 0;
  if (gComPaths[n][0]) {
    std::snprintf(buf, len, "%s", gComPaths[n]);
    return 1;
  }
  // The devices found, less those named for a port, take the numbers that
  // no device was named for, in order.
  char found[40][32];
  const int count = posixFindSerialDevices(found, 40);
  int free = 0;
  for (int k = 1; k <= n; k++) {
    if (!gComPaths[k][0]) free++;
  }
  for (int i = 0; i < count; i++) {
    if (namedForAPort(found[i])) continue;
    if (--free == 0) {
      std::snprintf(buf, len, "%s", found[i]);
      return 1;
    }
  }
  return 0;
}

int posixComDeviceNamed(int n) { return n >= 1 && n <= 9 && gComPaths[n][0] ? 1 : 0; }

void posixSetComDevice(int n, const char* path) {
  if (n < 1 || n > 9) return;
  std::snprintf(gComPaths[n], sizeof gComPaths[n], "%s", path ? path : "");
}

void posixSetSysfsRoot(const char* dir) {
  std::snprintf(gSysfs, sizeof gSysfs, "%s", dir && dir[0] ? dir : "/sys");
}

namespace {

// The first line of a small sysfs file, without its end; "" when none.
std::string sysfsLine(const std::string& path) {
  char line[128] = "";
  if (FILE* f = std::fopen(path.c_str(), "r")) {
    if (!std::fgets(line, sizeof line, f)) line[0] = 0;
    std::fclose(f);
  }
  line[std::strcspn(line, "\r\n")] = 0;
  return line;
}

std::string baseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

}  // namespace

int posixSerialDeviceInfo(const char* path, char* out, size_t len) {
  out[0] = 0;
  char real[PATH_MAX];
  if (!realpath(path, real)) return 0;
  // The terminal's device, and up from it: the driver that serves the port
  // (past the serial core's own "port" and "ctrl" of ttyS), and the USB
  // device it belongs to.
  char dev[PATH_MAX];
  const std::string tty = std::string(gSysfs) + "/class/tty/" + baseName(real) + "/device";
  if (!realpath(tty.c_str(), dev)) return 0;
  std::string d = dev, driver, usb;
  for (int up = 0; up < 8 && d.size() > std::strlen(gSysfs); up++, d.resize(d.find_last_of('/'))) {
    char link[PATH_MAX];
    const ssize_t n = readlink((d + "/driver").c_str(), link, sizeof link - 1);
    if (driver.empty() && n > 0) {
      link[n] = 0;
      if (!std::strstr(link, "/bus/serial-base/")) driver = baseName(link);
    }
    const std::string vendor = sysfsLine(d + "/idVendor");
    if (!vendor.empty()) {
      usb = "USB " + vendor + ":" + sysfsLine(d + "/idProduct");
      for (const char* name : {"/manufacturer", "/product"}) {
        const std::string text = sysfsLine(d + name);
        if (!text.empty()) usb += " " + text;
      }
      break;
    }
  }
  if (driver.empty() && usb.empty()) return 0;
  std::snprintf(out, len, "%s%s%s", driver.c_str(), !driver.empty() && !usb.empty() ? ", " : "", usb.c_str());
  return 1;
}

int posixSerialAccessAdvice(const char* path, char* advice, size_t len) {
  advice[0] = 0;
  struct stat st;
  if (stat(path, &st) != 0 || access(path, R_OK | W_OK) == 0) return 0;
  const group* g = getgrgid(st.st_gid);
  if (st.st_gid == 0 || !g || !(st.st_mode & S_IRGRP) || !(st.st_mode & S_IWGRP)) {
    std::snprintf(advice, len, "no permission to use %s: only root may", path);
  } else {
    std::snprintf(advice, len,
                  "no permission to use %s: it belongs to the group %s. Join it with\n"
                  "  sudo usermod -aG %s $USER\nthen log out and log in again.",
                  path, g->gr_name, g->gr_name);
  }
  return 1;
}

int posixSerialDeviceProblem(const char* path, char* why, size_t len) {
  why[0] = 0;
  if (access(path, F_OK) != 0) {
    std::snprintf(why, len, "does not exist");
  } else if (!platSerialNameCheck(path)) {
    std::snprintf(why, len, "not a serial device");   // a file, a folder, a FIFO, /dev/null
  } else if (!posixSerialAccessAdvice(path, why, len)) {
    char who[512];
    holders(path, who, sizeof who);
    if (who[0]) std::snprintf(why, len, "in use by %s: end that program first", who);
  }
  return why[0] ? 1 : 0;
}
