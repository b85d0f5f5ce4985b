// Win32 files: CreateFileA with no sharing, ReadFile, WriteFile, GetFileAttributesExA, SearchPathA, the Downloads known folder.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "platform/file.h"

namespace {
HANDLE h32(PlatHandle h) { return reinterpret_cast<HANDLE>(h); }
PlatHandle hp(HANDLE h) { return reinterpret_cast<PlatHandle>(h); }

// Only a file on a disk is taken: a path naming a folder, a device (COM1,
// NUL, CON) or a pipe is refused, as nothing sound can be read from or
// written to it as a file. A folder, a device path ("\\.\...") and what
// the system marks as a device are refused before any open (opening a pipe
// or a device may wait); the rest by the opened handle's type.
PlatHandle onlyDiskFile(const char* path, DWORD access, DWORD disposition) {
  const DWORD attrs = GetFileAttributesA(path);
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return kInvalidHandle;
  }
  if (path[0] == '\\' && path[1] == '\\' && (path[2] == '.' || path[2] == '?') && path[3] == '\\') {
    return kInvalidHandle;
  }
  const HANDLE h = CreateFileA(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kInvalidHandle;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return kInvalidHandle;
  }
  return hp(h);
}
}  // namespace

PlatHandle platFileOpenRead(const char* path) { return onlyDiskFile(path, GENERIC_READ, OPEN_EXISTING); }

PlatHandle platFileCreate(const char* path) { return onlyDiskFile(path, GENERIC_WRITE, CREATE_ALWAYS); }

int platFileRead(PlatHandle h, void* buf, uint32_t n, uint32_t* got) {
  DWORD r = 0;
  const BOOL ok = ReadFile(h32(h), buf, n, &r, nullptr);
  *got = ok ? r : 0;
  return ok ? 1 : 0;
}

int platFileSkip(PlatHandle h, int64_t delta) {
  LARGE_INTEGER d;
  d.QuadPart = delta;
  return SetFilePointerEx(h32(h), d, nullptr, FILE_CURRENT) ? 1 : 0;
}

int platFileWrite(PlatHandle h, const void* buf, uint32_t n, uint32_t* put) {
  DWORD w = 0;
  const BOOL ok = WriteFile(h32(h), buf, n, &w, nullptr);
  *put = w;
  return ok ? 1 : 0;
}

void platFileClose(PlatHandle h) {
  if (h != kInvalidHandle) CloseHandle(h32(h));
}

int platFileStamp(const char* path, PlatFileStamp* out) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
  out->size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  out->written = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                      data.ftLastWriteTime.dwLowDateTime);
  return 1;
}

// The new file is written beside the old one under a name of its own
// (GetTempFileName), flushed to the disk, then moved over it: the move
// replaces the name in one step, and with MOVEFILE_WRITE_THROUGH returns
// only once it is on the disk.
int platFileReplace(const char* path, const void* data, uint32_t n) {
  if (!path || !path[0]) return 0;
  const DWORD attrs = GetFileAttributesA(path);
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) return 0;
  if (path[0] == '\\' && path[1] == '\\' && (path[2] == '.' || path[2] == '?') && path[3] == '\\') return 0;
  char folder[MAX_PATH];
  size_t cut = std::strlen(path);
  while (cut > 0 && path[cut - 1] != '\\' && path[cut - 1] != '/' && path[cut - 1] != ':') cut--;
  if (cut >= sizeof folder) return 0;
  if (cut == 0) {
    folder[0] = '.';
    folder[1] = 0;
  } else {
    std::memcpy(folder, path, cut);
    folder[cut] = 0;
  }
  char temp[MAX_PATH];
  if (!GetTempFileNameA(folder, "ZEL", 0, temp)) return 0;   // creates it, empty
  const HANDLE h = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DeleteFileA(temp);
    return 0;
  }
  DWORD put = 0;
  bool ok = WriteFile(h, data, n, &put, nullptr) && put == n && FlushFileBuffers(h);
  ok = CloseHandle(h) && ok;
  ok = ok && MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileA(temp);
  return ok ? 1 : 0;
}

namespace {
// The system's text for error, without its line end.
void reason(char* why, uint32_t size, DWORD error) {
  if (!why || !size) return;
  why[0] = 0;
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, why, size, nullptr))
    std::snprintf(why, size, "error %lu", error);
  for (char* p = why; *p; p++) {
    if (*p == '\r' || *p == '\n') *p = 0;
  }
}
}  // namespace

PlatHandle platFileCreateBeside(const char* path, char* tempPath, uint32_t tempSize, char* why, uint32_t whySize) {
  // A folder cannot be replaced by a file, nor is a device written as one.
  const DWORD attrs = GetFileAttributesA(path);
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    reason(why, whySize, ERROR_ACCESS_DENIED);
    return kInvalidHandle;
  }
  char folder[MAX_PATH * 4];
  const char* cut = std::strrchr(path, '\\');
  if (const char* slash = std::strrchr(path, '/'); slash && (!cut || slash > cut)) cut = slash;
  if (cut) {
    const size_t n = static_cast<size_t>(cut - path) + 1;
    if (n >= sizeof folder) {
      reason(why, whySize, ERROR_FILENAME_EXCED_RANGE);
      return kInvalidHandle;
    }
    std::memcpy(folder, path, n);
    folder[n] = 0;
  } else {
    std::strcpy(folder, ".");
  }
  if (tempSize < MAX_PATH) {
    reason(why, whySize, ERROR_INSUFFICIENT_BUFFER);
    return kInvalidHandle;
  }
  // A name of its own in that folder, made there (so it is on the same disk).
  if (!GetTempFileNameA(folder, "zel", 0, tempPath)) {
    reason(why, whySize, GetLastError());
    return kInvalidHandle;
  }
  const HANDLE h = CreateFileA(tempPath, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reason(why, whySize, GetLastError());
    DeleteFileA(tempPath);
    return kInvalidHandle;
  }
  return hp(h);
}

int platFileFlush(PlatHandle h) { return FlushFileBuffers(h32(h)) ? 1 : 0; }

int platFileRenameOver(const char* tempPath, const char* path, char* why, uint32_t whySize) {
  if (MoveFileExA(tempPath, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 1;
  reason(why, whySize, GetLastError());
  return 0;
}

void platFileRemove(const char* path) { DeleteFileA(path); }

void platFileErrorText(char* why, uint32_t whySize) { reason(why, whySize, GetLastError()); }

uint32_t platSearchExecutable(const char* name, char* buf, uint32_t len) {
  return SearchPathA(nullptr, name, nullptr, len, buf, nullptr);
}

int platIsPathSeparator(char c) { return c == '\\'; }

int platFolderKeepsFiles(const char* dir) {
  // Folder permissions on Windows are access lists: only creating a file
  // tells whether this user may write there (Program Files: not without
  // elevation). A name of this process's own, gone again when closed.
  char probe[MAX_PATH + 32];
  if (wsprintfA(probe, "%s~ZELTO%lu.TMP", dir ? dir : "", GetCurrentProcessId()) <= 0) return 0;
  const HANDLE h = CreateFileA(probe, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(h);
  return 1;
}

uint32_t platUserFolder(char* buf, uint32_t len) {
  char appData[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("APPDATA", appData, sizeof appData);
  if (n == 0 || n >= sizeof appData) return 0;
  char dir[MAX_PATH + 8];
  const int m = wsprintfA(dir, "%s\\Zelto", appData);
  if (m <= 0) return 0;
  CreateDirectoryA(dir, nullptr);
  const DWORD attr = GetFileAttributesA(dir);
  if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_DIRECTORY)) return 0;
  const uint32_t need = static_cast<uint32_t>(m) + 1;   // with the backslash
  if (need + 1 > len) return need + 1;
  std::memcpy(buf, dir, static_cast<size_t>(m));
  buf[m] = '\\';
  buf[m + 1] = 0;
  return need;
}

PlatHandle platFileCreateNew(const char* path) { return onlyDiskFile(path, GENERIC_WRITE, CREATE_NEW); }

int platFileRenameNew(const char* from, const char* to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails on a name taken.
  if (MoveFileExA(from, to, MOVEFILE_COPY_ALLOWED)) return 1;
  const DWORD e = GetLastError();
  return e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ? 0 : -1;
}

int platFileDelete(const char* path) { return DeleteFileA(path) ? 1 : 0; }

uint32_t platDownloadFolder(char* buf, uint32_t len) {
  PWSTR wide = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_Downloads, KF_FLAG_CREATE, nullptr, &wide))) return 0;
  char dir[MAX_PATH];
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, dir, sizeof dir, nullptr, nullptr);
  CoTaskMemFree(wide);
  if (n <= 1) return 0;
  const uint32_t m = static_cast<uint32_t>(n - 1);   // without the zero
  if (m + 2 > len) return m + 2;
  std::memcpy(buf, dir, m);
  buf[m] = '\\';
  buf[m + 1] = 0;
  return m + 1;
}
