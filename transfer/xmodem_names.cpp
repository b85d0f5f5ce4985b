// The names of received files: what the device gives is reduced to a plain
// name inside the receive folder, written under a temporary name, and named
// at the end without ever taking the place of a file.
#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "transfer/xmodem_internal.h"

namespace xmodem {

namespace {

constexpr size_t kNameMax = 200;

bool sameUpper(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; i++) {
    char c = a[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c != b[i]) return false;
  }
  return true;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices on Windows, with any
// extension: "nul.txt" is the device too.
bool deviceName(const char* name) {
  size_t stem = 0;
  while (name[stem] && name[stem] != '.') stem++;
  static const char* const kThree[] = {"CON", "PRN", "AUX", "NUL"};
  if (stem == 3) {
    for (const char* d : kThree) {
      if (sameUpper(name, d, 3)) return true;
    }
  }
  return stem == 4 && (sameUpper(name, "COM", 3) || sameUpper(name, "LPT", 3)) && name[3] >= '1' && name[3] <= '9';
}

}  // namespace

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; p++) {
    if (*p == '/' || *p == '\\' || *p == ':') base = p + 1;
  }
  return base;
}

bool PlainName(const char* raw, char* out, size_t size) {
  const char* base = BaseName(raw);
  size_t n = std::strlen(base);
  while (n > 0 && (base[n - 1] == '.' || base[n - 1] == ' ')) n--;
  if (n == 0 || n > kNameMax || n + 1 > size) return false;
  for (size_t i = 0; i < n; i++) {
    const unsigned char c = static_cast<unsigned char>(base[i]);
    if (c < 0x20 || c == 0x7F || std::strchr("<>\"|?*", c)) return false;
  }
  std::memcpy(out, base, n);
  out[n] = 0;
  if (std::strcmp(out, ".") == 0 || std::strcmp(out, "..") == 0) return false;
  return !deviceName(out);
}

void ShownName(const char* raw, char* out, size_t size) {
  size_t n = 0;
  for (const char* p = raw; *p && n + 4 < size && n < 60; p++) {
    const unsigned char c = static_cast<unsigned char>(*p);
    out[n++] = c < 0x20 || c == 0x7F ? '?' : *p;
  }
  if (raw[n] && n + 4 < size) {
    std::memcpy(out + n, "...", 3);
    n += 3;
  }
  out[n] = 0;
}

PlatHandle CreateTemp(const char* folder, const char* name, char* tmp, size_t size) {
  for (int i = 0; i < 100; i++) {
    const int n = i == 0 ? std::snprintf(tmp, size, "%s%s.zelto-part", folder, name)
                         : std::snprintf(tmp, size, "%s%s.%d.zelto-part", folder, name, i);
    if (n <= 0 || static_cast<size_t>(n) >= size) return kInvalidHandle;
    const PlatHandle h = platFileCreateNew(tmp);
    if (h != kInvalidHandle) return h;
  }
  return kInvalidHandle;
}

bool PlaceFile(const char* tmp, const char* folder, const char* name, char* final, size_t size) {
  const char* dot = std::strrchr(name, '.');
  // A leading dot starts a name, it is no extension.
  if (dot == name) dot = nullptr;
  const int stem = dot ? static_cast<int>(dot - name) : static_cast<int>(std::strlen(name));
  const char* ext = dot ? dot : "";
  for (int i = 0; i < 1000; i++) {
    const int n = i == 0 ? std::snprintf(final, size, "%s%s", folder, name)
                         : std::snprintf(final, size, "%s%.*s (%d)%s", folder, stem, name, i, ext);
    if (n <= 0 || static_cast<size_t>(n) >= size) return false;
    const int r = platFileRenameNew(tmp, final);
    if (r == 1) return true;
    if (r < 0) return false;
  }
  return false;
}

uint16_t Crc16(const uint8_t* p, int n) {
  uint16_t crc = 0;
  for (int i = 0; i < n; i++) {
    crc = static_cast<uint16_t>(crc ^ (p[i] << 8));
    for (int b = 0; b < 8; b++) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

uint8_t Sum8(const uint8_t* p, int n) {
  uint8_t sum = 0;
  for (int i = 0; i < n; i++) sum = static_cast<uint8_t>(sum + p[i]);
  return sum;
}

}  // namespace xmodem
