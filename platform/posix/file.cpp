// POSIX files. "Shared with nobody" is an exclusive advisory lock (flock):
// a second opener that asks for the lock is refused, as Win32 share mode 0
// refuses it.
#include "platform/file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
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

int platFileStamp(const char* path, PlatFileStamp* out) {
  struct stat st;
  if (stat(path, &st) != 0) return 0;
  out->size = static_cast<int64_t>(st.st_size);
  out->written = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return 1;
}

namespace {
// The whole buffer to fd, through interrupted and partial writes. False at
// the first error (a full disk: ENOSPC).
bool writeAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t r = write(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}
}  // namespace

// The new file is written beside the old one (rename only replaces within
// one file system), forced to the disk, then renamed over it: rename swaps
// the name in one step, so every reader finds either the old file or the
// new one, whole, also after a crash.
int platFileReplace(const char* path, const void* data, uint32_t n) {
  if (!path || !path[0]) return 0;
  char target[PATH_MAX];
  struct stat st;
  if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
    // A link (a settings folder kept elsewhere) stays a link.
    if (!realpath(path, target)) return 0;
  } else if (std::snprintf(target, sizeof target, "%s", path) >= static_cast<int>(sizeof target)) {
    return 0;
  }
  // The new file gets the old one's permissions; a first one, the usual.
  mode_t mode = 0644;
  const bool existed = stat(target, &st) == 0;
  if (existed) {
    if (!S_ISREG(st.st_mode)) return 0;
    mode = st.st_mode & 07777;
  }
  char temp[PATH_MAX];
  int fd = -1;
  static std::atomic<unsigned> serial{0};
  for (int tries = 0; fd < 0 && tries < 100; tries++) {
    if (std::snprintf(temp, sizeof temp, "%s~%ld-%u", target, static_cast<long>(getpid()), serial++) >=
        static_cast<int>(sizeof temp)) {
      return 0;
    }
    fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0 && errno != EEXIST) return 0;
  }
  if (fd < 0) return 0;
  // open() left out the bits the umask takes away, which the old file had.
  if (existed) fchmod(fd, mode);
  bool ok = writeAll(fd, static_cast<const char*>(data), n) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp, target) == 0;
  if (!ok) {
    unlink(temp);
    return 0;
  }
  // The new name itself on the disk: the folder's entry, forced too.
  char folder[PATH_MAX];
  std::snprintf(folder, sizeof folder, "%s", target);
  char* slash = std::strrchr(folder, '/');
  if (slash == folder) {
    slash[1] = 0;
  } else if (slash) {
    *slash = 0;
  } else {
    std::snprintf(folder, sizeof folder, ".");
  }
  const int dirFd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return 1;
}

namespace {
void reason(char* why, uint32_t size, const char* text) {
  if (why && size) std::snprintf(why, size, "%s", text);
}
}  // namespace

PlatHandle platFileCreateBeside(const char* path, char* tempPath, uint32_t tempSize, char* why, uint32_t whySize) {
  struct stat st;
  mode_t mode = 0644;
  if (stat(path, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      reason(why, whySize, std::strerror(EISDIR));
      return kInvalidHandle;
    }
    // A FIFO or a device would be replaced by a file, not written to.
    if (!S_ISREG(st.st_mode)) {
      reason(why, whySize, "Not a regular file");
      return kInvalidHandle;
    }
    mode = st.st_mode & 07777;   // a replaced file keeps its permissions
  }
  const char* slash = std::strrchr(path, '/');
  const int dirLen = slash ? static_cast<int>(slash - path) + 1 : 0;
  const char* name = slash ? slash + 1 : path;
  const int n = std::snprintf(tempPath, tempSize, "%.*s.%s.XXXXXX", dirLen, path, name);
  if (n <= 0 || static_cast<uint32_t>(n) >= tempSize) {
    reason(why, whySize, std::strerror(ENAMETOOLONG));
    return kInvalidHandle;
  }
  const int fd = mkostemp(tempPath, O_CLOEXEC);
  if (fd < 0) {
    reason(why, whySize, std::strerror(errno));
    return kInvalidHandle;
  }
  if (fchmod(fd, mode) != 0) {
    // Not worth failing the save for: the file is the user's own.
  }
  return fd;
}

int platFileFlush(PlatHandle h) { return fsync(static_cast<int>(h)) == 0 ? 1 : 0; }

int platFileRenameOver(const char* tempPath, const char* path, char* why, uint32_t whySize) {
  if (rename(tempPath, path) == 0) return 1;
  reason(why, whySize, std::strerror(errno));
  return 0;
}

void platFileRemove(const char* path) { unlink(path); }

void platFileErrorText(char* why, uint32_t whySize) { reason(why, whySize, std::strerror(errno)); }

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

int platFolderKeepsFiles(const char* dir) {
  const char* d = dir && dir[0] ? dir : "./";
  // An installed program: its folder is one of programs, never its files'.
  size_t n = std::strlen(d);
  while (n > 1 && d[n - 1] == '/') n--;
  size_t start = n;
  while (start > 0 && d[start - 1] != '/') start--;
  const size_t len = n - start;
  if ((len == 3 && std::strncmp(d + start, "bin", 3) == 0) || (len == 4 && std::strncmp(d + start, "sbin", 4) == 0)) return 0;
  // Writable, as the system sees it: root on a read-only file system or in
  // a folder of /proc is refused too, where a permission check would pass.
  char probe[PATH_MAX];
  if (std::snprintf(probe, sizeof probe, "%s%s.zelto-XXXXXX", d, d[std::strlen(d) - 1] == '/' ? "" : "/") >=
      static_cast<int>(sizeof probe)) {
    return 0;
  }
  const int fd = mkostemp(probe, O_CLOEXEC);
  if (fd < 0) return 0;
  close(fd);
  unlink(probe);
  return 1;
}

uint32_t platUserFolder(char* buf, uint32_t len) {
  char base[PATH_MAX];
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (xdg && xdg[0] == '/') {
    std::snprintf(base, sizeof base, "%s", xdg);
  } else {
    if (!home || home[0] != '/') {
      const passwd* pw = getpwuid(getuid());
      home = pw && pw->pw_dir && pw->pw_dir[0] == '/' ? pw->pw_dir : nullptr;
    }
    if (!home) return 0;
    std::snprintf(base, sizeof base, "%s/.config", home);
  }
  char dir[PATH_MAX + 8];
  const int n = std::snprintf(dir, sizeof dir, "%s/zelto/", base);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof dir) return 0;
  if (static_cast<uint32_t>(n) + 1 > len) return static_cast<uint32_t>(n) + 1;
  // Private to the user, as the rest of ~/.config is.
  mkdir(base, 0700);
  dir[n - 1] = 0;
  mkdir(dir, 0700);
  dir[n - 1] = '/';
  struct stat st;
  if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
  std::memcpy(buf, dir, static_cast<size_t>(n) + 1);
  return static_cast<uint32_t>(n);
}

PlatHandle platFileCreateNew(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
  return fd < 0 ? kInvalidHandle : fd;
}

int platFileRenameNew(const char* from, const char* to) {
  // A hard link is made only under a free name: the check and the naming
  // are one step. A file system without hard links (FAT on a USB stick)
  // falls back to a check followed by the rename.
  if (link(from, to) == 0) {
    unlink(from);
    return 1;
  }
  if (errno == EEXIST) return 0;
  struct stat st;
  if (lstat(to, &st) == 0) return 0;
  return rename(from, to) == 0 ? 1 : -1;
}

int platFileDelete(const char* path) { return unlink(path) == 0 ? 1 : 0; }

namespace {

// XDG_DOWNLOAD_DIR as the user's user-dirs.dirs gives it ("$HOME/Downloads").
bool userDirsDownload(const char* home, char* out, size_t size) {
  char file[PATH_MAX];
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    std::snprintf(file, sizeof file, "%s/user-dirs.dirs", xdg);
  } else {
    std::snprintf(file, sizeof file, "%s/.config/user-dirs.dirs", home);
  }
  std::FILE* f = std::fopen(file, "r");
  if (!f) return false;
  char line[PATH_MAX];
  bool found = false;
  while (!found && std::fgets(line, sizeof line, f)) {
    const char* p = line;
    while (*p == ' ' || *p == '\t') p++;
    if (std::strncmp(p, "XDG_DOWNLOAD_DIR=\"", 18) != 0) continue;
    p += 18;
    const char* end = std::strchr(p, '"');
    if (!end) break;
    const int n = static_cast<int>(end - p);
    if (std::strncmp(p, "$HOME", 5) == 0) {
      std::snprintf(out, size, "%s%.*s", home, n - 5, p + 5);
    } else {
      std::snprintf(out, size, "%.*s", n, p);
    }
    found = out[0] == '/';
  }
  std::fclose(f);
  return found;
}

}  // namespace

uint32_t platDownloadFolder(char* buf, uint32_t len) {
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') {
    const passwd* pw = getpwuid(getuid());
    home = pw && pw->pw_dir && pw->pw_dir[0] == '/' ? pw->pw_dir : nullptr;
  }
  char dir[PATH_MAX];
  const char* env = std::getenv("XDG_DOWNLOAD_DIR");
  if (env && env[0] == '/') {
    std::snprintf(dir, sizeof dir, "%s", env);
  } else if (!home) {
    return 0;
  } else if (!userDirsDownload(home, dir, sizeof dir)) {
    std::snprintf(dir, sizeof dir, "%s/Downloads", home);
  }
  size_t n = std::strlen(dir);
  while (n > 1 && dir[n - 1] == '/') dir[--n] = 0;
  mkdir(dir, 0755);
  struct stat st;
  if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
  if (n + 2 > len) return static_cast<uint32_t>(n + 2);
  std::memcpy(buf, dir, n);
  buf[n] = '/';
  buf[n + 1] = 0;
  return static_cast<uint32_t>(n + 1);
}
