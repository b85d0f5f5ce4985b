// Win32 serial ports through the communications functions: CreateFileA on
// the port's device name (\\.\COM12), SetCommTimeouts, BuildCommDCBA and
// SetCommState with one persistent DCB, read back with GetCommState,
// PurgeComm, EscapeCommFunction, SetCommBreak and ClearCommBreak,
// GetCommModemStatus, ClearCommError, ReadFile, WriteFile and CloseHandle.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/serial.h"

namespace {
HANDLE h32(PlatHandle h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

// The port's line settings: one record kept from program start, of which
// each open changes only the flow-control members and what the mode text sets.
DCB gComDCB;

namespace {
char gOpenFailure[320] = "";
char gOpenedDevice[260] = "";
char gOpenedName[16] = "";
// The flow-control settings, put into the DCB just before it is applied:
// BuildCommDCB may clear those members.
int gDtrOn = 1, gRtsOn = 1, gCtsFlow = 0, gXonXoff = 0;

// The failure of the last call, as the system words it, after what it was
// for: "COM1: Access denied. (error 5)". One line: the system's text ends
// in a line break.
void noteFailure(const char* name) {
  const DWORD error = GetLastError();
  char reason[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                 sizeof reason, nullptr);
  for (char* p = reason; *p; p++) {
    if (*p == '\r' || *p == '\n') *p = 0;
  }
  std::snprintf(gOpenFailure, sizeof gOpenFailure, "%s: %s (error %lu)", name, reason,
                static_cast<unsigned long>(error));
}

// What the port name stands for in the system's name space: the driver's
// device on Windows (\Device\Serial0); the name itself when the system
// does not say.
void noteDevice(const char* name) {
  char target[1024];
  // The answer is a list of names, the current one first.
  if (QueryDosDeviceA(name, target, sizeof target) && target[0]) {
    std::snprintf(gOpenedDevice, sizeof gOpenedDevice, "%s", target);
  } else {
    std::snprintf(gOpenedDevice, sizeof gOpenedDevice, "%s", name);
  }
}
}  // namespace

const char* platSerialOpenFailure() { return gOpenFailure; }

const char* platSerialOpenedDevice() { return gOpenedDevice; }

int platSerialNameCheck(const char* text) {
  // COM1 to COM256, in either case, the number without leading zeros.
  if (std::strlen(text) < 4 || std::strlen(text) > 6 || _strnicmp(text, "COM", 3) != 0 || text[3] == '0') return 0;
  for (const char* p = text + 3; *p; p++)
    if (*p < '0' || *p > '9') return 0;
  return std::atoi(text + 3) <= 256 ? 1 : 0;
}

const char* platSerialNameRule() { return "a port from COM1 to COM256"; }

PlatHandle platSerialOpen(const char* name) {
  gOpenFailure[0] = 0;
  std::snprintf(gOpenedName, sizeof gOpenedName, "%.15s", name);
  // By the device name, under which COM10 and above open too.
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\%.15s", name);
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    noteFailure(gOpenedName);
    return kInvalidHandle;
  }
  // A name that leads to no serial port (a COM name mapped to a file or to
  // a device that is gone) has no line settings to give: the system says why.
  DCB probe = {};
  probe.DCBlength = sizeof probe;
  if (!GetCommState(h, &probe)) {
    noteFailure(gOpenedName);
    CloseHandle(h);
    return kInvalidHandle;
  }
  noteDevice(gOpenedName);
  return reinterpret_cast<PlatHandle>(h);
}

// Windows names no reason the user could act on.
const char* platSerialOpenAdvice() { return ""; }

int platSerialSetTimeouts(PlatHandle h, const CommTimeouts* t) {
  COMMTIMEOUTS ct;
  ct.ReadIntervalTimeout = t->ReadIntervalTimeout;
  ct.ReadTotalTimeoutMultiplier = t->ReadTotalTimeoutMultiplier;
  ct.ReadTotalTimeoutConstant = t->ReadTotalTimeoutConstant;
  ct.WriteTotalTimeoutMultiplier = t->WriteTotalTimeoutMultiplier;
  ct.WriteTotalTimeoutConstant = t->WriteTotalTimeoutConstant;
  if (SetCommTimeouts(h32(h), &ct)) return 1;
  noteFailure(gOpenedName);   // the open's last step: its failure is the open's
  return 0;
}

void platSerialSetFlowControl(int dtrOn, int rtsOn, int ctsOutFlow, int xonXoff) {
  gDtrOn = dtrOn;
  gRtsOn = rtsOn;
  gCtsFlow = ctsOutFlow;
  gXonXoff = xonXoff;
}

int platSerialBuildState(const char* modeText) { return BuildCommDCBA(modeText, &gComDCB) ? 1 : 0; }

int platSerialApplyState(PlatHandle h) {
  gComDCB.DCBlength = sizeof gComDCB;
  gComDCB.fBinary = TRUE;
  gComDCB.fParity = FALSE;   // every byte is shown as it came
  gComDCB.fDtrControl = gDtrOn ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  gComDCB.fRtsControl = gRtsOn ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
  gComDCB.fOutxCtsFlow = gCtsFlow ? 1 : 0;
  gComDCB.fOutxDsrFlow = FALSE;
  gComDCB.fDsrSensitivity = FALSE;
  // XON/XOFF both ways with DC1 and DC3; sending goes on while the port
  // has asked the device to stop, so neither side waits for the other.
  gComDCB.fOutX = gComDCB.fInX = gXonXoff ? 1 : 0;
  gComDCB.fTXContinueOnXoff = TRUE;
  gComDCB.XonChar = 0x11;
  gComDCB.XoffChar = 0x13;
  gComDCB.XonLim = 512;
  gComDCB.XoffLim = 512;
  gComDCB.fNull = FALSE;
  gComDCB.fAbortOnError = FALSE;
  const DWORD asked = gComDCB.BaudRate;
  DCB had = {};
  had.DCBlength = sizeof had;
  const BOOL known = GetCommState(h32(h), &had);
  char refused[64];
  std::snprintf(refused, sizeof refused, "%lu baud refused by the driver", static_cast<unsigned long>(asked));
  if (!SetCommState(h32(h), &gComDCB)) {
    noteFailure(gOpenedName);
    // The same settings at the rate the port had are taken: the rate is
    // what the driver refused. (The port is closed after this.)
    DCB probe = gComDCB;
    probe.BaudRate = had.BaudRate;
    if (known && had.BaudRate != asked && SetCommState(h32(h), &probe)) {
      std::snprintf(gOpenFailure, sizeof gOpenFailure, "%s: %s", gOpenedName, refused);
    }
    return 0;
  }
  // A driver that rounds a rate to what its clock divides keeps another.
  DCB kept = {};
  kept.DCBlength = sizeof kept;
  if (GetCommState(h32(h), &kept) && kept.BaudRate != asked) {
    std::snprintf(gOpenFailure, sizeof gOpenFailure, "%s: %s", gOpenedName, refused);
    return 0;
  }
  return 1;
}

int platSerialPurge(PlatHandle h, unsigned actions) { return PurgeComm(h32(h), actions) ? 1 : 0; }

int platSerialSetLine(PlatHandle h, int line, int on) {
  const DWORD f = line == kLineDtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
  return EscapeCommFunction(h32(h), f) ? 1 : 0;
}

int platSerialBreak(PlatHandle h, int on) { return (on ? SetCommBreak(h32(h)) : ClearCommBreak(h32(h))) ? 1 : 0; }

int platSerialModemStatus(PlatHandle h, uint32_t* lines) {
  DWORD status = 0;
  const BOOL ok = GetCommModemStatus(h32(h), &status);
  *lines = ok ? status : 0;
  return ok ? 1 : 0;
}

int platSerialClearErrors(PlatHandle h, uint32_t* inQueue) {
  DWORD errors = 0;
  COMSTAT stat = {};
  const BOOL ok = ClearCommError(h32(h), &errors, &stat);
  *inQueue = ok ? stat.cbInQue : 0;
  return ok ? 1 : 0;
}

int platSerialDeviceGone(PlatHandle h) {
  // A port whose device was removed fails every query from then on (access
  // denied, bad command, device not connected; an I/O error under Wine when
  // the terminal behind it hung up); a second query that fails as well tells
  // it from a passing failure.
  DWORD errors = 0;
  COMSTAT stat = {};
  return ClearCommError(h32(h), &errors, &stat) ? 0 : 1;
}

int platSerialRead(PlatHandle h, void* buf, uint32_t n, uint32_t* got) {
  DWORD r = 0;
  const BOOL ok = ReadFile(h32(h), buf, n, &r, nullptr);
  *got = ok ? r : 0;
  return ok ? 1 : 0;
}

int platSerialWrite(PlatHandle h, const void* buf, uint32_t n, uint32_t* put) {
  DWORD w = 0;
  const BOOL ok = WriteFile(h32(h), buf, n, &w, nullptr);
  *put = w;
  return ok ? 1 : 0;
}

void platSerialClose(PlatHandle h) {
  if (h != kInvalidHandle) CloseHandle(h32(h));
}
