// VT100 emulation's way to the device: the emulator's answers and the keys' sequences into the transmit buffer, typed characters in the device's character set, and raw display's hint.
#include <cstring>

#include "display/charset.h"
#include "display/screen.h"
#include "display/vt_internal.h"
#include "display/vt_screen.h"
#include "link/connection.h"
#include "settings/globals.h"
#include "settings/options.h"

const char kVtHint[] = "\r-The device sends VT100 sequences: Config > VT100 Emulation shows them-\r";

namespace {

bool gHintShown = false;   // this connection has had the hint
bool gEscLast = false;     // the last received byte was ESC

// Windows-1252's characters for 0x80..0x9F (the front ends' ANSI bytes);
// 0 where it has none.
const uint16_t kAnsi80[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                              0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                              0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

bool VtHintDue(const uint8_t* data, int32_t len) {
  if (gHintShown || len <= 0 || gfHexPrint.load(std::memory_order_relaxed)) return false;
  bool found = gEscLast && data[0] == '[';
  for (const uint8_t* p = data; !found;) {
    const void* esc = std::memchr(p, 0x1B, static_cast<size_t>(data + len - p));
    if (!esc) break;
    p = static_cast<const uint8_t*>(esc) + 1;
    found = p < data + len && *p == '[';
  }
  gEscLast = data[len - 1] == 0x1B;
  if (found) gHintShown = true;
  return found;
}

void VtNewConnection() {
  ScopedLock hold(ScreenLock());
  gHintShown = false;
  gEscLast = false;
}

void VtSendAnswers(bool typed) {
  uint8_t out[kTxBufSize];
  int32_t n;
  {
    ScopedLock hold(ScreenLock());
    n = VtTakeOutput(out, kTxBufSize);
  }
  if (n <= 0 || !gfConnected) return;
  if (typed) {
    for (int32_t i = 0; i < n; i++) sendCommByte(out[i]);
    return;
  }
  // Whole, so no other byte lands inside an answer; where the buffer has
  // no room for it the overflow is told as for any byte.
  if (AppendTransferBytes(out, n, true)) return;
  for (int32_t i = 0; i < n; i++) sendCommByte(out[i], true);
}

int VtCharBytes(int ch, uint8_t out[4]) {
  ch &= 0xFF;
  if (ch == 8) {
    out[0] = gBackspaceSends.load() == kBackspaceBs ? 8 : 0x7F;
    return 1;
  }
  const int32_t set = gVtCharset.load();
  if (ch < 0x80 || set == kVtCharsetLatin1) {
    out[0] = static_cast<uint8_t>(ch);
    return 1;
  }
  const uint32_t u = ch >= 0xA0 ? static_cast<uint32_t>(ch) : kAnsi80[ch - 0x80];
  if (set == kVtCharsetCp437) {
    out[0] = '?';
    for (int b = 0x80; b < 0x100; b++)
      if (kOemChars[b] == u) out[0] = static_cast<uint8_t>(b);
    return 1;
  }
  if (u == 0) {
    out[0] = '?';
    return 1;
  }
  if (u < 0x800) {
    out[0] = static_cast<uint8_t>(0xC0 | (u >> 6));
    out[1] = static_cast<uint8_t>(0x80 | (u & 0x3F));
    return 2;
  }
  out[0] = static_cast<uint8_t>(0xE0 | (u >> 12));
  out[1] = static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F));
  out[2] = static_cast<uint8_t>(0x80 | (u & 0x3F));
  return 3;
}
