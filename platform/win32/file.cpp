// Win32 files: CreateFileA with no sharing, ReadFile, WriteFile, SearchPathA.
#include <windows.h>

#include <cstring>

#include "platform/file.h"

namespace {
HANDLE h32(PlatHandle h) { return reinterpret_cast<HANDLE>(h); }
PlatHandle hp(HANDLE h) { return reinterpret_cast<PlatHandle>(h); }
}  // namespace

PlatHandle platFileOpenRead(const char* path) {
  return hp(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

PlatHandle platFileCreate(const char* path) {
  return hp(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

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
