// The serial link: opening a COM port 8N1 at the chosen rate, the modem-line
// check, and the never-waiting receive poll.
#include "link/serial.h"

#include <cstdio>

#include "display/screen.h"
#include "link/connection.h"
#include "platform/msgbox.h"
#include "platform/thread.h"

PlatHandle ghCom = kInvalidHandle;
CommTimeouts gTimeouts = {};
Flag32 gfDtrOn{1};
Flag32 gfRtsOn{1};

namespace {

// The mode text for a rate of the baud list; a single blank for any other.
const char* modeText(uint32_t rate) {
  switch (rate) {
    case 9600: return "baud=9600 parity=N data=8 stop=1";
    case 19200: return "baud=19200 parity=N data=8 stop=1";
    case 38400: return "baud=38400 parity=N data=8 stop=1";
    case 57600: return "baud=57600 parity=N data=8 stop=1";
    case 115200: return "baud=115200 parity=N data=8 stop=1";
    case 230400: return "baud=230400 parity=N data=8 stop=1";
    default: return " ";
  }
}

// Guards ghCom where the user-interface thread reads it (the modem-line
// check, the purge of a close) against the worker letting a lost port go or
// putting the reopened one in. Held only for single platform calls.
CoreLock& handleLock() {
  static CoreLock lock;
  return lock;
}

// What the open port was opened with, for reopening it when its device is back.
struct OpenedWith {
  char name[5];
  uint32_t rate;
  int cts;
};
OpenedWith gOpened = {"COM1", 0, 0};
Flag32 gfComLost{0};
int64_t gNextRetryUs = 0;
constexpr int64_t kRetryUs = 200000;   // a returning device is found within a fifth of a second
char gLostText[24] = "";
char gBackText[24] = "";

void dropPort() {
  ScopedLock hold(handleLock());
  platSerialClose(ghCom);
  ghCom = kInvalidHandle;
}

// Opens and sets up the port: exclusive access, the timeouts, the line
// settings, both queues emptied. kInvalidHandle when any step fails.
PlatHandle openPort(const OpenedWith& with) {
  const PlatHandle h = platSerialOpen(with.name);
  if (h == kInvalidHandle) return h;
  gfDtrOn = 1;
  gfRtsOn = 1;
  gTimeouts.ReadIntervalTimeout = 0xFFFFFFFFu;
  gTimeouts.ReadTotalTimeoutMultiplier = 0;
  gTimeouts.ReadTotalTimeoutConstant = 0;
  gTimeouts.WriteTotalTimeoutMultiplier = 1;
  gTimeouts.WriteTotalTimeoutConstant = 3000;
  const char* mode = modeText(with.rate);
  // A rate outside the list (only a preset file can hold one) would leave the
  // line at whatever the port had before: refuse it, so the user is told.
  bool ok = platSerialSetTimeouts(h, &gTimeouts) && mode[0] != ' ';
  if (ok) {
    platSerialSetFlowControl(1, 1, with.cts);
    ok = platSerialBuildState(mode) && platSerialApplyState(h);
  }
  if (!ok) {
    platSerialClose(h);
    return kInvalidHandle;
  }
  platSerialPurge(h, kPurgeTxClear | kPurgeRxClear);
  return h;
}

}  // namespace

int openCOM() {
  OpenedWith with = {"COM1", gdwBaudRate, gfCtsHandsh == 1 ? 1 : 0};
  with.name[3] = static_cast<char>('0' + gbPort);

  if (ghCom != kInvalidHandle) dropPort();
  gfComLost = 0;
  const PlatHandle h = openPort(with);
  if (h == kInvalidHandle) return 0;
  {
    ScopedLock hold(handleLock());
    ghCom = h;
  }
  gOpened = with;
  std::snprintf(gLostText, sizeof gLostText, "\r-%s lost-\r", with.name);
  // Nothing arrives while the device is away: the lost text left the
  // cursor at the start of a line.
  std::snprintf(gBackText, sizeof gBackText, "-%s back-\r", with.name);
  EmptyCommTxBuffer();
  // Which device the port is: on Linux the COM number is the program's own
  // naming of the devices found.
  char opened[320];
  std::snprintf(opened, sizeof opened, "\r-%s is %s, %u baud-\r", with.name, platSerialOpenedDevice(),
                static_cast<unsigned>(with.rate));
  WriteDISPLAYStatus(opened);
  CheckModemState();
  gfComOpen = 1;
  return 1;
}

void closeCOM() {
  if (ghCom != kInvalidHandle) dropPort();
  gfComLost = 0;
  gfComOpen = 0;
}

void purgeCOM() {
  ScopedLock hold(handleLock());
  if (ghCom != kInvalidHandle) {
    platSerialPurge(ghCom, kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear);
  }
}

int SerialLinkLost() { return gfComLost.load(); }

int SerialMarkLostIfGone() {
  if (ghCom == kInvalidHandle || !platSerialDeviceGone(ghCom)) return 0;
  // The handle is let go at once, so nothing spins on it.
  dropPort();
  gNextRetryUs = platMonotonicUs() + kRetryUs;
  gfComLost = 1;
  return 1;
}
const char* SerialLostText() { return gLostText; }
const char* SerialBackText() { return gBackText; }

int RetryLostCOM() {
  if (!gfComLost) return 1;
  const int64_t now = platMonotonicUs();
  if (now < gNextRetryUs) return 0;
  gNextRetryUs = now + kRetryUs;
  const PlatHandle h = openPort(gOpened);
  if (h == kInvalidHandle) return 0;
  {
    ScopedLock hold(handleLock());
    ghCom = h;
  }
  EmptyCommTxBuffer();
  gfComLost = 0;
  return 1;
}

int CheckModemState() {
  if (gfUdpMode == 1 || gfCtsHandsh == 0) return 1;
  uint32_t lines = 0;
  {
    ScopedLock hold(handleLock());
    if (!platSerialModemStatus(ghCom, &lines)) lines = 0;
  }
  // Any of the four lines counts: cables that carry DSR or carrier but no
  // CTS pass.
  if (lines & (kModemCts | kModemDsr | kModemRing | kModemRlsd)) return 1;
  platMessageBox(ghDISPLAYWnd.load(),
                 "Warning: CTS line is down!\ncannot send data\ndisable CTS handshake or change cable",
                 gszAppName, kIconWarning);
  return 0;
}

uint32_t receiveCommBlock(WindowHandle /*w*/, uint8_t* buf, uint32_t size) {
  uint32_t waiting = 0;
  if (ghCom == kInvalidHandle) return 0;
  if (!platSerialClearErrors(ghCom, &waiting)) {
    // The port no longer answers even the queue query: its device may be gone.
    SerialMarkLostIfGone();
    return 0;
  }
  uint32_t n = waiting < size ? waiting : size;
  if (n != 0) {
    uint32_t got = 0;
    if (!platSerialRead(ghCom, buf, n, &got)) got = 0;
    n = got;
  }
  return n;
}

int32_t writeCommBlock(const uint8_t* buf, uint32_t n) {
  uint32_t put = 0;
  if (!platSerialWrite(ghCom, buf, n, &put)) return -1;
  return static_cast<int32_t>(put);
}

int ModemControlAvailable() { return gfUdpMode == 0 && gfComOpen == 1 ? 1 : 0; }

void SetModemLine(int line, int on) {
  if (!ModemControlAvailable()) return;
  (line == kLineDtr ? gfDtrOn : gfRtsOn) = on ? 1 : 0;
  ScopedLock hold(handleLock());
  if (ghCom != kInvalidHandle) platSerialSetLine(ghCom, line, on);
}

int SerialSetBreak(int on) {
  ScopedLock hold(handleLock());
  if (ghCom == kInvalidHandle) return 0;
  platSerialBreak(ghCom, on);
  return 1;
}

int ReadModemLines(uint32_t* lines) {
  *lines = 0;
  ScopedLock hold(handleLock());
  return ghCom != kInvalidHandle && platSerialModemStatus(ghCom, lines) ? 1 : 0;
}
