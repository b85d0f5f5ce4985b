// POSIX files. "Shared with nobody" is an exclusive advisory lock (flock):
// a second opener that asks for the lock is refused, as Win32 share mode 0
// refuses it.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstring>

#include "platform/posix/paths.h"

namespace {
char gProgramPath[PATH_MAX] = "";
char gDataFolder[PATH_MAX] = "";

// Only a regular file is taken. The open never waits: a FIFO would hold
// it until some other process opened the other end, and a device may too.
// Reads and writes of the file then wait as usual.
int lockedOpen(const char* path, int flags) {
  const int fd = open(path, flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, flags & O_ACCMODE) != 0 ||
      flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}
}  // namespace

PlatHandle platFileOpenRead(const char* path) {
  const int fd = lockedOpen(path, O_RDONLY);
  return fd < 0 ? kInvalidHandle : fd;
}

PlatHandle platFileCreate(const char* path) {
  const int fd = lockedOpen(path, O_WRONLY | O_CREAT);
  if (fd < 0) return kInvalidHandle;
  if (ftruncate(fd, 0) != 0) {
    close(fd);
    return kInvalidHandle;
  }
  return fd;
}

int platFileRead(PlatHandle h, void* buf, uint32_t n, uint32_t* got) {
  *got = 0;
  ssize_t r;
  do {
    r = read(static_cast<int>(h), buf, n);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return 0;
  *got = static_cast<uint32_t>(r);
  return 1;
}

int platFileSkip(PlatHandle h, int64_t delta) {
  return lseek(static_cast<int>(h), static_cast<off_t>(delta), SEEK_CUR) >= 0 ? 1 : 0;
}

int platFileWrite(PlatHandle h, const void* buf, uint32_t n, uint32_t* put) {
  *put = 0;
  const char* p = static_cast<const char*>(buf);
  while (*put < n) {
    const ssize_t r = write(static_cast<int>(h), p + *put, n - *put);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return 0;
    *put += static_cast<uint32_t>(r);
  }
  return 1;
}

void platFileClose(PlatHandle h) {
  if (h != kInvalidHandle) close(static_cast<int>(h));
}

void posixSetProgramPath(const char* path) {
  std::strncpy(gProgramPath, path ? path : "", sizeof gProgramPath - 1);
  gProgramPath[sizeof gProgramPath - 1] = 0;
}

void posixSetDataFolder(const char* dir) {
  std::snprintf(gDataFolder, sizeof gDataFolder, "%s", dir ? dir : "");
}

// The running program's folder stands for the folder of ZELTO.EXE: the name
// is found there when a file of that name exists. A data folder set by the
// native program is that folder, whatever it holds yet.
uint32_t platSearchExecutable(const char* name, char* buf, uint32_t len) {
  if (gDataFolder[0]) {
    char full[PATH_MAX + 64];
    const int n = std::snprintf(full, sizeof full, "%s/%s", gDataFolder, name);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof full) return 0;
    if (static_cast<uint32_t>(n) + 1 > len) return static_cast<uint32_t>(n) + 1;
    std::memcpy(buf, full, static_cast<size_t>(n) + 1);
    return static_cast<uint32_t>(n);
  }
  char self[PATH_MAX];
  if (gProgramPath[0]) {
    std::snprintf(self, sizeof self, "%s", gProgramPath);
  } else {
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 0;
    self[n] = 0;
  }
  char* slash = std::strrchr(self, '/');
  if (!slash) return 0;
  slash[1] = 0;
  char full[PATH_MAX + 64];
  const size_t dirLen = std::strlen(self);
  const size_t nameLen = std::strlen(name);
  if (dirLen + nameLen + 1 > sizeof full) return 0;
  std::memcpy(full, self, dirLen);
  std::memcpy(full + dirLen, name, nameLen + 1);
  if (access(full, F_OK) != 0) return 0;
  const uint32_t need = static_cast<uint32_t>(dirLen + nameLen);
  if (need + 1 > len) return need + 1;
  std::memcpy(buf, full, need + 1);
  return need;
}

int platIsPathSeparator(char c) { return c == '/'; }
