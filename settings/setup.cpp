// The Setup dialog's rules: filling its controls from the settings, and Ok,
// which stores them and reopens the link when a setting of the open link
// kind changed.
#include "settings/setup.h"

#include "link/udp.h"

#include <cstdio>
#include <cstring>

#include "link/connection.h"
#include "link/serial.h"
#include "platform/msgbox.h"
#include "settings/globals.h"
#include "settings/serial_options.h"
#include "transfer/transfer.h"

namespace {

// A control's text into a string setting: whole, terminated within the
// setting's width, the rest zero. src is a control field of srcWidth bytes
// that need not be terminated.
void storeText(char* dst, size_t dstWidth, const char* src, size_t srcWidth) {
  const void* end = std::memchr(src, 0, srcWidth);
  size_t n = end ? static_cast<size_t>(static_cast<const char*>(end) - src) : srcWidth;
  if (n > dstWidth - 1) n = dstWidth - 1;
  std::memmove(dst, src, n);
  std::memset(dst + n, 0, dstWidth - n);
}

void showDelimiter(char* text, size_t width, int32_t value) {
  std::snprintf(text, width, "%02X", static_cast<unsigned>(value & 0xFF));
}

}  // namespace

int32_t SetupFindListEntry(const int32_t* table, int count, int32_t current) {
  int32_t sel = -1;
  for (int i = 0; i < count; i++) {
    if (table[i] == current) sel = i;
  }
  return sel;
}

int SetupParseDelimiter(const char* text, int32_t* value) {
  const int hi = HexDigitValue(text[0]);
  if (hi < 0) return 0;
  if (text[1] == 0) {
    *value = hi;
    return 1;
  }
  const int lo = HexDigitValue(text[1]);
  if (lo < 0) return 0;
  *value = hi * 16 + lo;
  return 1;
}

void SetupControlsFromSettings(SetupControls* c) {
  std::memset(c, 0, sizeof *c);
  std::memset(gszDelimString, 0, sizeof gszDelimString);
  showDelimiter(gszDelimString, sizeof gszDelimString, gDelimiter);
  std::memcpy(c->delimText, gszDelimString, sizeof c->delimText);
  c->skipComment = gfSkipBigComment != 0;
  c->delaySel = SetupFindListEntry(DelayTable, kDelayEntries, gPackDelay);
  c->delayValue = c->delaySel >= 0 ? DelayTable[c->delaySel] : -1;
  // The port and rate in use: no port entry while the [serial] device
  // chooses the port, no rate entry for a rate the list lacks.
  const int32_t port = SerialSetupPortShown();
  c->portSel = port >= 1 && port <= kPortEntries ? port - 1 : -1;
  c->baudSel = SetupFindListEntry(BaudTable, kBaudEntries, static_cast<int32_t>(SerialSetupRateShown()));
  c->baudValue = c->baudSel >= 0 ? BaudTable[c->baudSel] : -1;
  c->cts = gfCtsHandsh != 0;
  storeText(c->ipText, sizeof c->ipText, gszIPString, sizeof gszIPString);
  storeText(c->rxPortText, sizeof c->rxPortText, gszRX_PortString, sizeof gszRX_PortString);
  storeText(c->txPortText, sizeof c->txPortText, gszTX_PortString, sizeof gszTX_PortString);
  c->udp = gfUdpMode != 0;
  c->localEcho = gfLocalEcho != 0;
  c->hexPrint = gfHexPrint != 0;
  c->hexEnter = gfHexEnter != 0;
}

int SetupStoreControls(SetupControls* c) {
  int reopen = 0;

  // The old link is closed while its kind still says how to close it.
  const int32_t udp = c->udp ? 1 : 0;
  if (udp != gfUdpMode) {
    if (gfConnected) closeConnection();
    gfUdpMode = udp;
    reopen = 1;
  }
  const bool serial = udp == 0;

  SerialSetCtsHandshake(c->cts);
  if (serial && gfCtsHandsh != gfOldCtsHandsh) reopen = 1;

  storeText(gszDelimString, sizeof gszDelimString, c->delimText, sizeof c->delimText);
  int32_t delim = 0;
  if (SetupParseDelimiter(gszDelimString, &delim)) {
    gDelimiter = (gDelimiter & ~0xFF) | delim;
    showDelimiter(gszDelimString, sizeof gszDelimString, delim);
    std::memcpy(c->delimText, gszDelimString, sizeof c->delimText);
  } else {
    platMessageBox(ghDISPLAYWnd.load(), "Delimiter no valid Hex Number\n   --- left unchanged ---", gszAppName,
                   kIconWarning);
  }

  // A list with no selection stands for a port or rate the [serial] options
  // chose, or a preset value that no entry has: the setting stays as it
  // was rather than becoming port 0 or rate -1. An entry chosen takes over.
  if (c->portSel >= 0) SerialSetupPortChosen(c->portSel + 1);
  if (serial && gbPort != gbOldPort) reopen = 1;

  if (c->baudSel >= 0) SerialSetupRateChosen(static_cast<uint32_t>(c->baudValue));
  if (serial && (gdwBaudRate != gdwOldBaudRate || SerialSettingsChanged())) reopen = 1;

  if (c->delaySel >= 0) gPackDelay = c->delayValue;
  gfSkipBigComment = c->skipComment ? 1 : 0;

  storeText(gszIPString, sizeof gszIPString, c->ipText, sizeof c->ipText);
  if (!serial && std::strcmp(gszIPString, gszOldIPString) != 0) reopen = 1;

  // The ports are compared as the numbers the open link uses, so "09000"
  // is the same port as "9000".
  storeText(gszRX_PortString, sizeof gszRX_PortString, c->rxPortText, sizeof c->rxPortText);
  const int32_t rx = PortTextToNumber(gszRX_PortString);
  if (!serial && rx != gRX_PortNum) {
    gRX_PortNum = rx;
    reopen = 1;
  }
  storeText(gszTX_PortString, sizeof gszTX_PortString, c->txPortText, sizeof c->txPortText);
  const int32_t tx = PortTextToNumber(gszTX_PortString);
  if (!serial && tx != gTX_PortNum) {
    gTX_PortNum = tx;
    reopen = 1;
  }

  gfLocalEcho = c->localEcho ? 1 : 0;
  gfHexPrint = c->hexPrint ? 1 : 0;
  gfHexEnter = c->hexEnter ? 1 : 0;
  if (gfHexEnter) {
    // A half-typed hexadecimal byte is dropped.
    gNibbleCount = 0;
    gTxByte = 0;
  }
  return reopen;
}

namespace {
// An Ok under way: its close and open may show message boxes, under which
// the dialog could otherwise be confirmed again.
bool gOkRunning = false;
}  // namespace

int SetupOkRunning() { return gOkRunning ? 1 : 0; }

int SetupRefusedDuringTransfer(WindowHandle w) {
  if (!TransferBusy() && !gfRecFileOpen) return 0;
  platMessageBox(w, "First terminate\nFile Transfer !", gszAppName, kIconWarning);
  return 1;
}

void SetupReopenLink(int reopen) {
  if (gOkRunning) return;
  // A link that is not open (it could not be opened, or its device is gone)
  // is opened by Ok even when no setting changed.
  if (!reopen && gfConnected && !(gfUdpMode == 0 && SerialLinkLost())) return;
  gOkRunning = true;
  if (gfConnected) closeConnection();
  // The Old copies take the new values even if the open fails, so a later
  // Ok without a change does not try again.
  gfOldCtsHandsh = gfCtsHandsh;
  gbOldPort = gbPort;
  gdwOldBaudRate = gdwBaudRate;
  std::memcpy(gszOldIPString, gszIPString, sizeof gszOldIPString);
  openConnection();
  gOkRunning = false;
}
