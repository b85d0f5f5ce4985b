// Keyboard entry: raw bytes, the hex-entry state machine, local echo and the CTS gate.
#include "display/keyboard.h"

#include <cstdint>

#include "display/screen.h"
#include "display/vt_screen.h"
#include "link/connection.h"
#include "link/serial.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "transfer/transfer.h"

namespace {

constexpr int kLineFeed = 10;

int isSeparator(int ch) { return ch == ' ' || ch == '\r'; }

void sendAndEcho(uint8_t byte) {
  sendCommByte(byte);
  // Echoed whatever the transmit buffer said: the user sees what was typed.
  if (gfLocalEcho) WriteDISPLAYBlock(&byte, 1);
}

void resetPending() {
  gNibbleCount = 0;
  gTxByte = 0;
}

int takeByte() {
  const uint8_t byte = gTxByte;
  resetPending();
  return byte;
}

// A character that cannot continue the pending byte discards it. The "?" is
// shown even without local echo, so the user knows the byte was thrown away.
void reject() {
  static const uint8_t kQuestion = '?';
  WriteDISPLAYBlock(&kQuestion, 1);
}

}  // namespace

int DISPLAYHexEntry(int ch) {
  if (ch == kLineFeed) return kHexPending;   // Ctrl+Enter neither ends nor spoils a byte
  const int digit = HexDigitValue(ch);
  switch (gNibbleCount) {
    case 0:
      if (digit < 0) break;
      gTxByte = static_cast<uint8_t>(digit);
      gNibbleCount = 1;
      return kHexPending;
    case 1:
      if (isSeparator(ch)) return takeByte();
      if (digit < 0) break;
      gTxByte = static_cast<uint8_t>(gTxByte * 16 + digit);
      gNibbleCount = 2;
      return kHexPending;
    default:
      // A third digit is no byte of two digits: the whole entry is refused.
      if (isSeparator(ch)) return takeByte();
      break;
  }
  resetPending();
  return kHexRejected;
}

namespace {

// Whether a typed key may go out now.
bool keyMayGo() {
  if (!gfConnected) return false;
  if (TransferRefusesKeys()) return false;   // it would land inside a transfer's bytes
  // During a file send the file's own pacing decides; typing joins it.
  return !(gfUdpMode == 0 && gfCtsHandsh && gfSendFileOpen == 0 && !CheckModemState());
}

}  // namespace

int ProcessDISPLAYKey(WindowHandle /*hwnd*/, int key, int mods) {
  if (!VtShowing()) return 0;
  if (!keyMayGo()) return 1;
  {
    ScopedLock hold(ScreenLock());
    VtQueueKey(key, mods);
  }
  VtSendAnswers(true);
  return 1;
}

int ProcessDISPLAYCharacter(WindowHandle /*hwnd*/, int ch) {
  if (!keyMayGo()) return 1;
  ch &= 0xFF;
  if (!gfHexEnter) {
    // In VT100 emulation Backspace and characters beyond ASCII send what
    // the device takes (backspace_sends, vt_charset); Enter is as ever.
    if (ch != '\r' && VtShowing()) {
      uint8_t bytes[4];
      const int n = VtCharBytes(ch, bytes);
      for (int i = 0; i < n; i++) sendCommByte(bytes[i]);
      if (gfLocalEcho) WriteDISPLAYBlock(bytes, n);
      return 1;
    }
    if (ch == '\r') {
      uint8_t enter[2];
      const int n = EnterBytes(enter);
      for (int i = 0; i < n; i++) sendAndEcho(enter[i]);
      return 1;
    }
    sendAndEcho(static_cast<uint8_t>(ch));
    return 1;
  }
  const int r = DISPLAYHexEntry(ch);
  if (r >= 0) sendAndEcho(static_cast<uint8_t>(r));
  if (r == kHexRejected) reject();
  return 1;
}
