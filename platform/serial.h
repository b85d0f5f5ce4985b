// The serial port operations the serial link needs from the system, under
// the names of what they achieve (Win32: CreateFileA, SetCommTimeouts,
// BuildCommDCBA, SetCommState, PurgeComm, EscapeCommFunction, SetCommBreak,
// ClearCommBreak, GetCommModemStatus, ClearCommError,
// ReadFile, WriteFile, CloseHandle; POSIX: open, termios, ioctl, poll).
#pragma once
#include <cstdint>

#include "platform/types.h"

// The port's timeouts (COMMTIMEOUTS members, in their order).
struct CommTimeouts {
  uint32_t ReadIntervalTimeout;
  uint32_t ReadTotalTimeoutMultiplier;
  uint32_t ReadTotalTimeoutConstant;
  uint32_t WriteTotalTimeoutMultiplier;
  uint32_t WriteTotalTimeoutConstant;
};

enum : unsigned {   // purge actions (PURGE_*)
  kPurgeTxAbort = 0x1,
  kPurgeRxAbort = 0x2,
  kPurgeTxClear = 0x4,
  kPurgeRxClear = 0x8,
};

enum : uint32_t {   // modem input lines (MS_*_ON)
  kModemCts = 0x10,
  kModemDsr = 0x20,
  kModemRing = 0x40,
  kModemRlsd = 0x80,
};

// Exclusive, synchronous read and write access to the named port: "COM1"
// (on POSIX, the device the program's COM1 stands for), or a name that
// platSerialNameCheck takes ("COM12"; "/dev/ttyUSB0").
PlatHandle platSerialOpen(const char* name);
// Whether text can name a serial port of this system. Windows: a name from
// COM1 to COM256. POSIX: the path of a serial device, or of one that is not
// there now (an adapter not plugged in yet); not a file, a folder, a FIFO or
// a device of another kind, nor a path longer than 255 characters.
int platSerialNameCheck(const char* text);
// What names a port here, for a message about a name that does not.
const char* platSerialNameRule();
// The serial ports this system has now, for the user to pick one: each entry
// the name platSerialOpen takes, then, where the system describes the port,
// two blanks and the description in parentheses ("COM12  (USB Serial
// Port)"; "/dev/ttyUSB0  (cp210x: CP2102 USB to UART Bridge Controller)").
// Returns how many were written into list (at most max).
constexpr int kSerialEntryMax = 320;
int platSerialListPorts(char (*list)[kSerialEntryMax], int max);
// After a failed platSerialOpen: what the user can do about it, where the
// system can tell (a device this user may not open: the group to join), or
// "" (always on Windows).
const char* platSerialOpenAdvice();
// Why the last platSerialOpen failed, or a setting of the port it opened
// that the system refused: the device's path and the system's reason
// ("/dev/ttyUSB0: Permission denied"); empty after a success.
const char* platSerialOpenFailure();
// After a successful platSerialOpen: the device the port name stands for,
// as the user knows it ("/dev/ttyUSB0"; on Windows what the system maps the
// name to, or the name itself).
const char* platSerialOpenedDevice();
int platSerialSetTimeouts(PlatHandle h, const CommTimeouts* t);
// The flow-control members of the port's persistent line-settings record:
// the two output lines, CTS output flow control, and XON/XOFF both ways
// (DC1 and DC3).
void platSerialSetFlowControl(int dtrOn, int rtsOn, int ctsOutFlow, int xonXoff);
// Takes rate, parity, data and stop bits from a mode text into the record:
// "baud=74880 parity=N data=8 stop=1", parity N, E, O, M or S, stop 1, 1.5
// or 2. Returns 0 for a text it cannot take.
int platSerialBuildState(const char* modeText);
// Applies the record to the port and reads back what the driver kept. A
// rate or framing the driver refuses or changes fails it, with the reason
// in platSerialOpenFailure ("/dev/ttyUSB0: 74880 baud refused by the
// driver").
int platSerialApplyState(PlatHandle h);
int platSerialPurge(PlatHandle h, unsigned actions);
enum : int { kLineDtr = 0, kLineRts = 1 };   // modem output lines
// Raises (on) or drops one modem output line (EscapeCommFunction; TIOCMBIS,
// TIOCMBIC). Returns 0 when the port refuses it (a pseudo-terminal has none).
int platSerialSetLine(PlatHandle h, int line, int on);
// Starts (on) or ends a break on the transmit line without waiting
// (SetCommBreak, ClearCommBreak; TIOCSBRK, TIOCCBRK).
int platSerialBreak(PlatHandle h, int on);
// The four modem input lines; 0 when they cannot be read.
int platSerialModemStatus(PlatHandle h, uint32_t* lines);
// Clears line errors and tells how many received bytes wait.
int platSerialClearErrors(PlatHandle h, uint32_t* inQueue);
// After a failed queue query: whether the device behind the handle is gone
// for good (a USB adapter pulled out, a terminal hung up) rather than failing
// once. The handle is then of no further use.
int platSerialDeviceGone(PlatHandle h);
int platSerialRead(PlatHandle h, void* buf, uint32_t n, uint32_t* got);
// Writes n bytes, giving up when the write timeout runs out; *put tells how
// many went out. Returns 0 on an error.
int platSerialWrite(PlatHandle h, const void* buf, uint32_t n, uint32_t* put);
void platSerialClose(PlatHandle h);
