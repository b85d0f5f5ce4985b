// The preset file: where it lies, and how the settings map onto its record.
//
// The record has no multi-byte numbers: every setting is one byte or a
// fixed-width string copied whole, so the file reads the same on every
// platform and byte order. Numbers are read back signed, as they were
// written, except the port number and the delimiter.
#include "settings/preset.h"

#include <cstdio>
#include <cstring>

#include "display/screen.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "settings/globals.h"

namespace {

// Offsets of the fields in the record.
enum : int {
  kOffFormat = 0,
  kOffPort = 1,
  kOffBaud = 2,        // rate / 2400
  kOffLocalEcho = 3,
  kOffHexPrint = 4,
  kOffHexEnter = 5,
  kOffUdpMode = 6,
  kOffFontHeight = 7,
  kOffCellWidth = 8,
  kOffCellHeight = 9,
  kOffDelay = 10,
  kOffDelimiter = 11,
  kOffSkipComment = 12,
  kOffCts = 13,
  kOffIP = 14,          // 32 bytes
  kOffRxPort = 46,      // 16
  kOffTxPort = 62,      // 16
  kOffFaceName = 78,    // 32
  kOffSendPath = 110,   // 260
  kOffRecPath = 370,    // 260
};
static_assert(kOffIP + sizeof gszIPString == kOffRxPort);
static_assert(kOffRxPort + sizeof gszRX_PortString == kOffTxPort);
static_assert(kOffTxPort + sizeof gszTX_PortString == kOffFaceName);
static_assert(kOffFaceName + sizeof GlfDISPLAYFont.lfFaceName == kOffSendPath);
static_assert(kOffSendPath + sizeof gszSendPathName == kOffRecPath);
static_assert(kOffRecPath + sizeof gszRecPathName == kPresetRecordSize);

int32_t signedByte(uint8_t b) { return static_cast<int8_t>(b); }

// A string field from a damaged or foreign file may hold no zero within its
// width; every user of the string expects one, so the field's last byte
// becomes the terminator. A well-formed field is kept byte for byte.
void loadString(char* dst, const uint8_t* src, size_t width) {
  std::memcpy(dst, src, width);
  if (!std::memchr(dst, 0, width)) dst[width - 1] = 0;
}

// The program's folder, with its separator, into dir (dirSize bytes).
// Returns 0, dir empty, when the folder and a file name do not fit: the
// files then have no path at all rather than one in the current directory.
// A program that cannot be found leaves dir empty and returns 1, so the
// files are named relative to the current directory.
int programFolder(char* dir, uint32_t dirSize) {
  dir[0] = 0;
  const uint32_t n = platSearchExecutable(gszToolName, dir, dirSize);
  if (n == 0) {
    dir[0] = 0;
    return 1;
  }
  if (n >= dirSize) {
    dir[0] = 0;
    return 0;
  }
  uint32_t keep = n;
  while (keep > 0 && !platIsPathSeparator(dir[keep - 1])) keep--;
  dir[keep] = 0;
  return 1;
}

// path = folder + name, or empty when that does not fit into size bytes.
void composePath(char* path, size_t size, const char* folder, const char* name) {
  const size_t a = std::strlen(folder);
  const size_t b = std::strlen(name);
  std::memset(path, 0, size);
  if (a + b + 1 > size) return;
  for (size_t i = 0; i < a; i++) path[i] = folder[i];
  for (size_t i = 0; i < b; i++) path[a + i] = name[i];   // the zero after them is already there
}

void computePaths() {
  char dir[kPathMax];
  if (!SettingsFolder(dir, sizeof dir)) {
    std::memset(gszPresetPathName, 0, sizeof gszPresetPathName);
    std::memset(gszRecPathName, 0, sizeof gszRecPathName);
    return;
  }
  composePath(gszPresetPathName, sizeof gszPresetPathName, dir, gszPresetName);
  composePath(gszRecPathName, sizeof gszRecPathName, dir, gszDefaultRecName);
}

void buildRecord(uint8_t* rec) {
  std::memset(rec, 0, kPresetRecordSize);
  rec[kOffFormat] = kPresetFormat;
  rec[kOffPort] = gbPort;
  rec[kOffBaud] = static_cast<uint8_t>(gdwBaudRate / 2400u);
  rec[kOffLocalEcho] = static_cast<uint8_t>(gfLocalEcho);
  rec[kOffHexPrint] = static_cast<uint8_t>(gfHexPrint.load());
  rec[kOffHexEnter] = static_cast<uint8_t>(gfHexEnter);
  rec[kOffUdpMode] = static_cast<uint8_t>(gfUdpMode.load());
  rec[kOffFontHeight] = static_cast<uint8_t>(GlfDISPLAYFont.lfHeight);
  rec[kOffCellWidth] = static_cast<uint8_t>(GxChar);
  rec[kOffCellHeight] = static_cast<uint8_t>(GyChar);
  rec[kOffDelay] = static_cast<uint8_t>(gPackDelay.load());
  rec[kOffDelimiter] = static_cast<uint8_t>(gDelimiter.load());
  rec[kOffSkipComment] = static_cast<uint8_t>(gfSkipBigComment.load());
  rec[kOffCts] = static_cast<uint8_t>(gfCtsHandsh);
  std::memcpy(rec + kOffIP, gszIPString, sizeof gszIPString);
  std::memcpy(rec + kOffRxPort, gszRX_PortString, sizeof gszRX_PortString);
  std::memcpy(rec + kOffTxPort, gszTX_PortString, sizeof gszTX_PortString);
  std::memcpy(rec + kOffFaceName, GlfDISPLAYFont.lfFaceName, sizeof GlfDISPLAYFont.lfFaceName);
  std::memcpy(rec + kOffSendPath, gszSendPathName, sizeof gszSendPathName);
  std::memcpy(rec + kOffRecPath, gszRecPathName, sizeof gszRecPathName);
}

// The text that names a damaged preset's reset fields, empty when none was.
char gDamageText[200] = "";

// A number field outside what the program ever writes (a damaged or foreign
// file) is not taken: the setting keeps the value it had, at start-up its
// default, and the field's name is added to the damage text.
class FieldCheck {
 public:
  bool take(bool ok, const char* name) {
    if (!ok) {
      const size_t at = std::strlen(fields_);
      std::snprintf(fields_ + at, sizeof fields_ - at, "%s%s", at ? ", " : "", name);
    }
    return ok;
  }
  void publish() const {
    gDamageText[0] = 0;
    if (fields_[0]) std::snprintf(gDamageText, sizeof gDamageText, "\r-Preset damaged, reset: %s-\r", fields_);
  }

 private:
  char fields_[160] = "";
};

bool isFlag(int32_t v) { return v == 0 || v == 1; }

bool isListedRate(int32_t rate) {
  for (int i = 0; i < 6; i++) {
    if (BaudTable[i] == rate) return true;
  }
  return false;
}

void applyRecord(const uint8_t* rec) {
  FieldCheck check;
  if (check.take(rec[kOffPort] >= 1 && rec[kOffPort] <= 6, "port")) gbPort = rec[kOffPort];
  gbOldPort = gbPort;
  const int32_t rate = signedByte(rec[kOffBaud]) * 2400;
  if (check.take(isListedRate(rate), "baud rate")) gdwBaudRate = static_cast<uint32_t>(rate);
  gdwOldBaudRate = gdwBaudRate;
  if (check.take(isFlag(signedByte(rec[kOffLocalEcho])), "local echo")) gfLocalEcho = signedByte(rec[kOffLocalEcho]);
  if (check.take(isFlag(signedByte(rec[kOffHexPrint])), "hex display")) gfHexPrint = signedByte(rec[kOffHexPrint]);
  if (check.take(isFlag(signedByte(rec[kOffHexEnter])), "hex entry")) gfHexEnter = signedByte(rec[kOffHexEnter]);
  if (check.take(isFlag(signedByte(rec[kOffUdpMode])), "UDP mode")) gfUdpMode = signedByte(rec[kOffUdpMode]);
  const int32_t height = signedByte(rec[kOffFontHeight]);
  if (check.take(height >= -100 && height <= 100, "font height")) GlfDISPLAYFont.lfHeight = height;
  // The cell sizes the window before any font exists, and the view divides
  // by them.
  const int32_t cellW = signedByte(rec[kOffCellWidth]);
  const int32_t cellH = signedByte(rec[kOffCellHeight]);
  if (check.take(cellW >= 1 && cellW <= 64, "cell width")) GxChar = cellW;
  if (check.take(cellH >= 1 && cellH <= 64, "cell height")) GyChar = cellH;
  const int32_t delay = signedByte(rec[kOffDelay]);
  if (check.take(delay >= 0 && delay <= 100, "delay")) gPackDelay = delay;
  gDelimiter = (gDelimiter.load() & ~0xFF) | rec[kOffDelimiter];
  if (check.take(isFlag(signedByte(rec[kOffSkipComment])), "skip comments")) {
    gfSkipBigComment = signedByte(rec[kOffSkipComment]);
  }
  if (check.take(isFlag(signedByte(rec[kOffCts])), "CTS handshake")) gfCtsHandsh = signedByte(rec[kOffCts]);
  gfOldCtsHandsh = gfCtsHandsh;
  loadString(gszIPString, rec + kOffIP, sizeof gszIPString);
  std::memcpy(gszOldIPString, gszIPString, sizeof gszOldIPString);
  loadString(gszRX_PortString, rec + kOffRxPort, sizeof gszRX_PortString);
  loadString(gszTX_PortString, rec + kOffTxPort, sizeof gszTX_PortString);
  loadString(GlfDISPLAYFont.lfFaceName, rec + kOffFaceName, sizeof GlfDISPLAYFont.lfFaceName);
  loadString(gszSendPathName, rec + kOffSendPath, sizeof gszSendPathName);
  loadString(gszRecPathName, rec + kOffRecPath, sizeof gszRecPathName);
  check.publish();
}

}  // namespace

int SettingsFolder(char* dir, uint32_t dirSize) {
  if (!programFolder(dir, dirSize)) return 0;
  if (platFolderKeepsFiles(dir)) return 1;
  // Not writable here (Program Files, /usr/bin): the user's own folder. With
  // none at all, the program's folder stays, and saving there fails quietly.
  char user[kPathMax];
  const uint32_t n = platUserFolder(user, sizeof user);
  if (n == 0) return 1;
  if (n >= sizeof user || n >= dirSize) {
    dir[0] = 0;
    return 0;
  }
  std::memcpy(dir, user, n + 1);
  return 1;
}

int SettingsReadPath(const char* name, char* path, uint32_t size) {
  char dir[kPathMax];
  path[0] = 0;
  if (!SettingsFolder(dir, sizeof dir)) return 0;
  composePath(path, size, dir, name);
  if (!path[0]) return 0;
  const PlatHandle h = platFileOpenRead(path);
  if (h != kInvalidHandle) {
    platFileClose(h);
    return 1;
  }
  // Nothing saved by this user yet: a file that came with the program.
  char own[kPathMax];
  if (!programFolder(own, sizeof own) || std::strcmp(own, dir) == 0) return 1;
  char beside[kPathMax];
  composePath(beside, sizeof beside, own, name);
  const PlatHandle b = beside[0] ? platFileOpenRead(beside) : kInvalidHandle;
  if (b == kInvalidHandle) return 1;
  platFileClose(b);
  composePath(path, size, own, name);
  return path[0] ? 1 : 0;
}

const char* PresetDamageText() { return gDamageText; }

int LoadPreset() {
  gDamageText[0] = 0;
  computePaths();
  if (!gszPresetPathName[0]) return 0;
  char readPath[kPathMax];
  if (!SettingsReadPath(gszPresetName, readPath, sizeof readPath)) return 0;
  const PlatHandle h = platFileOpenRead(readPath);
  if (h == kInvalidHandle) return 0;
  uint8_t rec[kPresetRecordSize] = {};
  uint32_t have = 0;
  // Only the first 630 bytes are ever read; a longer file is accepted.
  while (have < sizeof rec) {
    uint32_t got = 0;
    if (!platFileRead(h, rec + have, sizeof rec - have, &got) || got == 0) break;
    have += got;
  }
  platFileClose(h);
  if (have < sizeof rec || rec[kOffFormat] != kPresetFormat) return 0;
  applyRecord(rec);
  return 1;
}

namespace {
// Save Setup that could not write says so: the box, and on the screen where
// it meant to write.
int saveFailed(WindowHandle owner) {
  platMessageBox(owner, "Preset Write Error!", nullptr, kIconWarning);
  char text[kPathMax + 40];
  std::snprintf(text, sizeof text, "\r-Setup not saved to %s-\r",
                gszPresetPathName[0] ? gszPresetPathName : "(no folder for the preset)");
  WriteDISPLAYStatus(text);
  return 0;
}
}  // namespace

int SavePreset(WindowHandle owner) {
  if (!gszPresetPathName[0]) return saveFailed(owner);
  uint8_t rec[kPresetRecordSize];
  buildRecord(rec);
  // The old preset stays whole until the new one is: never a part record.
  if (!platFileReplace(gszPresetPathName, rec, sizeof rec)) return saveFailed(owner);
  return 1;
}
