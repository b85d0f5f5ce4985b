// The serial link: opening a port at the chosen rate and framing, the
// modem-line check, and the never-waiting receive poll.
#include "link/serial.h"

#include <cstdio>
#include <cstring>

#include "display/screen.h"
#include "link/connection.h"
#include "platform/msgbox.h"
#include "platform/thread.h"
#include "settings/serial_options.h"

PlatHandle ghCom = kInvalidHandle;
CommTimeouts gTimeouts = {};
Flag32 gfDtrOn{1};
Flag32 gfRtsOn{1};

namespace {

// Guards ghCom where the user-interface thread reads it (the modem-line
// check, the purge of a close) against the worker letting a lost port go or
// putting the reopened one in. Held only for single platform calls.
CoreLock& handleLock() {
  static CoreLock lock;
  return lock;
}

// What the last open asked for (its failure names it), and what the open
// port was opened with, for reopening it when its device is back.
SerialLine gAsked = {};
SerialLine gOpened = {};
Flag32 gfComLost{0};
int64_t gNextRetryUs = 0;
constexpr int64_t kRetryUs = 200000;   // a returning device is found within a fifth of a second
char gLostText[kSerialNameMax + 16] = "";
char gBackText[kSerialNameMax + 16] = "";

void dropPort() {
  ScopedLock hold(handleLock());
  platSerialClose(ghCom);
  ghCom = kInvalidHandle;
}

// Opens and sets up the port: exclusive access, the timeouts, the line
// settings, both queues emptied. kInvalidHandle when any step fails.
PlatHandle openPort(const SerialLine& with, bool valid = true) {
  const PlatHandle h = platSerialOpen(with.name);
  if (h == kInvalidHandle) return h;
  gfDtrOn = 1;
  gfRtsOn = 1;
  gTimeouts.ReadIntervalTimeout = 0xFFFFFFFFu;
  gTimeouts.ReadTotalTimeoutMultiplier = 0;
  gTimeouts.ReadTotalTimeoutConstant = 0;
  gTimeouts.WriteTotalTimeoutMultiplier = 1;
  gTimeouts.WriteTotalTimeoutConstant = 3000;
  char mode[80];
  SerialModeText(with, mode, sizeof mode);
  bool ok = valid && platSerialSetTimeouts(h, &gTimeouts);
  if (ok) {
    platSerialSetFlowControl(1, 1, with.flow == kFlowRtsCts, with.flow == kFlowXonXoff);
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
  SerialLine with;
  // A rate outside the preset's list (only a damaged preset holds one), or
  // a framing no port takes, would leave the line at whatever the port had
  // before: refused, so the user is told.
  const bool valid = SerialLineFromSettings(&with) != 0;
  gAsked = with;

  if (ghCom != kInvalidHandle) dropPort();
  gfComLost = 0;
  const PlatHandle h = openPort(with, valid);
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
  // Which device the port is (on Linux the COM number is the program's own
  // naming of the devices found), and the framing and flow control when
  // they are not the preset's 8N1 without a handshake.
  char is[kSerialNameMax + 8] = "";
  if (std::strcmp(with.name, platSerialOpenedDevice()) != 0) {
    std::snprintf(is, sizeof is, " is %s", platSerialOpenedDevice());
  }
  char framing[8];
  SerialFramingText(with, framing, sizeof framing);
  const char* flow = with.flow == kFlowXonXoff ? ", XON/XOFF" : with.flow == kFlowRtsCts ? ", CTS handshake" : "";
  char opened[2 * kSerialNameMax + 80];
  std::snprintf(opened, sizeof opened, "\r-%s%s, %u baud%s%s%s-\r", with.name, is, static_cast<unsigned>(with.rate),
                std::strcmp(framing, "8N1") != 0 ? " " : "", std::strcmp(framing, "8N1") != 0 ? framing : "", flow);
  WriteDISPLAYStatus(opened);
  CheckModemState();
  gfComOpen = 1;
  return 1;
}

const char* SerialAskedName() { return gAsked.name; }

uint32_t SerialAskedRate() { return gAsked.rate; }

int SerialSettingsChanged() {
  if (!gAsked.name[0]) return 0;   // no port asked for since the last close
  SerialLine now;
  SerialLineFromSettings(&now);
  return SerialSameLine(now, gAsked) ? 0 : 1;
}

void SerialStatusText(char* buf, size_t size) {
  // The settings in use while open, those that a reopen will ask for else.
  SerialLine line;
  if (gfComOpen) {
    line = gOpened;
  } else {
    SerialLineFromSettings(&line);
  }
  char text[40];
  SerialLineText(line, text, sizeof text);
  std::snprintf(buf, size, "%s %s", line.name, text);
}

void closeCOM() {
  if (ghCom != kInvalidHandle) dropPort();
  gfComLost = 0;
  gfComOpen = 0;
  gAsked = SerialLine{};
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
