// The serial link: opening a COM port 8N1 at the chosen rate, the modem-line
// check, and the never-waiting receive poll.
#include "link/serial.h"

#include "link/connection.h"
#include "platform/msgbox.h"

PlatHandle ghCom = kInvalidHandle;
CommTimeouts gTimeouts = {};

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

void dropPort() {
  platSerialClose(ghCom);
  ghCom = kInvalidHandle;
}

}  // namespace

int openCOM() {
  char name[5] = "COM1";
  name[3] = static_cast<char>('0' + gbPort);

  if (ghCom != kInvalidHandle) dropPort();
  ghCom = platSerialOpen(name);
  if (ghCom == kInvalidHandle) return 0;

  gTimeouts.ReadIntervalTimeout = 0xFFFFFFFFu;
  gTimeouts.ReadTotalTimeoutMultiplier = 0;
  gTimeouts.ReadTotalTimeoutConstant = 0;
  gTimeouts.WriteTotalTimeoutMultiplier = 1;
  gTimeouts.WriteTotalTimeoutConstant = 3000;
  if (!platSerialSetTimeouts(ghCom, &gTimeouts)) {
    dropPort();
    return 0;
  }

  const char* mode = modeText(gdwBaudRate);
  // A rate outside the list (only a preset file can hold one) would leave the
  // line at whatever the port had before: refuse it, so the user is told.
  if (mode[0] == ' ') {
    dropPort();
    return 0;
  }
  platSerialSetFlowControl(1, 1, gfCtsHandsh == 1);
  if (!platSerialBuildState(mode) || !platSerialApplyState(ghCom)) {
    dropPort();
    return 0;
  }
  platSerialPurge(ghCom, kPurgeTxClear | kPurgeRxClear);
  EmptyCommTxBuffer();
  CheckModemState();
  gfComOpen = 1;
  return 1;
}

void closeCOM() {
  if (ghCom != kInvalidHandle) dropPort();
  gfComOpen = 0;
}

void purgeCOM() {
  if (ghCom != kInvalidHandle) {
    platSerialPurge(ghCom, kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear);
  }
}

int CheckModemState() {
  if (gfUdpMode == 1 || gfCtsHandsh == 0) return 1;
  uint32_t lines = 0;
  if (!platSerialModemStatus(ghCom, &lines)) lines = 0;
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
  if (!platSerialClearErrors(ghCom, &waiting)) waiting = 0;
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
